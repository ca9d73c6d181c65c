// A unit that vanishes while the program runs: the pseudo-terminal is destroyed
// while the link holds the port open, or the TCP unit goes away. Exchanges fail
// within their bounds with the read/write codes, the poll thread keeps its
// pace without spinning the processor, and the link works again once a unit is
// back (serial: after the port is opened again; TCP: by itself).
#include <gtest/gtest.h>

#include <thread>

#include <sys/stat.h>

#include <algorithm>

#include "app/signal_history.h"
#include "faults/unit_rig.h"
#include "link/locks.h"
#include "link/unit_events.h"
#include "params/codec.h"
#include "params/poll_thread.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr milliseconds kLimit{20000};

// Poll cycles run one by one on this thread, their samples kept by a signal
// history that was told it is connected to `where`.
struct CycleByCycle {
    CycleByCycle(UnitRig& rig, const std::string& where) : poll(rig, 100) {
        history.NoteConnected(where);
        poll.params.sampleSink = &history;
    }
    int Cycle() { return RunPollCycle(poll.params, state, &sample); }
    CSignalHistory history;
    Polling poll;
    PollCycleState state;
    PollSample sample;
};

// Share of one processor this process used over `window` of wall time.
double CpuShareOver(milliseconds window) {
    const auto cpu0 = ProcessCpuTime();
    const auto wall0 = steady_clock::now();
    std::this_thread::sleep_for(window);
    const auto cpu = ProcessCpuTime() - cpu0;
    const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - wall0);
    const double share = double(cpu.count()) / double(wall.count());
    std::printf("processor share over %lld ms: %.2f %%\n", static_cast<long long>(wall.count() / 1000), share * 100);
    return share;
}

bool IsLinkFailure(ResultCode rc) { return rc == kErrWrite || rc == kErrRead || rc == kErrTimedOut; }

TEST(VanishingUnit, PseudoTerminalDestroyedWhileThePortIsOpen) {
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    Polling poll(rig, 100);
    ASSERT_TRUE(poll.thread.Start(poll.params));
    ASSERT_TRUE(rig.window.WaitFor(Ev::UnitAlive, 11, kLimit));

    rig.StopUnit();
    rig.unit.reset();   // the pseudo-terminal is gone under the link's open slave

    // Let the thread meet the vanished unit, then measure: it must pause, not spin.
    std::this_thread::sleep_for(milliseconds(300));
    // Meeting it, the link closed the dead descriptor and told the window.
    EXPECT_FALSE(rig.link->SerialLine().IsOpen());
    EXPECT_GE(rig.window.Count(Ev::LinkLost), 1);
    const int alive = rig.window.Count(Ev::UnitAlive);
    const double share = CpuShareOver(milliseconds(2500));
    EXPECT_LT(share, 0.25) << "processor share while polling a vanished unit";
    EXPECT_EQ(rig.window.Count(Ev::UnitAlive), alive);   // nothing answers
    EXPECT_TRUE(poll.thread.IsRunning());
    EXPECT_FALSE(poll.thread.Stop()) << "the poll thread did not end within its stop bound";

    // An exchange after the port was given up fails at once: no connection.
    const Exchange x = rig.Transact("0001rgadd;;");
    EXPECT_EQ(x.rc, kErrNoConnection) << std::hex << x.rc;
    std::printf("exchange on the vanished port: %x after %lld ms\n", x.rc, static_cast<long long>(x.elapsed.count()));
    EXPECT_LE(x.elapsed, 3 * rig.AttemptBound() + UnitRig::kSlack);

    // A unit is back on the same COM port: opening the port again reaches it.
    ASSERT_TRUE(rig.RestartUnit());
    {
        LinkGuard guard(rig.link->LinkMutex());
        rig.link->CloseSerialPort();
        EXPECT_FALSE(rig.link->SerialLine().IsOpen());
        ASSERT_EQ(rig.link->OpenSerialPort(0), kResultOk);
    }
    const Exchange y = rig.Transact("0001rgadd;;");
    EXPECT_EQ(y.rc, kResultOk);
    EXPECT_EQ(y.data, "1");
    EXPECT_EQ(rig.link->Connected(), 1);
}

