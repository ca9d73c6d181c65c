// tavrinctl against the simulated unit running as its own process, reached as
// COM2 through the program folder's ports link and over loopback TCP.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/spawn.h"
#include "tool_harness.h"


using namespace tooltest;
using nlohmann::ordered_json;

namespace {

// tavrin_unit_sim as a child process; ended with SIGTERM and reaped.
class SimProcess {
public:
    SimProcess(const std::vector<std::string>& args, const std::string& outPath) {
        const char* dir = std::getenv("TAVRIN_BIN_DIR");
        pid_ = testsupport::SpawnProgram(std::string(dir ? dir : ".") + "/tavrin_unit_sim", args, "/dev/null", outPath,
                                         "/dev/null");
    }
    ~SimProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    pid_t pid_ = -1;
};

// Waits (bounded, to fail rather than hang) until `path` exists and the
// simulator has printed its TCP address.
bool WaitForSim(const SimProcess& sim, const std::string& link, const std::string& outPath, const std::string& ip) {
    for (int i = 0; i < 3000 && sim.Running(); ++i) {
        struct stat info {};
        if (::stat(link.c_str(), &info) == 0 && ReadFile(outPath).find(ip) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST(ToolWithSimProcess, ComPortLinkAndTcpReachTheSameUnit) {
    TempFolder folder;
    ASSERT_EQ(::mkdir(folder.File("ports").c_str(), 0700), 0);
    const std::string link = folder.File("ports/COM2");
    const std::string ip = RandomLoopbackAddress();
    const std::string out = folder.File("sim.out");
    SimProcess sim({"--serial-link", link, "--tcp", ip, "--restart-ms", "50", "--address", "5", "--mode", "1",
                    "--no-drift"},
                   out);
    ASSERT_TRUE(WaitForSim(sim, link, out, ip)) << ReadFile(out);

    const std::string ip2 = RandomLoopbackAddress();
    const std::string out2 = folder.File("sim2.out");
    std::vector<std::string> com = {"--com", "2", "--program-folder", folder.Path()};
    RunResult r = RunTool(Concat(com, {"probe"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "5\n");

    r = RunTool(Concat(com, {"write", "edef", "Over the line"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;

    // What was written over the serial line is read back over TCP.
    r = RunTool({"--ip", ip, "--json", "dump"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Json doc;
    ASSERT_TRUE(ParseJson(r.out, doc)) << r.out;
    EXPECT_EQ(doc["address"].number, 5);
    EXPECT_EQ(doc["mode"].number, 1);
    EXPECT_EQ(doc["mode_name"].text, "DVBT");
    bool found = false;
    for (const Json& row : doc["demod"].items)
        if (row["code"].text == "edef") {
            found = true;
            EXPECT_EQ(row["value"].text, "Over the line");
        }
    EXPECT_TRUE(found);

    // A configuration saved over TCP and sent back over the serial line
    // (a model K840 unit: no mode visits, so the working values stay).
    SimProcess k840({"--serial-link", folder.File("ports/COM3"), "--tcp", ip2, "--model", "k840", "--no-drift"},
                    out2);
    ASSERT_TRUE(WaitForSim(k840, folder.File("ports/COM3"), out2, ip2)) << ReadFile(out2);
    com[1] = "3";
    r = RunTool(Concat(com, {"write", "edef", "Over the line"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = folder.File("unit.cfg");
    r = RunTool({"--ip", ip2, "save-config", file}, kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunTool(Concat(com, {"write", "edef", "Something else"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunTool(Concat(com, {"load-config", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunTool(Concat(com, {"read", "edef", "gudm"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "edef 1 Over the line\ngudm 1 0\n");
}

// --pages: values as the pages show and take them; a value the page refuses
// is never sent (the unit's request log holds no write).
TEST(ToolWithSimProcess, PagesFormReadsWritesAndRefusesAsThePageDoes) {
    TempFolder folder;
    const std::string ip = RandomLoopbackAddress();
    const std::string out = folder.File("sim.out");
    const std::string log = folder.File("requests.log");
    SimProcess sim({"--serial-link", folder.File("COM1"), "--tcp", ip, "--no-drift", "--request-log", log}, out);
    ASSERT_TRUE(WaitForSim(sim, folder.File("COM1"), out, ip)) << ReadFile(out);
    const std::vector<std::string> unit = {"--ip", ip};
    auto writesLogged = [&log] {   // request lines "0001w1ipf;1.395000;"
        const std::string text = ReadFile(log);
        std::vector<std::string> writes;
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            if (text.compare(at + 4, 1, "w") == 0) writes.push_back(text.substr(at, end - at));
        return writes;
    };

    struct Case {
        std::string code, value;
        std::string sentOrMessage;   // the write request, or the start of the refusal
        std::string readBack;        // read --pages afterwards; "" for a refusal
    };
    const Case cases[] = {
        {"1ipf", "-5", "tavrinctl: 1ipf: Invalid frequency value", ""},
        {"1wid", "8MHz", "tavrinctl: 1wid: the page offers 2.5MHz, 1.25MHz, 625kHz", ""},   // a DVB-T option
        {"1ipf", "1395", "0001w1ipf;1.395000;", "1ipf 1 1395.000 MHz\n"},
        {"1wid", "625kHz", "0001w1wid;5;", "1wid 1 625kHz\n"},
        {"gmod", "Chaining input", "0001wgmod;8;", "gmod 1 Chaining input\n"},
    };
    for (const Case& c : cases) {
        const size_t writesBefore = writesLogged().size();
        const RunResult r = RunTool(Concat(unit, {"--pages", "write", c.code, c.value}));
        if (c.readBack.empty()) {
            EXPECT_EQ(r.exitCode, 2) << c.value;
            EXPECT_EQ(r.err.rfind(c.sentOrMessage, 0), 0u) << r.err;
            EXPECT_EQ(writesLogged().size(), writesBefore) << ReadFile(log);
            continue;
        }
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(writesLogged().back(), c.sentOrMessage);
        EXPECT_EQ(RunTool(Concat(unit, {"--pages", "read", c.code})).out, c.readBack);
    }

    // Without --pages, read keeps the unit's own form.
    EXPECT_EQ(RunTool(Concat(unit, {"read", "1ipf"})).out, "1ipf 1 1.395000\n");
    const ordered_json value = ordered_json::parse(RunTool(Concat(unit, {"--pages", "-j", "read", "1ipf"})).out);
    EXPECT_EQ(value["values"][0]["value"], 1395.0);
    EXPECT_EQ(value["values"][0]["unit"], "MHz");
}
