// The poll cycle and the thread that repeats it.
#include "params/poll_thread.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "params/poll_run.h"
#include "platform/debug_out.h"

namespace {

uint8_t ReadSetting(const uint8_t* byte) {
    if (byte == nullptr) return 0;
    return std::atomic_ref<const uint8_t>(*byte).load(std::memory_order_relaxed);
}

class Cycle {
public:
    Cycle(PollThreadParams& params, PollCycleState& state, PollSample& sample)
        : params_(params), state_(state), sample_(sample), address_(params.unitAddress.load()) {}

    int Run() {
        sample_ = PollSample{};
        sample_.lampsBefore = state_.lamps;
        sample_.itemsRead = 0;
        if (params_.link != nullptr && !params_.link->IsConnected()) {
            // A serial device that vanished is looked for once per cycle.
            std::lock_guard<std::recursive_mutex> gate(params_.link->PollGate());
            params_.link->ReopenLostPort();
        }
        if (params_.link != nullptr && params_.link->IsConnected()) {
            // The unit may come back at another address (another unit, or
            // the same one set anew): while it is away, whichever unit is
            // there is asked first, and polled at its address when it answers.
            if (!state_.unitAway || FindUnit()) {
                const int before = exchanges_;
                if (ReadSetting(params_.pollingEnabled) != 0 && address_ != 0) RunItems();
                if (exchanges_ == before) KeepAlive();
            }
        }
        if (exchanges_ > 0) state_.unitAway = !sample_.connected;
        sample_.timeMs = WallClockMs();
        state_.lamps = LampsAfter(state_.lamps, sample_);
        if (params_.sampleSink != nullptr) params_.sampleSink->OnPollSample(sample_);
        // With the link closed nothing was sent and nothing is told.
        if (exchanges_ > 0) {
            PollCycleReport report;
            report.answered = sample_.connected;
            report.itemsRead = sample_.itemsRead;
            report.greyLamps = GreyLampsAfter(sample_);
            if (params_.window != nullptr) params_.window->PollCycleDone(report);
        }
        return exchanges_;
    }

private:
    // The window, or a listener that hears nothing.
    IUnitEvents& Window() { return params_.window != nullptr ? *params_.window : nobody_; }

    void RunItems() {
        PollRun run;
        run.unitAddress = address_;
        run.itemFlags = params_.pollItemFlags;
        run.stop = &params_.stop;
        run.link = params_.link;
        run.onRead = [this](size_t row, const UnitReply& reply) { OnRead(kPollPlan[row], reply); };
        if (params_.pollItemFlags != nullptr) exchanges_ = RunPollPlan(run, sample_);
    }

    // A read that brought a value: stored in its row, its lamp set, the row
    // shown, and a graphed value's sample passed on.
    void OnRead(const PollRead& read, const UnitReply& reply) {
        if (!reply.HasValue()) return;
        std::string text = reply.data;
        bool decoderTable = false;
        const ParamEntry* row = params_.unit != nullptr ? PollValueRow(*params_.unit, read, &decoderTable) : nullptr;
        if (row != nullptr) StoreReplyValue(*params_.unit, text, *row);
        if (const std::optional<Lamp> lamp = LampOfColumn(SampleColumnOfCode(read.code)))
            Window().LampChanged(*lamp, SampleLamps(sample_).Of(*lamp));
        if (row != nullptr) Window().ValueUpdated(decoderTable ? ValueTable::Decoder : ValueTable::Demod, *row);
        Window().UnitAlive();
        if (const ParamEntry* graphRow = GraphRow(read.code)) {
            if (params_.unit != nullptr) StoreParamValue(*params_.unit, *graphRow, ParamValue{.has = true, .text = text});
            Window().GraphSample(*graphRow);
        }
    }

    static const ParamEntry* GraphRow(const char* code) {
        const ParamEntry* row = FindParam(SnrGraphList, code);
        return row != nullptr ? row : FindParam(LevelGraphList, code);
    }

    // The any-unit probe; an answer gives the address polled from now on.
    bool FindUnit() {
        ++exchanges_;
        const UnitReply reply = params_.link->Exchange(AnyUnitProbeRequest(), 1, ExchangeLocks::PollGateAndLink);
        int address = 0;
        if (!reply.Accepted() || !ParseUnitAddress(reply.data, address)) return false;
        sample_.connected = true;
        if (address != address_) {
            DebugOut("The unit answers at address %d\r\n", address);
            params_.unitAddress = address;
            address_ = address;
        }
        return true;
    }

    void KeepAlive() {
        const std::string request = address_ == 0 ? AnyUnitProbeRequest() : UnitAddressReadRequest(address_);
        ++exchanges_;
        // Any accepted reply, even a refusal, shows that the unit answers.
        if (params_.link->Exchange(request, 1, ExchangeLocks::PollGateAndLink).Answered()) {
            sample_.connected = true;
            Window().UnitAlive();
        }
    }

    PollThreadParams& params_;
    PollCycleState& state_;
    PollSample& sample_;
    int32_t address_;
    int exchanges_ = 0;
    IUnitEvents nobody_;
};

}  // namespace

int RunPollCycle(PollThreadParams& params, PollCycleState& state, PollSample* sample) {
    PollSample local;
    return Cycle(params, state, sample != nullptr ? *sample : local).Run();
}

void PollThreadMain(PollThreadParams& params) {
    PollCycleState state;
    for (;;) {
        RunPollCycle(params, state);
        if (params.stop.PauseFor(params.interval.load())) break;
    }
}

CPollThread::~CPollThread() { Stop(); }

bool CPollThread::Start(PollThreadParams& params) {
    if (thread_.joinable()) return false;
    params_ = &params;
    params.stop.Clear();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = false;
    }
    thread_ = std::thread([this, &params] {
        PollThreadMain(params);
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        ended_.notify_all();
    });
    return true;
}

bool CPollThread::Stop() {
    if (!thread_.joinable()) return false;
    params_->stop.Set();
    bool late = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!ended_.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [this] { return finished_; })) {
            late = true;
            DebugOut("Poll thread still running after %u ms; waiting for it to end\r\n", kStopWaitMs);
            ended_.wait(lock, [this] { return finished_; });
        }
    }
    thread_.join();
    params_ = nullptr;
    return late;
}

bool StartPollThread(CPollThread& thread, PollThreadParams& params) { return thread.Start(params); }

void StopPollThread(CPollThread& thread) { thread.Stop(); }
