// The bridge at a careless site: a serial unit that vanishes and comes back,
// HTTP clients that hold connections, addresses already taken, standard
// streams closed, a listen port left to the system, a TCP unit that goes.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

#include "bridge/bridge_rig.h"
#include "support/frame_text.h"
#include "support/loopback.h"

using namespace bridgetest;

namespace {

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// A unit that comes back is opened again, whether named by its device path or
// by its COM number, and the bridge learns the new unit's address and identity.
class UnitComesBack : public ::testing::TestWithParam<bool> {};

TEST_P(UnitComesBack, ItIsOpenedAgainAndItsIdentityFollows) {
    RigOptions options;
    options.viaComPort = GetParam();
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    const std::string serial = rig.unit->Value("gser");
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 1));
    rig.unit->Stop();
    rig.unit.reset();
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 0));

    ASSERT_TRUE(rig.StartUnit(7));
    rig.unit->SetValue("gser", "NEW-" + serial);
    const std::string info = rig.Series("tavrin_unit_info", "model=\"" + rig.unit->Value("gbty") + "\",firmware=\"" +
                                                                rig.unit->Value("gsof") + "\",serial=\"NEW-" + serial +
                                                                "\",address=\"7\"");
    EXPECT_TRUE(rig.WaitForSample(info, 1)) << rig.Metrics().value_or("") << rig.bridge.Err();
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 1));
    EXPECT_NE(rig.bridge.Err().find("open again"), std::string::npos) << rig.bridge.Err();
    EXPECT_EQ(rig.bridge.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Bridge, UnitComesBack, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "ComPort" : "DevicePath"; });

int Connect(const std::string& ip, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    ::close(fd);
    return -1;
}

struct HttpCrowd {
    const char* what;
    int connections;
    bool slowHeaders;   // one byte of a request every second, else one whole request and then silence
};

const HttpCrowd kHttpCrowds[] = {
    {"ten clients sending their headers a byte a second", 10, true},
    {"fifty idle keep-alive connections", 50, false},
};

void PrintTo(const HttpCrowd& crowd, std::ostream* out) { *out << crowd.what; }

class MetricsUnderSiege : public ::testing::TestWithParam<HttpCrowd> {};

TEST_P(MetricsUnderSiege, EveryScrapeIsAnsweredWithinASecond) {
    const HttpCrowd& crowd = GetParam();
    BridgeRig rig;
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: bridge\r\n\r\n";
    std::vector<int> fds;
    for (int i = 0; i < crowd.connections; ++i) {
        fds.push_back(Connect(rig.ip, kMetricsPort));
        ASSERT_GE(fds.back(), 0);
        if (!crowd.slowHeaders) ::send(fds.back(), request.data(), request.size(), MSG_NOSIGNAL);
    }
    std::atomic<bool> stop{false};
    std::thread dribble([&] {
        for (size_t at = 0; crowd.slowHeaders && !stop; ++at) {
            for (const int fd : fds) ::send(fd, &request[at % 20], 1, MSG_NOSIGNAL);
            for (int i = 0; i < 20 && !stop; ++i) std::this_thread::sleep_for(50ms);
        }
    });
    std::this_thread::sleep_for(200ms);
    int answered = 0;
    for (int i = 0; i < 6; ++i) {
        httplib::Client scrape(rig.ip, kMetricsPort);
        scrape.set_connection_timeout(1);
        scrape.set_read_timeout(1);
        const auto response = scrape.Get("/metrics");
        if (response && response->status == 200) ++answered;
        std::this_thread::sleep_for(500ms);
    }
    stop = true;
    dribble.join();
    EXPECT_EQ(answered, 6) << crowd.what;
    for (const int fd : fds) ::close(fd);
    EXPECT_EQ(rig.bridge.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Bridge, MetricsUnderSiege, ::testing::ValuesIn(kHttpCrowds),
                         [](const ::testing::TestParamInfo<HttpCrowd>& p) { return std::to_string(p.index); });

// A second bridge given an address the first one serves stops at once.
TEST(BridgeSite, AnAddressAlreadyTakenStopsTheBridgeWithTheReason) {
    RigOptions options;
    options.unitOverTcp = true;
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    const std::string other = testsupport::RandomLoopbackAddress();
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--listen", rig.ip}, "cannot listen on " + rig.ip + ":9999"},
        {{"--listen", other, "--metrics", rig.ip + ":" + std::to_string(kMetricsPort)},
         "cannot serve metrics on " + rig.ip + ":" + std::to_string(kMetricsPort)},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--ip", rig.unitIp};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Process second;
        ASSERT_TRUE(second.Start(BinPath("tavrin_bridge"), args));
        EXPECT_EQ(second.Stop(0, 5s), 1) << c.says;
        EXPECT_NE(second.Err().find(c.says + ": Address already in use"), std::string::npos) << second.Err();
    }
    EXPECT_TRUE(rig.Metrics().has_value());
}

