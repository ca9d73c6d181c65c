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

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "bridge/bridge_rig.h"
#include "support/loopback.h"

using namespace bridgetest;

namespace {

// The socket a service manager listens on: one datagram per message.
class NotifySocket {
public:
    NotifySocket() {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path_.c_str());
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~NotifySocket() { ::close(fd_); }
    bool Bound() const { return bound_; }
    std::string Environment() const { return "NOTIFY_SOCKET=" + path_; }

    // True once a message has a line that begins with `line`, within `limit`.
    bool WaitFor(const std::string& line, std::chrono::milliseconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (auto left = limit; left.count() > 0;
             left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())) {
            std::istringstream message(Next(left));
            for (std::string l; std::getline(message, l);)
                if (l.rfind(line, 0) == 0) return true;
        }
        return false;
    }
    // True when, within `limit`, `quiet` passes without a watchdog ping.
    bool PingsStopFor(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end)
            if (!WaitFor("WATCHDOG=1", quiet)) return true;
        return false;
    }

private:
    // The next message within `limit` ("" when none came).
    std::string Next(std::chrono::milliseconds limit) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(limit.count())) != 1) return "";
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, size_t(n)) : "";
    }

    testsupport::TempFolder folder_{"tavrin-notify"};
    std::string path_ = folder_.File("notify");
    int fd_ = -1;
    bool bound_ = false;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Whole lines of a log file that lack the date and time in front.
std::vector<std::string> UndatedLines(const std::string& path) {
    static const std::regex dated(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} )");
    std::vector<std::string> undated;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);)
        if (!in.eof() && !std::regex_match(line.substr(0, 24), dated)) undated.push_back(line);
    return undated;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

}  // namespace

// READY=1 once the listeners are bound, whether or not the unit answers; the
// unit's state as STATUS=; the watchdog's pings when WATCHDOG_PID is this
// bridge's or not given; STOPPING=1 on SIGTERM.
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
        ASSERT_TRUE(notify.Bound());
        BridgeRig rig(RigOptions{.extraArgs = {}, .unitOverTcp = true});
        rig.bridge.environment = {notify.Environment(), "WATCHDOG_USEC=1000000"};
        if (!row.watchdogPid.empty()) rig.bridge.environment.push_back(row.watchdogPid);
        if (row.unit) {
            ASSERT_TRUE(rig.StartUnit());
        } else {
            while (rig.unitIp.empty() || rig.unitIp == rig.ip) rig.unitIp = testsupport::RandomLoopbackAddress();
        }
        ASSERT_TRUE(rig.StartBridge());
        EXPECT_TRUE(notify.WaitFor("READY=1"));
        EXPECT_TRUE(notify.WaitFor(row.status));
        EXPECT_EQ(notify.WaitFor("WATCHDOG=1", 3s), row.pings);
        EXPECT_EQ(rig.bridge.Stop(SIGTERM), 0);
        EXPECT_TRUE(notify.WaitFor("STOPPING=1"));
    }
}

// A unit that drips its replies one byte at a time holds the worker that
// talks to it: the pings stop for longer than WATCHDOG_USEC, so that systemd
// would restart the bridge; once the unit is well they come again.
TEST(BridgeService, DrippingUnitStopsTheWatchdogsPings) {
    NotifySocket notify;
    ASSERT_TRUE(notify.Bound());
    BridgeRig rig;
    rig.bridge.environment = {notify.Environment(), "WATCHDOG_USEC=1000000"};
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(notify.WaitFor("STATUS=unit answering"));
    ASSERT_TRUE(notify.WaitFor("WATCHDOG=1", 3s));
    rig.unit->SetFault(sim::Fault::Drip, -1, 100);
    EXPECT_TRUE(notify.PingsStopFor(3s, 30s));
    rig.unit->SetFault(sim::Fault::None);
    EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", 60s));
}