TEST(VanishingUnit, TcpUnitGoneAndBack) {
    UnitRig rig(Transport::Tcp);
    ASSERT_TRUE(rig.Start());
    Polling poll(rig, 100);
    ASSERT_TRUE(poll.thread.Start(poll.params));
    ASSERT_TRUE(rig.window.WaitFor(Ev::UnitAlive, 11, kLimit));

    rig.StopUnit();
    rig.unit.reset();   // connection closed, nothing listens on the port any more
    std::this_thread::sleep_for(milliseconds(300));
    const int alive = rig.window.Count(Ev::UnitAlive);
    const double share = CpuShareOver(milliseconds(2500));
    EXPECT_LT(share, 0.25) << "processor share while polling a vanished unit";
    EXPECT_EQ(rig.window.Count(Ev::UnitAlive), alive);
    EXPECT_FALSE(rig.link->HasSocket());   // every reconnection is refused

    // The unit returns on its address: the poll thread's next exchanges reconnect.
    ASSERT_TRUE(rig.RestartUnit());
    EXPECT_TRUE(rig.window.WaitFor(Ev::UnitAlive, alive + 11, kLimit)) << "polling did not resume";
    EXPECT_TRUE(rig.WaitForFrames(11, kLimit));
    EXPECT_TRUE(rig.link->HasSocket());
    EXPECT_EQ(rig.link->Connected(), 1);
    EXPECT_FALSE(poll.thread.Stop());
}

TEST(VanishingUnit, PollingAtTheDefaultIntervalBarelyUsesTheProcessor) {
    // A unit that answers, polled at the default 2,000 ms: the thread sleeps
    // between cycles.
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    Polling poll(rig, 2000);
    ASSERT_TRUE(poll.thread.Start(poll.params));
    ASSERT_TRUE(rig.window.WaitFor(Ev::UnitAlive, 11, kLimit));
    const double share = CpuShareOver(milliseconds(2500));
    EXPECT_LT(share, 0.25);
    EXPECT_FALSE(poll.thread.Stop());
}

// The events of `kind` the history noted so far.
int EventCount(CSignalHistory& history, EventKind kind) {
    const std::vector<EventRecord> events = history.Events().Recent();
    return int(std::count_if(events.begin(), events.end(), [kind](const EventRecord& e) { return e.kind == kind; }));
}

// The eleven values of a cycle's sample are the simulated unit's own.
void ExpectUnitValues(const PollSample& sample, const sim::SimUnit& unit) {
    for (int column = 0; column < kSampleColumnCount; ++column) {
        EXPECT_EQ(sample.values[column], unit.Value(kSampleColumns[column].code)) << kSampleColumns[column].name;
    }
}

// A USB adapter unplugged and plugged back: the pseudo-terminal behind
// ports/COM1 is destroyed (and its link with it), later a new one with a new
// unit appears at the same link. The poll cycle alone notices both.
TEST(VanishingUnit, SerialDeviceGoneAndBackAtTheSameComPortCycleByCycle) {
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    const std::string comLink = rig.folder.Path() + "/ports/COM1";
    CycleByCycle cycles(rig, "COM1");
    CSignalHistory& history = cycles.history;
    const PollSample& sample = cycles.sample;
    cycles.Cycle();
    EXPECT_TRUE(sample.connected);
    ExpectUnitValues(sample, *rig.unit);

    rig.StopUnit();
    rig.unit.reset();
    struct stat st {};
    ASSERT_NE(lstat(comLink.c_str(), &st), 0) << "the port's link should be gone with the unit";

    // The first cycle meets the dead line: the port is closed, the window told.
    const uint32_t checksBefore = rig.link->ReopenChecks();
    cycles.Cycle();
    EXPECT_FALSE(sample.connected);
    for (const std::string& value : sample.values) EXPECT_EQ(value, "");
    EXPECT_FALSE(rig.link->SerialLine().IsOpen()) << "the descriptor of a vanished device is closed";
    EXPECT_EQ(rig.link->Connected(), 0);
    EXPECT_GE(rig.window.Count(Ev::LinkLost), 1);
    EXPECT_EQ(EventCount(history, EventKind::ConnectionLost), 1);

    // Cycles without a device: no frame can go anywhere, at most one look for
    // the device per cycle, and every sample says "not connected".
    constexpr int kCyclesAway = 5;
    for (int i = 0; i < kCyclesAway; ++i) {
        EXPECT_EQ(cycles.Cycle(), 0);
        EXPECT_FALSE(sample.connected);
    }
    const uint32_t checks = rig.link->ReopenChecks() - checksBefore;
    EXPECT_GE(checks, 1u) << "the link never looked for the device";
    EXPECT_LE(checks, uint32_t(kCyclesAway + 1)) << "more than one look for the device per cycle";
    EXPECT_EQ(EventCount(history, EventKind::ConnectionLost), 1);

    // A new unit on a new pseudo-terminal at the same ports/COM1: the next
    // cycle opens it again and reads its values.
    ASSERT_TRUE(rig.StartUnit());
    rig.unit->SetValue("1snr", "17.5");
    rig.unit->SetValue("1ina", "-61.25");
    cycles.Cycle();
    EXPECT_TRUE(rig.link->SerialLine().IsOpen()) << "the port was not opened again";
    EXPECT_TRUE(sample.connected);
    ExpectUnitValues(sample, *rig.unit);
    EXPECT_EQ(sample.values[kColSnrA], "17.5");
    EXPECT_EQ(rig.link->Connected(), 1);
    EXPECT_EQ(rig.link->OpenPortIndex(), 0);
    EXPECT_EQ(EventCount(history, EventKind::ConnectionBack), 1);
    // The reopened port has the settings it had.
    SerialTimeouts timeouts;
    ASSERT_TRUE(rig.link->SerialLine().GetTimeouts(timeouts));
    EXPECT_EQ(timeouts.readTotalConstant, UnitRig::kReadConstantMs);
}

