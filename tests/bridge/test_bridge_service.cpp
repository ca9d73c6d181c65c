// The bridge as systemd runs it: what it tells on NOTIFY_SOCKET (ready, the
// unit's state, the watchdog's pings, which stop while a dripping unit holds
// the worker), its lines' priorities for journald, and its transaction log:
// dated, rotated at its size and reopened on SIGHUP.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "bridge/bridge_rig.h"
#include "support/loopback.h"
#include "support/wait.h"

using namespace bridgetest;
using testsupport::WaitUntil;

namespace {

// A service manager's notify socket: one datagram per message.
class NotifySocket {
public:
    NotifySocket() {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path_.c_str());
        bound = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~NotifySocket() { ::close(fd_); }
    std::string Environment() const { return "NOTIFY_SOCKET=" + path_; }
    // True once a message has a line that begins with `line`, within `limit`.
    bool WaitFor(const std::string& line, std::chrono::milliseconds limit = 20s) {
        using std::chrono::steady_clock;
        const auto end = steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(std::max<int64_t>(left.count(), 0))) != 1) return false;
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (("\n" + std::string(buffer, size_t(std::max<ssize_t>(n, 0)))).find("\n" + line) != std::string::npos)
                return true;
        }
    }
    bool bound = false;

private:
    testsupport::TempFolder folder_{"tavrin-notify"};
    std::string path_ = folder_.File("notify");
    int fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// True when `line` starts "YYYY-MM-DD hh:mm:ss.mmm " (a digit where the
// pattern has 9, the other characters as they stand).
bool Dated(const std::string& line) {
    const std::string pattern = "9999-99-99 99:99:99.999 ";
    if (line.size() < pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != pattern[i])
            return false;
    return true;
}

// Whole lines of a log file that lack the date and time in front.
std::vector<std::string> UndatedLines(const std::string& path) {
    std::vector<std::string> undated;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);)
        if (!in.eof() && !Dated(line)) undated.push_back(line);
    return undated;
}

}  // namespace