// Each program started with standard streams closed still does its work, and
// its output goes nowhere near the unit.
TEST(BridgeSite, ProgramsStartedWithStandardStreamsClosedWork) {
    RigOptions options;
    options.unitOverTcp = true;
    BridgeRig rig(options);
    ASSERT_TRUE(rig.StartUnit());
    ASSERT_TRUE(rig.bridge.Start(BinPath("tavrin_bridge"), {"--ip", rig.unitIp, "--listen", rig.ip}, {1, 2}));
    ASSERT_TRUE(WaitForListener(rig.ip, 9999));
    std::this_thread::sleep_for(300ms);
    LinkClient client(rig.ip);
    EXPECT_EQ(client.Read("gser"), rig.unit->Value("gser")) << "the bridge with 1 and 2 closed";

    const std::string simIp = testsupport::RandomLoopbackAddress();
    Process sim;
    ASSERT_TRUE(sim.Start(BinPath("tavrin_unit_sim"), {"--no-serial", "--tcp", simIp}, {0, 1, 2}));
    ASSERT_TRUE(WaitForListener(simIp, 9999));
    LinkClient simClient(simIp);
    EXPECT_TRUE(simClient.Read("gser").has_value()) << "the simulated unit with 0, 1 and 2 closed";

    // The tool on a serial unit: its output would otherwise be written to the line.
    RigOptions serialOptions;
    BridgeRig serial(serialOptions);
    ASSERT_TRUE(serial.StartUnit());
    Process tool;
    ASSERT_TRUE(tool.Start(BinPath("tavrinctl"), {"--serial", serial.folder.File("unit-pty"), "read", "gser"}, {1}));
    EXPECT_EQ(tool.Stop(0, 10s), 0) << tool.Err();
    for (const std::string& frame : serial.unit->Requests()) EXPECT_EQ(frame.find(" 1 "), std::string::npos) << frame;
    EXPECT_EQ(serial.unit->Counters().badChecksum, 0u);
}

// --listen ADDR:0 is told as the port the system gave.
TEST(BridgeSite, APortLeftToTheSystemIsToldAsTheOneItGave) {
    RigOptions options;
    options.unitOverTcp = true;
    BridgeRig rig(options);
    ASSERT_TRUE(rig.StartUnit());
    ASSERT_TRUE(rig.bridge.Start(BinPath("tavrin_bridge"), {"--ip", rig.unitIp, "--listen", rig.ip + ":0"}));
    // "serving ADDR:PORT", the port's digits up to the end of the line.
    const std::string serving = "serving " + rig.ip + ":";
    std::string err;
    size_t at = std::string::npos;
    ASSERT_TRUE(WaitFor([&] {
        err = rig.bridge.Err();
        at = err.find(serving);
        return at != std::string::npos && err.find('\n', at) != std::string::npos;
    })) << err;
    const int port = std::atoi(err.c_str() + at + serving.size());
    ASSERT_GT(port, 0);
    RawClient client(rig.ip, uint16_t(port));
    ASSERT_TRUE(client.SendFrame(testsupport::Frame("0001rgser;;")));
    EXPECT_EQ(client.Replies(1, 5s), std::vector<std::string>{rig.unit->Value("gser")});
}

// A TCP unit that goes is told in words that fit TCP, with its address.
TEST(BridgeSite, ATcpUnitThatGoesIsToldAsItIs) {
    RigOptions options;
    options.unitOverTcp = true;
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 1));
    rig.unit->Stop();
    const std::string line = "unit at " + rig.unitIp + " port 9999 not answering";
    EXPECT_TRUE(WaitFor([&] { return rig.bridge.Err().find(line) != std::string::npos; })) << rig.bridge.Err();
    EXPECT_EQ(rig.bridge.Err().find("serial port"), std::string::npos) << rig.bridge.Err();
}

}  // namespace
