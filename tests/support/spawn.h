// Starting the project's programs as child processes in tests.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// Starts `program` with `args`: standard input from `in`, output and errors
// into `out` and `err` (made or emptied; an empty name leaves the descriptor
// closed), and `extraEnv` ("NAME=value") on
// top of this process's environment. The child's pid, or -1 with the reason
// (errno value) in `*error` when given.
pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& args, const std::string& in,
                   const std::string& out, const std::string& err, const std::vector<std::string>& extraEnv = {},
                   int* error = nullptr);

}  // namespace testsupport
