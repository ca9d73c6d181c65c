#include "support/spawn.h"

#include <fcntl.h>
#include <spawn.h>

extern char** environ;

namespace testsupport {

namespace {
std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}
}  // namespace

pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& args, const std::string& in,
                   const std::string& out, const std::string& err, const std::vector<std::string>& extraEnv,
                   int* error) {
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore;
    // An inherited variable that extraEnv names is left out: extraEnv's value counts.
    const auto overridden = [&extraEnv](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        for (const std::string& e : extraEnv)
            if (e.compare(0, name.size(), name) == 0) return true;
        return false;
    };
    for (char** e = environ; *e; ++e)
        if (!overridden(*e)) envStore.push_back(*e);
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> argv = Pointers(argStore), envp = Pointers(envStore);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string* names[] = {&in, &out, &err};
    for (int fd = 0; fd <= 2; ++fd) {
        if (names[fd]->empty())
            posix_spawn_file_actions_addclose(&actions, fd);
        else
            posix_spawn_file_actions_addopen(&actions, fd, names[fd]->c_str(),
                                             fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error) *error = rc;
    return rc == 0 ? pid : -1;
}

}  // namespace testsupport
