// The poll thread: every interval it reads the lock states, the packet-error
// count, the SNR values and the input levels, stores them in the unit's state and
// tells the main window by posted messages. With nothing to poll it sends a
// keep-alive read of the unit address instead.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "link/messages.h"
#include "params/lamps.h"
#include "params/poll_plan.h"
#include "params/poll_sample.h"
#include "platform/clock.h"

class CFerritRemoteControl;
class UnitState;

struct PollThreadParams {
    IMessageTarget* window = nullptr;          // receives every posted message
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

// What a cycle tells the window when it ends (WM_POLL_CYCLE_DONE's wParam):
// whether it made any exchange, whether any of them was answered, and which
// poll items it read. What a cycle did not read is not current any more.
struct PollCycleReport {
    bool exchanged = false;
    bool answered = false;
    uint8_t itemsRead = 0;   // bit (1 << PollItem) per item run

    bool Read(PollItem item) const { return (itemsRead & (1u << item)) != 0; }
    uintptr_t Pack() const { return (exchanged ? 1u : 0u) | (answered ? 2u : 0u) | (uintptr_t{itemsRead} << 4); }
    static PollCycleReport Unpack(uintptr_t w) {
        return PollCycleReport{(w & 1u) != 0, (w & 2u) != 0, static_cast<uint8_t>((w >> 4) & 0xFu)};
    }
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