// The same with the poll thread running: the device goes while cycles run
// (an exchange may be on its way), the thread keeps its pace without spinning
// and picks the new device up by itself.
TEST(VanishingUnit, SerialDeviceGoneAndBackWhilePolling) {
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    CSignalHistory history;
    history.NoteConnected("COM1");
    constexpr uint32_t kIntervalMs = 100;
    Polling poll(rig, kIntervalMs);
    poll.params.sampleSink = &history;
    ASSERT_TRUE(poll.thread.Start(poll.params));
    ASSERT_TRUE(rig.window.WaitFor(Ev::UnitAlive, 22, kLimit));

    rig.StopUnit();
    rig.unit.reset();
    ASSERT_TRUE(rig.window.WaitFor(Ev::LinkLost, 1, kLimit));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_FALSE(rig.link->SerialLine().IsOpen());

    const uint32_t checks0 = rig.link->ReopenChecks();
    const auto wall0 = steady_clock::now();
    const double share = CpuShareOver(milliseconds(2000));
    const auto away = std::chrono::duration_cast<milliseconds>(steady_clock::now() - wall0);
    const uint32_t checks = rig.link->ReopenChecks() - checks0;
    EXPECT_LT(share, 0.25) << "processor share while the device is gone";
    EXPECT_GE(checks, 1u);
    EXPECT_LE(checks, uint32_t(away.count() / kIntervalMs + 2)) << "more than one look for the device per cycle";
    EXPECT_GE(EventCount(history, EventKind::ConnectionLost), 1);

    const int alive = rig.window.Count(Ev::UnitAlive);
    ASSERT_TRUE(rig.StartUnit());
    EXPECT_TRUE(rig.window.WaitFor(Ev::UnitAlive, alive + 11, kLimit)) << "polling did not resume";
    EXPECT_TRUE(rig.WaitForFrames(11, kLimit));
    EXPECT_TRUE(rig.link->SerialLine().IsOpen());
    EXPECT_FALSE(poll.thread.Stop());
    EXPECT_GE(EventCount(history, EventKind::ConnectionBack), 1);
}

// An operator's exchange is the one that meets the vanished device: it fails
// within its bounds with a link failure, and the port is given up for the
// poll cycle to look for again; the operator's Close means "do not look".
TEST(VanishingUnit, ExchangeOnAVanishedDeviceGivesThePortUp) {
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    rig.StopUnit();
    rig.unit.reset();
    const Exchange x = rig.Transact("0001rgadd;;");
    EXPECT_TRUE(IsLinkFailure(x.rc)) << std::hex << x.rc;
    EXPECT_LE(x.elapsed, 3 * rig.AttemptBound() + UnitRig::kSlack);
    EXPECT_FALSE(rig.link->SerialLine().IsOpen());
    EXPECT_EQ(rig.link->Connected(), 0);
    EXPECT_EQ(rig.link->LostPortIndex(), 0);
    EXPECT_EQ(rig.window.Count(Ev::LinkLost), 1);

    ASSERT_TRUE(rig.StartUnit());
    rig.link->CloseSerialPort();
    EXPECT_EQ(rig.link->LostPortIndex(), -1);
    EXPECT_FALSE(rig.link->ReopenLostPort()) << "a port the operator closed is not opened again";
    EXPECT_FALSE(rig.link->SerialLine().IsOpen());
}

// Over Ethernet the link connects anew by itself; the samples say when it was away.
TEST(VanishingUnit, TcpUnitGoneAndBackInTheSamples) {
    UnitRig rig(Transport::Tcp);
    ASSERT_TRUE(rig.Start());
    CycleByCycle cycles(rig, "127.0.0.1");
    CSignalHistory& history = cycles.history;
    const PollSample& sample = cycles.sample;
    cycles.Cycle();
    EXPECT_TRUE(sample.connected);
    rig.StopUnit();
    rig.unit.reset();
    cycles.Cycle();
    EXPECT_FALSE(sample.connected);
    EXPECT_EQ(EventCount(history, EventKind::ConnectionLost), 1);
    ASSERT_TRUE(rig.StartUnit());
    cycles.Cycle();
    EXPECT_TRUE(sample.connected);
    ExpectUnitValues(sample, *rig.unit);
    EXPECT_EQ(EventCount(history, EventKind::ConnectionBack), 1);
}

}  // namespace