// With JOURNAL_STREAM naming standard error every line starts with its
// priority; otherwise the lines are as a terminal sees them.
TEST(BridgeService, JournalPrioritiesOnlyWhenStandardErrorIsTheJournal) {
    enum class Stream { Stderr, Other, None };
    struct Row {
        const char* name;
        Stream stream;
        std::vector<std::string> prefixes;   // of serving, a refusal, the stop
    };
    const std::vector<Row> rows = {
        {"JOURNAL_STREAM names stderr", Stream::Stderr, {"<6>", "<4>", "<5>"}},
        {"JOURNAL_STREAM names another file", Stream::Other, {"", "", ""}},
        {"no JOURNAL_STREAM", Stream::None, {"", "", ""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BridgeRig rig(RigOptions{.extraArgs = {"--max-clients", "1"}});
        const std::string err = rig.bridge.ErrFile();
        std::ofstream(err).close();   // the file keeps its inode when the bridge starts
        struct stat st {};
        ASSERT_EQ(::stat(row.stream == Stream::Other ? "/dev/null" : err.c_str(), &st), 0);
        const std::string journal = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
        rig.bridge.environment = {"JOURNAL_STREAM=" + (row.stream == Stream::None ? "" : journal)};
        ASSERT_TRUE(rig.Start());
        RawClient first(rig.ip), second(rig.ip);
        EXPECT_TRUE(WaitUntil([&] { return rig.bridge.Err().find("refused") != std::string::npos; }));
        EXPECT_EQ(rig.bridge.Stop(SIGTERM), 0);
        const std::string text = "\n" + rig.bridge.Err();
        const std::string lines[] = {"tavrin_bridge: serving ", "tavrin_bridge: client ", "tavrin_bridge: stopped"};
        for (size_t i = 0; i < std::size(lines); ++i)
            EXPECT_NE(text.find("\n" + row.prefixes[i] + lines[i]), std::string::npos) << text;
        if (row.stream == Stream::Stderr) {
            EXPECT_FALSE(std::regex_search(text, std::regex(R"(\n[^<])"))) << text;
        } else {
            EXPECT_EQ(text.find('<'), std::string::npos) << text;
        }
    }
}

// --log: each line dated; rotated at --log-max-bytes with three old files
// kept; reopened by name on SIGHUP after a move (the bridge goes on).
TEST(BridgeService, TransactionLogIsDatedRotatedAndReopenedOnHangup) {
    struct Row {
        const char* name;
        std::string maxBytes;   // "" the default
        bool hangup;
    };
    const Row rows[] = {
        {"rotated at its size", "4096", false},
        {"moved, then SIGHUP", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BridgeRig rig(RigOptions{.extraArgs = {}, .intervalMs = 100});
        const std::string log = rig.folder.File("tx.log");
        rig.options.extraArgs = {"--log", log};
        if (!row.maxBytes.empty()) {
            rig.options.extraArgs.push_back("--log-max-bytes");
            rig.options.extraArgs.push_back(row.maxBytes);
        }
        ASSERT_TRUE(rig.Start());
        std::vector<std::string> files = {log};
        if (!row.hangup) {
            ASSERT_TRUE(WaitUntil([&] { return Exists(log + ".3"); }));
            // One rotation more: the oldest goes, no fourth is kept.
            const std::string oldest = ReadFile(log + ".3");
            EXPECT_TRUE(WaitUntil([&] { return ReadFile(log + ".3") != oldest; }));
            EXPECT_FALSE(Exists(log + ".4"));
            for (const char* n : {".1", ".2", ".3"}) {
                files.push_back(log + n);
                // Rotated before the line that would go past the size.
                EXPECT_LE(ReadFile(log + n).size(), 4096u + 512u) << n;
            }
        } else {
            ASSERT_TRUE(WaitUntil([&] { return ReadFile(log).size() > 200; }));
            ASSERT_EQ(std::rename(log.c_str(), (log + ".moved").c_str()), 0);
            ASSERT_EQ(::kill(rig.bridge.Pid(), SIGHUP), 0);
            EXPECT_TRUE(WaitUntil([&] { return ReadFile(log).find("\n") != std::string::npos; }));
            EXPECT_TRUE(rig.Metrics().has_value()) << "the bridge ended on SIGHUP";
            EXPECT_FALSE(Exists(log + ".1"));
            files.push_back(log + ".moved");
        }
        EXPECT_EQ(rig.bridge.Stop(SIGTERM), 0);
        for (const std::string& file : files) {
            EXPECT_FALSE(ReadFile(file).empty()) << file;
            EXPECT_EQ(UndatedLines(file), std::vector<std::string>()) << file;
        }
    }
}
