// The operator's operations against a simulated unit that keeps line time,
// each beside its floor: what the line (or the network) and the unit allow.
//
//   tavrin_line_bench [--only NAME] [--no-set-save]
//
// Setups: a pseudo-terminal at 9600 and at 115200 baud (--line-rate), TCP with
// 5 ms and 50 ms of latency (--latency-ms); the unit thinks 2 ms per request.
// Operations, on the core's sequences without windows and with the transaction
// log off: the start-up read (probe, slot, mode, the mode's demodulator table
// and the decoder table), one poll cycle (the eleven reads), a configuration
// save and a set save. Each is run once; its floor is counted from what the
// unit took and sent during that run:
//   serial: every byte on the line both ways at 10 bits a byte, TCP: every
//   exchange's latency; plus think time per exchange; plus the fixed waits:
//   7,000 ms after a mode write, 7,000 ms when a mode read finds the mode
//   changed since the last read (the unit restarted), 1,000 ms after a slot load.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/unit_session.h"
#include "bench/bench_args.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "pages/config_ops.h"
#include "params/page.h"
#include "params/poll_run.h"
#include "params/poll_sample.h"
#include "params/unit_state.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kThinkMs = 2;
constexpr uint32_t kModeChangeWaitMs = 7000;
constexpr uint32_t kSlotLoadWaitMs = 1000;
constexpr double kGoal = 1.1;

struct Setup {
    const char* name;
    uint32_t lineRate;    // serial when not 0
    uint32_t latencyMs;   // TCP otherwise
};

const Setup kSetups[] = {
    {"pty 9600", 9600, 0},
    {"pty 115200", 115200, 0},
    {"TCP 5 ms", 0, 5},
    {"TCP 50 ms", 0, 50},
};

// The windows' part, without windows; error boxes are printed and counted.
class BenchView : public IUnitView {
public:
    bool UnitConnected() const override { return true; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon) override {
        if (caption == kCaptionError) {
            ++errors;
            std::fprintf(stderr, "error box: %s\n", text.c_str());
        }
    }
    void EnableActionButtons(bool) override {}
    void SelectSlotTab(int) override {}
    void SetSlotHighlight(int) override {}
    IPage* SimplePage() override { return &page; }
    IPage* FullPage() override { return nullptr; }
    void ApplyModeToPages(int) override {}
    void ShowPleaseWait(const std::string&, int) override {}
    void SetPleaseWaitProgress(int) override {}
    void HidePleaseWait() override {}

    NoControlsPage page;
    int errors = 0;
};

struct Floor {
    uint64_t exchanges = 0;
    uint64_t lineBytes = 0;
    double lineMs = 0;
    double thinkMs = 0;
    uint32_t waitsMs = 0;
    double Total() const { return lineMs + thinkMs + double(waitsMs); }
};

// The fixed waits the requests in `frames` call for. `knownMode` is the mode
// the program last read (-1 none), `unitMode` the unit's at the start.
uint32_t RequiredWaitsMs(const std::vector<std::string>& frames, int knownMode, int unitMode) {
    uint32_t ms = 0;
    for (const std::string& f : frames) {
        if (f.size() < 12) continue;
        const std::string op = f.substr(5, 5);   // after STX and the address: "wgudm"
        if (op == "wgudm") {
            unitMode = std::atoi(f.c_str() + 11);
            ms += kModeChangeWaitMs;
        } else if (op == "wdloa") {
            ms += kSlotLoadWaitMs;
        } else if (op == "rgudm") {
            if (knownMode != -1 && unitMode != knownMode) ms += kModeChangeWaitMs;
            knownMode = unitMode;
        }
    }
    return ms;
}

struct Row {
    std::string setup, operation;
    Floor floor;
    double measuredMs = 0;
    bool ok = false;
};

class Rig {
public:
    Rig(const Setup& setup, const std::string& folder) : setup_(setup), folder_(folder) {}
    ~Rig() {
        session_.reset();
        link_.reset();
        if (unit_) unit_->Stop();
    }

    bool Start() {
        sim::SimOptions options;
        options.drift = false;
        options.thinkMs = kThinkMs;
        options.lineRate = setup_.lineRate;
        options.latencyMs = setup_.latencyMs;
        if (setup_.lineRate != 0) {
            options.ptyLinkPath = folder_ + "/ports/COM1";
        } else {
            options.serial = false;
            options.tcpAddress = RandomBenchAddress();
        }
        unit_ = std::make_unique<sim::SimUnit>(options);
        std::string error;
        if (!unit_->Start(&error)) {
            std::fprintf(stderr, "simulated unit: %s\n", error.c_str());
            return false;
        }
        link_ = std::make_unique<CFerritRemoteControl>(nullptr);
        {
            LinkGuard guard(link_->LinkMutex());
            if (setup_.lineRate != 0) {
                SetProgramFolder(folder_);
                link_->SetBaudRate(setup_.lineRate);
                if (link_->OpenSerialPort(0) != kResultOk) return false;
            } else {
                link_->SetCloseOnErrors(false, false);
                link_->SelectEthernet(unit_->TcpAddress());
                if (link_->ConnectSocket() != 0) return false;
            }
        }
        session_ = std::make_unique<CUnitSession>(*link_, state_, view_);
        return true;
    }

