// watch: the poll cycle again and again, one line (or one JSON object) per
// cycle on standard output and, when asked, the same CSV recording as the
// desktop program. Ctrl+C or SIGTERM ends it after the row under way.
#include <atomic>
#include <functional>
#include <cstdio>
#include <string>
#include <thread>

#include "app/operator_texts.h"
#include "link/unit_events.h"
#include "params/csv_recorder.h"
#include "params/poll_sample.h"
#include "params/poll_thread.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/numbers.h"
#include "platform/stop_signals.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/output.h"

namespace {

// SIGINT and SIGTERM (Ctrl+C on Windows) are taken by a thread of their own,
// which waits on the stop signals' descriptor and sets the stop flag: a
// signal handler could not wake the pause safely.
class SignalStop {
public:
    explicit SignalStop(StopFlag& flag) : flag_(flag) {
        const int stop = StopSignalDescriptor();
        if (stop < 0 || !MakeSocketPair(wake_)) return;
        thread_ = std::thread([this, stop] {
            Waitable items[2] = {{SocketHandle(stop)}, {wake_[0]}};
            while (WaitFor(items, 2, -1) >= 0 && !items[1].ready) {
                if (items[0].ready && TakeStopSignal(stop) != 0) {
                    flag_.Set();
                    return;
                }
            }
        });
    }
    ~SignalStop() {
        // Wakes the thread if no signal came; one arriving later finds the
        // run over and changes nothing.
        if (thread_.joinable()) {
            const char wake = 1;
            SendNow(wake_[1], &wake, 1);
            thread_.join();
        }
        CloseSocket(wake_[0]);
        CloseSocket(wake_[1]);
    }
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

private:
    StopFlag& flag_;
    SocketHandle wake_[2] = {kNoSocket, kNoSocket};
    std::thread thread_;
};

std::string Shown(const std::string& value) { return value.empty() ? "-" : TerminalText(value); }

std::string SampleLine(const PollSample& sample) {
    const auto& v = sample.values;
    const Lamps lamps = SampleLamps(sample);
    std::string line = FormatUtcMs(sample.timeMs);
    line += sample.connected ? "  " : "  no answer  ";
    line += std::string("demod lock ") + LampName(lamps.demodLock) + ", reception " + LampName(lamps.reception) +
            ", decoder lock " + LampName(lamps.decoderLock) + "  SNR A-D (dB)";
    for (int c = kColSnrA; c <= kColSnrD; ++c) line += " " + Shown(v[c]);
    line += "  levels A-D (dBm)";
    for (int c = kColLevelA; c <= kColLevelD; ++c) line += " " + Shown(v[c]);
    return line;
}

}  // namespace

int RunPollCycles(ToolContext& tool, const std::function<bool(const PollSample&, int64_t steadyMs)>& each) {
    const WatchOptions& watch = tool.options.watch;
    uint8_t pollingEnabled = 1;
    uint8_t items[PollItemCount] = {1, 1, 1, 1};
    PollThreadParams params;
    params.link = &tool.link;
    params.unit = &tool.unit;
    params.unitAddress = tool.address;
    params.pollingEnabled = &pollingEnabled;
    params.pollItemFlags = items;
    // A signal ends the exchange under way and the cycle with it; the cycle
    // is still handed on, with what it brought.
    const SignalStop signals(params.stop);

    PollCycleState state;
    for (long cycle = 1;; ++cycle) {
        PollSample sample;
        RunPollCycle(params, state, &sample);
        if (!each(sample, int64_t(TickMs()))) return kExitFailure;
        if (watch.count > 0 && cycle >= watch.count) return kExitSuccess;
        if (params.stop.PauseFor(watch.intervalMs)) return kExitSuccess;
    }
}

bool FlushLine(ToolContext& tool, const std::string& line) {
    std::fprintf(tool.out, "%s\n", line.c_str());
    // Lines nobody can read end the run (main() says why).
    return std::fflush(tool.out) == 0 && !std::ferror(tool.out);
}

int RunWatch(ToolContext& tool) {
    const WatchOptions& watch = tool.options.watch;
    CCsvRecorder recorder;
    std::string error;
    if (!watch.csvFile.empty() && !recorder.Start(watch.csvFile, error)) {
        PrintError(tool.err, watch.csvFile, kTextCannotWriteFile, error);
        return kExitFailure;
    }
    const int status = RunPollCycles(tool, [&](const PollSample& sample, int64_t) {
        const std::string line = tool.options.json ? JsonText(PollSampleJson(sample)) : SampleLine(sample);
        if (!FlushLine(tool, line)) return false;
        if (recorder.IsRecording() && !recorder.Append(sample, error)) {
            PrintError(tool.err, watch.csvFile, "recording stopped", error);
            return false;
        }
        return true;
    });
    recorder.Stop();
    return status;
}
