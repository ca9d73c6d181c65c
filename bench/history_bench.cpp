// tavrin_history_bench: the signal history window with a full day of samples.
//
//   tavrin_history_bench [--rounds R] [--shot FILE]
//
// Fills a CSignalHistory with 172,800 poll cycles at 500 ms (24 hours, eight
// series and three lock bands), opens the history window offscreen and prints
// the median time of a full refresh (read the span from the ring, reduce it to
// the columns, repaint at once) for the 24 h and the 1 min span, the memory
// the day of samples adds over an empty history, and the median time to hand
// one poll sample to the history with and without a CSV recording. --shot saves
// a picture of the window showing the last ten minutes.
#include <QApplication>
#include <QComboBox>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/signal_history.h"
#include "params/ui/CHistoryChart.h"
#include "params/ui/CSignalHistoryDlg.h"
#include "platform/clock.h"
#include "platform/numbers.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kIntervalMs = 500;
constexpr size_t kDay = 172'800;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

std::string Text(double value) { return FormatFixed(value, 1); }

// Cycle `i` of a day that ends now: SNRs wandering around 15..30 dB, levels
// around -60 dBm, the demodulator lock lost now and then, and in the last ten
// minutes one lost lock and one stretch without a connection.
PollSample MakeSample(size_t i, int64_t startMs) {
    PollSample s;
    s.timeMs = startMs + int64_t(i) * kIntervalMs;
    const size_t fromEnd = kDay - 1 - i;
    const bool silent = fromEnd >= 240 * 2 && fromEnd < 300 * 2;       // 4 to 5 min ago
    const bool unlocked = (fromEnd >= 420 * 2 && fromEnd < 450 * 2) || i % 9000 < 40;
    s.connected = !silent;
    if (silent) return s;
    const double t = double(i) * 0.004;
    s.values[kColDemodLock] = unlocked ? "0" : "1";
    s.values[kColPacketErrors] = unlocked ? "12" : "0";
    s.values[kColDecoderLock] = unlocked ? "0" : "1";
    for (int input = 0; input < 4; ++input) {
        const double snr = unlocked ? 3.0 + input : 22.0 + 4.0 * std::sin(t + input) - 2.5 * input + 0.6 * std::sin(t * 17 + input);
        s.values[size_t(kColSnrA + input)] = Text(snr);
        s.values[size_t(kColLevelA + input)] = Text(-58.0 - 3.0 * input + 2.0 * std::sin(t * 0.7 + input));
    }
    return s;
}

// The median time of `rounds` full refreshes of `dlg` at span `index`.
double RefreshMs(CSignalHistoryDlg& dlg, int index, int rounds) {
    dlg.SetSpan(index);
    dlg.Refresh(true);
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        dlg.Refresh(true);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return Median(times);
}

// The median time of handing one sample to `history`, in ms.
std::vector<double> AppendTimes(CSignalHistory& history, int64_t startMs, size_t count) {
    std::vector<double> times;
    times.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const PollSample s = MakeSample(i, startMs);
        const auto t0 = Clock::now();
        history.OnPollSample(s);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 31;
    std::string shot;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        if (arg == "--shot") shot = argv[i + 1];
    }
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The window on an empty history: the memory to compare with.
    CSignalHistory history;
    CSignalHistoryDlg dlg(history);
    dlg.resize(1280, 800);
    dlg.show();
    QApplication::processEvents();
    dlg.Refresh(true);
    (void)dlg.grab();
    const long emptyKb = RssKb();

    // A day of samples.
    const int64_t startMs = WallClockMs() - int64_t(kDay - 1) * kIntervalMs;
    history.NoteConnected("COM1");
    for (size_t i = 0; i < kDay; ++i) history.OnPollSample(MakeSample(i, startMs));
    const size_t held = history.Size();
    dlg.RefreshEvents();
    const double day = RefreshMs(dlg, 4, rounds);
    const double minute = RefreshMs(dlg, 0, rounds);
    (void)dlg.grab();
    const long fullKb = RssKb();
    if (!shot.empty()) {
        dlg.SetSpan(1);
        dlg.Refresh(true);
        dlg.grab().save(QString::fromStdString(shot));
    }

    // One sample into a ring (already full, as after a day) and into a CSV file.
    const std::vector<double> ringOnly = AppendTimes(history, startMs, 20'000);
    const std::string csv = "/tmp/tavrin_history_bench.csv";
    std::string error;
    if (!history.StartRecording(csv, error)) {
        std::fprintf(stderr, "cannot record to %s: %s\n", csv.c_str(), error.c_str());
        return 1;
    }
    const std::vector<double> recording = AppendTimes(history, startMs, 20'000);
    history.StopRecording();
    std::remove(csv.c_str());

    std::printf("samples in the history           %zu (%zu bytes of points)\n", held, held * sizeof(HistoryPoint));
    std::printf("refresh, 24 h span (median)      %.2f ms   target < 16 ms\n", day);
    std::printf("refresh, 1 min span (median)     %.2f ms   target < 16 ms\n", minute);
    std::printf("memory over an empty history     %.1f MB   target <= 40 MB\n", double(fullKb - emptyKb) / 1024.0);
    std::printf("append to the ring (median/p99)  %.4f / %.4f ms   target < 0.1 ms\n", Median(ringOnly),
                Percentile(ringOnly, 0.99));
    std::printf("append to ring and CSV (med/p99) %.4f / %.4f ms   target < 0.1 ms\n", Median(recording),
                Percentile(recording, 0.99));
    return 0;
}