    // Runs `op` once and counts its floor from what the unit took and sent.
    Row Measure(const char* name, const std::function<bool()>& op) {
        Row row{setup_.name, name, {}, 0, false};
        unit_->ClearRequests();
        const sim::SimCounters before = unit_->Counters();
        const int knownMode = state_.demodMode.load();
        const int unitMode = unit_->Mode();
        const int errorsBefore = view_.errors;
        const auto start = Clock::now();
        const bool done = op();
        row.measuredMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const sim::SimCounters after = unit_->Counters();
        const std::vector<std::string> frames = unit_->Requests();
        Floor& f = row.floor;
        f.exchanges = after.replies - before.replies;
        f.lineBytes = (after.serialBytesIn - before.serialBytesIn) + (after.serialBytesOut - before.serialBytesOut);
        if (setup_.lineRate != 0)
            f.lineMs = double(f.lineBytes) * 10.0 * 1000.0 / double(setup_.lineRate);
        else
            f.lineMs = double(f.exchanges) * double(setup_.latencyMs);
        f.thinkMs = double(f.exchanges) * kThinkMs;
        f.waitsMs = RequiredWaitsMs(frames, knownMode, unitMode);
        // Every request answered, nothing refused.
        row.ok = done && view_.errors == errorsBefore && frames.size() == f.exchanges;
        return row;
    }

    Row StartUpRead() {
        return Measure("start-up read", [&] {
            int address = 0;
            return session_->ProbeAddress(address) == kResultOk && session_->ReadUnitConfig(true) &&
                   session_->unansweredRows == 0;
        });
    }
    Row PollCycle() {
        return Measure("poll cycle", [&] {
            PollRun run;
            run.unitAddress = session_->unitAddress;
            run.link = link_.get();
            PollSample sample;
            return RunPollPlan(run, sample) == 11 && sample.connected && !sample.shifted;
        });
    }
    Row ConfigSave() {
        const std::string path = folder_ + "/config.cfg";
        Row row = Measure("configuration save", [&] { return SaveConfigToFile(*session_, path); });
        ::unlink(path.c_str());
        return row;
    }
    Row SetSave() {
        const std::string path = folder_ + "/set.cfg";
        Row row = Measure("set save", [&] { return SaveConfigSet(*session_, path); });
        ::unlink(path.c_str());
        return row;
    }

private:
    Setup setup_;
    std::string folder_;
    std::unique_ptr<sim::SimUnit> unit_;
    std::unique_ptr<CFerritRemoteControl> link_;
    UnitState state_;
    BenchView view_;
    std::unique_ptr<CUnitSession> session_;
};

void PrintRow(const Row& r, bool serial) {
    const double floor = r.floor.Total();
    const double ratio = floor > 0 ? r.measuredMs / floor : 0;
    char bytes[32] = "-";
    if (serial) std::snprintf(bytes, sizeof bytes, "%llu", static_cast<unsigned long long>(r.floor.lineBytes));
    std::printf("| %s | %s | %llu | %s | %.1f | %.0f | %u | %.1f | %.1f | %+.1f | %.3f | %s |\n", r.setup.c_str(),
                r.operation.c_str(), static_cast<unsigned long long>(r.floor.exchanges), bytes, r.floor.lineMs,
                r.floor.thinkMs, r.floor.waitsMs, floor, r.measuredMs, r.measuredMs - floor, ratio,
                !r.ok ? "FAILED" : (ratio <= kGoal ? "ok" : "above 1.1"));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string only;
    bool setSave = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (a == "--no-set-save") {
            setSave = false;
        } else {
            std::fprintf(stderr, "usage: tavrin_line_bench [--only SETUP] [--no-set-save]\n");
            return 2;
        }
    }
    std::printf("| Setup | Operation | Exchanges | Line bytes | Line or latency ms | Think ms | Waits ms | "
                "Floor ms | Measured ms | Added ms | Ratio | Goal |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool allOk = true;
    for (const Setup& setup : kSetups) {
        if (!only.empty() && only != setup.name) continue;
        const std::string folder = MakeBenchFolder("tavrin_line");
        if (folder.empty()) return 1;
        {
            Rig rig(setup, folder);
            if (!rig.Start()) return 1;
            const bool serial = setup.lineRate != 0;
            auto report = [&](const Row& r) {
                PrintRow(r, serial);
                allOk = allOk && r.ok;
            };
            report(rig.StartUpRead());
            report(rig.PollCycle());
            report(rig.ConfigSave());
            if (setSave) report(rig.SetSave());
        }
        ::rmdir((folder + "/ports").c_str());
        ::rmdir(folder.c_str());
    }
    SetProgramFolder(ExecutableFolder());
    return allOk ? 0 : 1;
}
