// Line time: replies keep the pace of the line or the network they stand for.
// Lower bounds only: a loaded machine may make a reply later, never earlier.
#include <gtest/gtest.h>

#include <chrono>

#include "sim/sim_line.h"
#include "sim_test_util.h"

using namespace simtest;

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// A 100-byte reply at 9600 baud (10 bits a byte) takes 104.2 ms on the line,
// after the 13-byte request's 13.5 ms and the unit's 2 ms of its own; over TCP
// a reply comes think + latency after its request.
TEST(LineTime, RepliesKeepTheLineRateAndTheLatency) {
    const std::string text(91, 'x');   // STX, 0001, '1', 91 bytes, ';', checksum, ETX: 100 bytes
    const std::string request = "0001redef;;";
    struct Case {
        bool tcp;
        sim::SimOptions options;
        double atLeastMs;
    };
    sim::SimOptions serial;
    serial.lineRate = 9600;
    sim::SimOptions network;
    network.latencyMs = 50;
    network.thinkMs = 5;
    const Case cases[] = {
        {false, serial, (13 + 100) * 10 * 1000.0 / 9600 + 2},
        {true, network, 55},
    };
    for (const Case& c : cases) {
        sim::SimOptions o = c.options;
        o.drift = false;
        sim::SimUnit* raw = nullptr;
        std::string error;
        ASSERT_TRUE(StartOnLoopback(raw, o, &error)) << error;
        std::unique_ptr<sim::SimUnit> unit(raw);
        unit->SetValue("edef", text);
        const std::string expected = Reply(1, '1', text);
        ASSERT_EQ(expected.size(), 100u);

        const auto start = std::chrono::steady_clock::now();
        std::string got;
        if (c.tcp) {
            TcpClient client;
            ASSERT_TRUE(client.Connect(unit->TcpAddress(), unit->TcpPort()));
            got = client.Exchange(request);
        } else {
            SerialClient port(unit->PtySlavePath());
            ASSERT_TRUE(port.IsOpen());
            ASSERT_TRUE(port.Send(Frame(request)));
            got = port.ReadUntilEtx();
        }
        const double took = MsSince(start);
        EXPECT_EQ(got, expected) << (c.tcp ? "tcp" : "serial");
        EXPECT_GE(took, c.atLeastMs) << (c.tcp ? "tcp" : "serial");
        if (!c.tcp) {
            EXPECT_EQ(unit->Counters().serialBytesOut, 100u);
        }
    }
}

// The clock's arithmetic, in nanoseconds: a byte is 10 bits at the line rate;
// a request starts at the later of its first byte and the previous reply's
// end; think time counts only for a unit that keeps line time at all.
TEST(LineTime, ClockCountsBytesThinkAndLatency) {
    struct Case {
        uint32_t rate, latencyMs, thinkMs;
        uint64_t byteNs, serialStartNs, tcpNs;   // request of 13 bytes from t = 1 ms; TCP in at 1 ms
    };
    const Case cases[] = {
        {9600, 0, 2, 1041667, 1000000 + 13 * 1041667 + 2000000, 1000000 + 2000000},
        {115200, 0, 0, 86806, 1000000 + 13 * 86806, 1000000},
        {0, 50, 5, 0, 1000000 + 5000000, 1000000 + 55000000},
        {0, 0, 2, 0, 1000000, 1000000},   // neither: no think time, every run as before
    };
    for (const Case& c : cases) {
        sim::LineClock clock(c.rate, c.latencyMs, c.thinkMs);
        clock.RequestStarted(1000000);
        EXPECT_EQ(clock.ByteNs(), c.byteNs) << c.rate;
        EXPECT_EQ(clock.SerialReplyStartNs(13), c.serialStartNs) << c.rate;
        EXPECT_EQ(clock.TcpReplyNs(1000000), c.tcpNs) << c.rate;
        EXPECT_EQ(clock.ByteDoneNs(0, 99), 100 * c.byteNs) << c.rate;
        // A request seen before the previous reply had left starts when it left.
        clock.ReplyFinished(9000000);
        EXPECT_EQ(clock.SerialReplyStartNs(13), c.serialStartNs + 8000000) << c.rate;
    }
}
