// The poll thread: every interval it reads the lock states, the packet-error
// count, the SNR values and the input levels, stores them in the unit's state and
// tells the main window by posted events (IUnitEvents). With nothing to poll it sends a
// keep-alive read of the unit address instead.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "link/unit_events.h"
#include "params/lamps.h"
#include "params/poll_plan.h"
#include "params/poll_sample.h"
#include "platform/clock.h"

class CFerritRemoteControl;
class UnitState;

struct PollThreadParams {
    IUnitEvents* window = nullptr;             // hears every event of the cycle
    CFerritRemoteControl* link = nullptr;
    // The unit's values, where the cycle stores what it reads (the store
    // function is its only way in); null: nothing is stored.
    UnitState* unit = nullptr;
    std::atomic<uint32_t> interval{2000};      // pause after each cycle (ms)
    StopFlag stop;                             // Set() ends the thread after its pause
    std::atomic<int32_t> unitAddress{0};       // 0: not yet known (keep-alive to 9999)
    // The application's settings, read at every cycle; null reads as 0.
    const uint8_t* pollingEnabled = nullptr;
    const uint8_t* pollItemFlags = nullptr;    // four bytes, indexed by PollItem
    // Given every cycle's sample on the poll thread (the signal history, a
    // recording); null: none. Set before the thread starts.
    IPollSampleSink* sampleSink = nullptr;
};

// State carried from one cycle to the next: the lamps and the lock value.
struct PollCycleState {
    LampMemory lamps;
    // The last cycle's exchanges all went unanswered: the next cycle sends the
    // any-unit probe instead (a unit that comes back at another address is
    // found, and its address taken into PollThreadParams::unitAddress).
    bool unitAway = false;
};

// One cycle without the pause: the poll plan (RunPollPlan), or the
// keep-alive when it made no exchange, or the any-unit probe while the unit is
// away. Returns the number of exchanges made
// (keep-alive included). The cycle's readings go to `sample` when given,
// and to the params' sample sink.
int RunPollCycle(PollThreadParams& params, PollCycleState& state, PollSample* sample = nullptr);

// The thread body: cycles and pauses until the stop flag is set.
void PollThreadMain(PollThreadParams& params);

// Owns the running thread. Never kills it: Stop sets the flag, waits up to
// 1500 ms, writes a debug line if the thread is still running then, and keeps
// waiting until it has ended.
class CPollThread {
public:
    CPollThread() = default;
    ~CPollThread();
    CPollThread(const CPollThread&) = delete;
    CPollThread& operator=(const CPollThread&) = delete;

    // Clears the stop flag and starts the thread; false if already running.
    bool Start(PollThreadParams& params);
    // Returns true when the thread had to be waited for beyond 1500 ms.
    bool Stop();
    bool IsRunning() const { return thread_.joinable(); }

    static constexpr uint32_t kStopWaitMs = 1500;

private:
    PollThreadParams* params_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
};

// Convenience wrappers for the main window; the "Poll thread terminated" debug
// line after a stop is the caller's.
bool StartPollThread(CPollThread& thread, PollThreadParams& params);
void StopPollThread(CPollThread& thread);
