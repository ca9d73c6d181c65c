// The poll cycle and the thread that repeats it.
#include "params/poll_thread.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "params/codec.h"
#include "params/param_table.h"
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
        if (params_.link != nullptr && !params_.link->IsConnected()) {
            // A serial device that vanished is looked for once per cycle.
            std::lock_guard<std::recursive_mutex> gate(PollGateLock);
            params_.link->ReopenLostPort();
        }
        if (params_.link != nullptr && params_.link->IsConnected()) {
            if (ReadSetting(params_.pollingEnabled) != 0 && address_ != 0) RunItems();
            if (exchanges_ == 0) KeepAlive();
        }
        sample_.timeMs = WallClockMs();
        if (params_.sampleSink != nullptr) params_.sampleSink->OnPollSample(sample_);
        // With the link closed nothing was sent and nothing is told.
        if (exchanges_ > 0) {
            report_.exchanged = true;
            report_.answered = sample_.connected;
            Post(WM_POLL_CYCLE_DONE, report_.Pack(), 0);
        }
        return exchanges_;
    }

private:
    bool ItemOn(PollItem item) const {
        return params_.pollItemFlags != nullptr && ReadSetting(params_.pollItemFlags + item) != 0;
    }
    bool Stopping() const { return params_.stop.IsSet(); }
    void Reading(PollItem item) { report_.itemsRead = static_cast<uint8_t>(report_.itemsRead | (1u << item)); }

    // One exchange with PollGateLock and then LinkLock held around it.
    template <typename Exchanger>
    ResultCode Gated(Exchanger exchange) {
        ResultCode result;
        {
            std::lock_guard<std::recursive_mutex> gate(PollGateLock);
            result = exchange();
        }
        ++exchanges_;
        return result;
    }
    ResultCode Exchange(const std::string& request, std::string& reply) {
        return Gated([&] { return ExchangeLocked(*params_.link, request, &reply); });
    }
    // A value read: only a '1' reply with a non-empty field carries a value.
    // Any accepted reply, even a refusal, shows that the unit answers.
    bool Read(const char* code, std::string& reply) {
        const ResultCode result = Gated([&] { return ReadValueLocked(*params_.link, address_, code, reply); });
        if (result == kResultOk || result == kUnitRefused) sample_.connected = true;
        if (result != kResultOk) return false;
        const int column = SampleColumnOfCode(code);
        if (column >= 0) sample_.values[column] = reply;
        return true;
    }

    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
        if (params_.window != nullptr) params_.window->PostMsg(msg, wParam, lParam);
    }
    void PostRow(uint32_t msg, uintptr_t wParam, const ParamEntry* row) {
        if (params_.window != nullptr) params_.window->PostRowMsg(msg, wParam, row);
    }
    void PostUpdated(const ParamEntry* row, uintptr_t tableKind) { PostRow(WM_PARAM_UPDATED, tableKind, row); }
    static intptr_t Icon(bool green) { return green ? kIconGreen : kIconRed; }

    // Stores a reply in the live demodulator row of that code (or the given row).
    ParamEntry* Store(ParamEntry* table, const char* code, std::string& reply) {
        ParamEntry* row = FindParam(table, code);
        if (row != nullptr) StoreReplyValue(reply, *row);
        return row;
    }

    void RunItems() {
        if (ItemOn(PollItemDemodLock)) {
            Reading(PollItemDemodLock);
            std::string reply;
            if (Read("1loc", reply)) {
                state_.lockValue = static_cast<int>(DecimalValue(reply));
                ParamEntry* row = Store(LiveDemodTable(), "1loc", reply);
                Post(WM_LAMP_STATE, kLampDemodLock, Icon(state_.lockValue == 1));
                if (row != nullptr) PostUpdated(row, 0);
                Post(WM_UNIT_ALIVE, 0, 0);
            }
            if (Stopping()) return;
            if (Read("1pkt", reply)) {
                const int64_t packetErrors = DecimalValue(reply);
                ParamEntry* row = Store(LiveDemodTable(), "1pkt", reply);
                Post(WM_LAMP_STATE, kLampReception, Icon(state_.lockValue == 1 && packetErrors == 0));
                if (row != nullptr) PostUpdated(row, 0);
                Post(WM_UNIT_ALIVE, 0, 0);
            }
            if (Stopping()) return;
        }
        if (ItemOn(PollItemDecoderLock)) {
            Reading(PollItemDecoderLock);
            std::string reply;
            if (Read("eloc", reply)) {
                const bool locked = DecimalValue(reply) == 1;
                ParamEntry* row = Store(DecoderTable, "eloc", reply);
                Post(WM_LAMP_STATE, kLampDecoderLock, Icon(locked));
                if (row != nullptr) PostUpdated(row, 1);
                Post(WM_UNIT_ALIVE, 0, 0);
            }
            if (Stopping()) return;
        }
        if (ItemOn(PollItemSnr)) {
            Reading(PollItemSnr);
            // A stop noticed after an SNR exchange skips the rest of the SNR
            // values but not the levels.
            for (ParamEntry* graphRow = SnrGraphList; graphRow->code != nullptr; ++graphRow) {
                Sample(*graphRow);
                if (Stopping()) break;
            }
        }
        if (ItemOn(PollItemLevels)) {
            Reading(PollItemLevels);
            for (ParamEntry* graphRow = LevelGraphList; graphRow->code != nullptr; ++graphRow) {
                Sample(*graphRow);
                if (Stopping()) return;
            }
        }
    }

    void Sample(ParamEntry& graphRow) {
        std::string reply;
        if (!Read(graphRow.code, reply)) return;
        ParamEntry* row = Store(LiveDemodTable(), graphRow.code, reply);
        if (row != nullptr) PostUpdated(row, 0);
        Post(WM_UNIT_ALIVE, 0, 0);
        {
            std::lock_guard<std::mutex> guard(graphRow.lock);
            graphRow.value.has = true;
            graphRow.value.text = reply;
        }
        PostRow(WM_GRAPH_SAMPLE, 0, &graphRow);
    }

    void KeepAlive() {
        const std::string request = address_ == 0 ? AnyUnitProbeRequest() : UnitAddressReadRequest(address_);
        std::string reply;
        // Any accepted reply, even a refusal, shows that the unit answers.
        const ResultCode result = Exchange(request, reply);
        if (result == kResultOk || result == kUnitRefused) {
            sample_.connected = true;
            Post(WM_UNIT_ALIVE, 0, 0);
        }
    }

    PollThreadParams& params_;
    PollCycleState& state_;
    PollSample& sample_;
    const int32_t address_;
    int exchanges_ = 0;
    PollCycleReport report_;
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