// READY=1 once the listeners are bound, whether or not the unit answers; the
// unit's state as STATUS=; the pings when WATCHDOG_PID is the bridge's or not
// given; STOPPING=1 on SIGTERM.
TEST(BridgeService, TellsReadyTheUnitsStateAndThePings) {
    struct Row {
        const char* name;
        bool unit;
        std::string watchdogPid;   // "" none
        const char* status;
        bool pings;
    };
    const Row rows[] = {
        {"unit answering", true, "", "STATUS=unit answering", true},
        {"no unit", false, "", "STATUS=unit not answering", true},
        {"watchdog of another process", true, "WATCHDOG_PID=1", "STATUS=unit answering", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NotifySocket notify;
        ASSERT_TRUE(notify.bound);
        BridgeRig rig(RigOptions{.extraArgs = {}, .unitOverTcp = true});
        rig.bridge.environment = {notify.Environment(), "WATCHDOG_USEC=1000000"};
        if (!row.watchdogPid.empty()) rig.bridge.environment.push_back(row.watchdogPid);
        if (row.unit) {
            ASSERT_TRUE(rig.StartUnit());
        }
        while (rig.unitIp.empty() || rig.unitIp == rig.ip) rig.unitIp = testsupport::RandomLoopbackAddress();
        ASSERT_TRUE(rig.StartBridge());
        EXPECT_TRUE(notify.WaitFor("READY=1"));
        EXPECT_TRUE(notify.WaitFor(row.status));
        EXPECT_EQ(notify.WaitFor("WATCHDOG=1", 3s), row.pings);
        EXPECT_EQ(rig.bridge.Stop(SIGTERM), 0);
        EXPECT_TRUE(notify.WaitFor("STOPPING=1"));
    }
}

// A unit that drips its replies one byte at a time holds the worker that
// talks to it: the pings stop for longer than WATCHDOG_USEC (systemd would
// restart the bridge), and come again once the unit is well.
TEST(BridgeService, DrippingUnitStopsTheWatchdogsPings) {
    NotifySocket notify;
    BridgeRig rig;
    rig.bridge.environment = {notify.Environment(), "WATCHDOG_USEC=1000000"};
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(notify.WaitFor("STATUS=unit answering"));
    ASSERT_TRUE(notify.WaitFor("WATCHDOG=1", 3s));
    rig.unit->SetFault(sim::Fault::Drip, -1, 100);
    bool stopped = false;   // for 3 s: three times WATCHDOG_USEC
    for (int ping = 0; ping < 60 && !stopped; ++ping) stopped = !notify.WaitFor("WATCHDOG=1", 3s);
    EXPECT_TRUE(stopped);
    rig.unit->SetFault(sim::Fault::None);
    EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", 60s));
}

// With JOURNAL_STREAM naming standard error every line starts with its
// priority; otherwise the lines are as a terminal sees them.
TEST(BridgeService, JournalPrioritiesOnlyWhenStandardErrorIsTheJournal) {
    struct Row {
        const char* name;
        const char* journal;                  // "stderr", another file, or "" none
        std::vector<std::string> prefixes;    // of the listener, a refusal, the stop
    };
    const std::vector<Row> rows = {
        {"JOURNAL_STREAM names stderr", "stderr", {"<6>", "<4>", "<5>"}},
        {"JOURNAL_STREAM names another file", "/dev/null", {"", "", ""}},
        {"no JOURNAL_STREAM", "", {"", "", ""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BridgeRig rig(RigOptions{.extraArgs = {"--max-clients", "1"}});
        const std::string err = rig.bridge.ErrFile();
        std::ofstream(err).close();   // the bridge's stderr keeps this inode
        struct stat st {};
        ::stat(std::string(row.journal) == "stderr" ? err.c_str() : row.journal, &st);
        rig.bridge.environment = {"JOURNAL_STREAM=" + (*row.journal ? std::to_string(st.st_dev) + ":" +
                                                                         std::to_string(st.st_ino)
                                                                   : std::string())};
        ASSERT_TRUE(rig.Start());
        RawClient first(rig.ip), second(rig.ip);
        EXPECT_TRUE(WaitUntil([&] { return rig.bridge.Err().find("refused") != std::string::npos; }));
        EXPECT_EQ(rig.bridge.Stop(SIGTERM), 0);
        const std::string text = "\n" + rig.bridge.Err();
        const std::string lines[] = {"tavrin_bridge: serving ", "tavrin_bridge: client ", "tavrin_bridge: stopped"};
        for (size_t i = 0; i < std::size(lines); ++i)
            EXPECT_NE(text.find("\n" + row.prefixes[i] + lines[i]), std::string::npos) << text;
        bool unprefixed = false;   // a line that does not start with '<'
        for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1))
            unprefixed = unprefixed || text[at + 1] != '<';
        EXPECT_EQ(unprefixed, row.prefixes[0].empty()) << text;
    }
}

// --log: each line dated; rotated at --log-max-bytes with three old files
// kept; reopened by name on SIGHUP after a move (the bridge goes on).
TEST(BridgeService, TransactionLogIsDatedRotatedAndReopenedOnHangup) {
    for (const bool hangup : {false, true}) {
        SCOPED_TRACE(hangup ? "moved, then SIGHUP" : "rotated at its size");
        BridgeRig rig(RigOptions{.extraArgs = {}, .intervalMs = 100});
        const std::string log = rig.folder.File("tx.log");
        rig.options.extraArgs = {"--log", log, "--log-max-bytes", hangup ? "10485760" : "4096"};
        ASSERT_TRUE(rig.Start());
        std::vector<std::string> files = {log};
        if (!hangup) {
            // Rotated until the oldest kept is let go: never a fourth old file.
            ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(log + ".3"); }));
            const std::string oldest = ReadFile(log + ".3");
            EXPECT_TRUE(WaitUntil([&] { return ReadFile(log + ".3") != oldest; }));
            EXPECT_FALSE(std::filesystem::exists(log + ".4"));
            for (const char* n : {".1", ".2", ".3"}) {
                files.push_back(log + n);
                EXPECT_LE(ReadFile(log + n).size(), 4096u + 512u) << "rotated before the line that went past";
            }
        } else {
            ASSERT_TRUE(WaitUntil([&] { return ReadFile(log).size() > 200; }));
            ASSERT_EQ(std::rename(log.c_str(), (log + ".moved").c_str()), 0);
            ASSERT_EQ(::kill(rig.bridge.Pid(), SIGHUP), 0);
            EXPECT_TRUE(WaitUntil([&] { return ReadFile(log).find('\n') != std::string::npos; }));
            EXPECT_TRUE(rig.Metrics().has_value()) << "the bridge ended on SIGHUP";
            files.push_back(log + ".moved");
        }
        EXPECT_EQ(rig.bridge.Stop(SIGTERM), 0);
        for (const std::string& file : files) {
            EXPECT_FALSE(ReadFile(file).empty()) << file;
            EXPECT_EQ(UndatedLines(file), std::vector<std::string>()) << file;
        }
    }
}
