// A unit that vanishes while the program runs: the pseudo-terminal is destroyed
// while the link holds the port open, or the TCP unit goes away. Exchanges fail
// within their bounds with the read/write codes, the poll thread keeps its
// pace without spinning the processor, and the link works again once a unit is
// back (serial: after the port is opened again; TCP: by itself).
#include <gtest/gtest.h>

#include <thread>

#include "faults/unit_rig.h"
#include "link/locks.h"
#include "link/messages.h"
#include "params/codec.h"
#include "params/poll_thread.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr milliseconds kLimit{20000};

struct PollSetup {
    explicit PollSetup(UnitRig& rig, uint32_t intervalMs) {
        CurrentDemodMode = 0;
        params.window = &rig.window;
        params.link = rig.link.get();
        params.interval = intervalMs;
        params.unitAddress = 1;
        params.pollingEnabled = &enabled;
        params.pollItemFlags = items;
    }
    uint8_t enabled = 1;
    uint8_t items[4] = {1, 1, 1, 1};
    PollThreadParams params;
    CPollThread thread;
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
    PollSetup poll(rig, 100);
    ASSERT_TRUE(poll.thread.Start(poll.params));
    ASSERT_TRUE(rig.window.WaitFor(WM_UNIT_ALIVE, 11, kLimit));

    rig.StopUnit();
    rig.unit.reset();   // the pseudo-terminal is gone; the link still holds its slave open
    EXPECT_TRUE(rig.link->serialHandle.IsOpen());

    // Let the thread meet the vanished unit, then measure: it must pause, not spin.
    std::this_thread::sleep_for(milliseconds(300));
    const int alive = rig.window.Count(WM_UNIT_ALIVE);
    const double share = CpuShareOver(milliseconds(2500));
    EXPECT_LT(share, 0.25) << "processor share while polling a vanished unit";
    EXPECT_EQ(rig.window.Count(WM_UNIT_ALIVE), alive);   // nothing answers
    EXPECT_TRUE(poll.thread.IsRunning());
    EXPECT_FALSE(poll.thread.Stop()) << "the poll thread did not end within its stop bound";

    // An exchange on the dead port fails at once or within its time-outs.
    const Exchange x = rig.Transact("0001rgadd;;");
    EXPECT_TRUE(IsLinkFailure(x.rc)) << std::hex << x.rc;
    std::printf("exchange on the vanished port: %x after %lld ms\n", x.rc, static_cast<long long>(x.elapsed.count()));
    EXPECT_LE(x.elapsed, 3 * rig.AttemptBound() + UnitRig::kSlack);

    // A unit is back on the same COM port: opening the port again reaches it.
    ASSERT_TRUE(rig.RestartUnit());
    {
        LinkGuard guard(LinkLock);
        rig.link->CloseSerialPort();
        EXPECT_FALSE(rig.link->serialHandle.IsOpen());
        ASSERT_EQ(rig.link->OpenSerialPort(0), kResultOk);
    }
    const Exchange y = rig.Transact("0001rgadd;;");
    EXPECT_EQ(y.rc, kResultOk);
    EXPECT_EQ(y.data, "1");
    EXPECT_EQ(rig.link->connected, 1);
}

TEST(VanishingUnit, TcpUnitGoneAndBack) {
    UnitRig rig(Transport::Tcp);
    ASSERT_TRUE(rig.Start());
    PollSetup poll(rig, 100);
    ASSERT_TRUE(poll.thread.Start(poll.params));
    ASSERT_TRUE(rig.window.WaitFor(WM_UNIT_ALIVE, 11, kLimit));

    rig.StopUnit();
    rig.unit.reset();   // connection closed, nothing listens on the port any more
    std::this_thread::sleep_for(milliseconds(300));
    const int alive = rig.window.Count(WM_UNIT_ALIVE);
    const double share = CpuShareOver(milliseconds(2500));
    EXPECT_LT(share, 0.25) << "processor share while polling a vanished unit";
    EXPECT_EQ(rig.window.Count(WM_UNIT_ALIVE), alive);
    EXPECT_FALSE(rig.link->HasSocket());   // every reconnection is refused

    // The unit returns on its address: the poll thread's next exchanges reconnect.
    ASSERT_TRUE(rig.RestartUnit());
    EXPECT_TRUE(rig.window.WaitFor(WM_UNIT_ALIVE, alive + 11, kLimit)) << "polling did not resume";
    EXPECT_TRUE(rig.WaitForFrames(11, kLimit));
    EXPECT_TRUE(rig.link->HasSocket());
    EXPECT_EQ(rig.link->connected, 1);
    EXPECT_FALSE(poll.thread.Stop());
}

TEST(VanishingUnit, PollingAtTheDefaultIntervalBarelyUsesTheProcessor) {
    // A unit that answers, polled at the default 2,000 ms: the thread sleeps
    // between cycles.
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    PollSetup poll(rig, 2000);
    ASSERT_TRUE(poll.thread.Start(poll.params));
    ASSERT_TRUE(rig.window.WaitFor(WM_UNIT_ALIVE, 11, kLimit));
    const double share = CpuShareOver(milliseconds(2500));
    EXPECT_LT(share, 0.25);
    EXPECT_FALSE(poll.thread.Stop());
}

}  // namespace
