// Runs the built tavrinctl as a child process against a simulated unit started
// in this process (pseudo-terminal and loopback TCP), and a tiny JSON reader
// to take its --json output apart.
#pragma once
#include "support/loopback.h"
#include "support/temp_folder.h"
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_unit.h"

namespace tooltest {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A fresh folder, removed with everything in it on destruction.
using testsupport::TempFolder;

// Runs $TAVRIN_BIN_DIR/tavrinctl with `args`; `env` entries ("NAME=value")
// are added to the environment. Standard input is /dev/null.
RunResult RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
// Fixed waits run at a hundredth of their length (an environment for RunTool).
inline const std::vector<std::string> kFastWaits = {"TAVRIN_WAIT_SCALE=0.01"};
// The same with `input` as standard input.
RunResult RunToolWithInput(const std::vector<std::string>& args, const std::string& input);
// The same with standard output opened from `outPath` (e.g. "/dev/full"); the
// result's `out` is then empty.
RunResult RunToolInto(const std::vector<std::string>& args, const std::string& outPath,
                      const std::vector<std::string>& env = {});

// The same with standard error on a pseudo-terminal (as at an operator's
// terminal): `err` is what reached the terminal, its "\n" as "\r\n".
RunResult RunToolOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// tavrinctl started as a child process, to be signalled while it runs.
// Killed (SIGKILL) and reaped if still running at destruction.
class ToolProcess {
public:
    // Standard output goes to `outPath` when given (a device, a FIFO). A
    // `fileSizeLimit` (bytes) is the tool's RLIMIT_FSIZE, set by prlimit(1),
    // with SIGXFSZ ignored: a write past it fails with EFBIG, as on a full disk.
    explicit ToolProcess(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                         const std::string* input = nullptr, const std::string& outPath = "",
                         size_t fileSizeLimit = 0);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal);
    // What it has written to standard output so far.
    std::string OutSoFar() const;
    // Waits for the end; exit code (128 + signal when killed), both outputs.
    RunResult Wait();

private:
    TempFolder io_;
    std::string outPath_;
    bool ownOut_ = true;   // outPath_ is a file of ours, read back at the end
    std::string errPath_;
    std::string startError_;
    pid_t pid_ = -1;
};

std::string ToolPath();
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

using testsupport::RandomLoopbackAddress;

// A simulated unit on a pseudo-terminal (linked as ports/COM1 in its folder)
// and on TCP port 9999 of a random loopback address; restarts take 50 ms.
class SimulatedUnit {
public:
    // `oracle`: every value names the code it belongs to (and differs from
    // the factory's).
    explicit SimulatedUnit(bool k840 = false, int address = 1, bool oracle = false);
    ~SimulatedUnit();
    sim::SimUnit& Unit() { return *unit_; }
    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    std::string PtyPath() const { return unit_->PtySlavePath(); }
    std::string Ip() const { return unit_->TcpAddress(); }
    // The program folder whose ports/COM1 leads to the unit's pty.
    const std::string& ProgramFolder() const { return folder_.Path(); }
    std::vector<std::string> SerialArgs() const { return {"--serial", PtyPath()}; }
    std::vector<std::string> TcpArgs() const { return {"--ip", Ip()}; }

private:
    TempFolder folder_;
    std::unique_ptr<sim::SimUnit> unit_;
    bool started_ = false;
    std::string error_;
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b);

// ---- tiny JSON --------------------------------------------------------------
struct Json {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const;
    const Json& operator[](size_t index) const;
    bool Has(const std::string& key) const { return members.count(key) != 0; }
};

// Parses one JSON document (surrounding blanks allowed); false on any error.
bool ParseJson(const std::string& text, Json& out);

}  // namespace tooltest
