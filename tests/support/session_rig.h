// Shared pieces of the session and configuration-file tests: a view that
// records everything it is told, with in-memory pages, and the shared rig with
// a unit session on top.
#pragma once
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/unit_session.h"
#include "link/remote_control.h"
#include "params/codec.h"
#include "params/page.h"
#include "params/param_table.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"
#include "support/recording_page.h"
#include "support/sim_rig.h"

namespace testcfg {

// A page whose controls are the ids of the three parameter tables plus the
// mode radios and the downconverter list.
inline testsupport::RecordingPage MapPage() {
    return testsupport::RecordingPage::WholeUnit({kIdRadioNarrowband, kIdRadioDvbt, kDownconverterControlId});
}

struct Message {
    std::string text, caption;
    MessageIcon icon;
};

class RecordingView : public IUnitView {
public:
    bool UnitConnected() const override { return connected; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    void EnableActionButtons(bool enable) override { buttons.push_back(enable); }
    void SelectSlotTab(int tab) override { selectedTabs.push_back(tab); }
    void SetSlotHighlight(int tab) override { highlights.push_back(tab); }
    IPage* SimplePage() override { return &simple; }
    IPage* FullPage() override { return fullOpen ? &full : nullptr; }
    void ShowPleaseWait(const std::string& text, int progressMax) override {
        pleaseWaitText = text;
        pleaseWaitMax = progressMax;
        ++pleaseWaitShown;
    }
    void SetPleaseWaitProgress(int position) override { progress.push_back(position); }
    void HidePleaseWait() override { ++pleaseWaitHidden; }
    void UnitAddressChanged(int address) override { addresses.push_back(address); }

    bool connected = true;
    bool fullOpen = false;
    testsupport::RecordingPage simple = MapPage(), full = MapPage();
    std::vector<Message> messages;
    std::vector<bool> buttons;
    std::vector<int> selectedTabs, highlights, progress, addresses;
    std::string pleaseWaitText;
    int pleaseWaitMax = 0, pleaseWaitShown = 0, pleaseWaitHidden = 0;
};

// Text of a request frame between its STX and its checksum ("0001wdloa;1;").
inline std::string FrameText(const std::string& frame) {
    if (frame.size() < 3) return frame;
    return frame.substr(1, frame.size() - 3);
}

// The simulated unit, the real link, a session and a recording view. Every
// fixed wait is recorded instead of slept; on the serial line the unit
// restarts at once unless told otherwise.
class UnitRig : public testsupport::SimRig {
public:
    using Transport = testsupport::Transport;

    // `seed` drives the unit's random faults; `serialRestartMs` is how long
    // a unit on the serial line is away after a restart; over TCP every reply
    // comes `latencyMs` after its request.
    explicit UnitRig(bool k840 = false, Transport transport = Transport::Serial, bool oracle = false,
                     uint32_t seed = 1, uint32_t serialRestartMs = 0, uint32_t latencyMs = 0)
        : SimRig(Options(k840, transport, oracle, seed, serialRestartMs, latencyMs)) {
        SetWaiter([this](uint32_t ms) {
            waits.push_back(ms);
            if (ms != 7000 || tcpAddress.empty()) return;
            // The real wait outlasts whatever the unit still had to answer
            // (it may be behind, answering earlier requests), and its restart.
            WaitUntilTaken(link->LastRequest());
            WaitForListener();
        });
        StartUnit();
        EXPECT_TRUE(Open());
        session = std::make_unique<CUnitSession>(*link, state, view);
        SetupPageControls(view.simple, NarrowbandDemodTable);
        SetupPageControls(view.simple, DvbtDemodTable);
        SetupPageControls(view.simple, DecoderTable);
    }
    ~UnitRig() override {
        session.reset();
        StopUnit();
        SetWaiter(nullptr);
    }

    // Reads the unit as the main window does after connecting, then forgets
    // what that recorded.
    void Connect() {
        ASSERT_TRUE(session->ReadUnitConfig(true));
        Forget();
    }
    void Forget() {
        unit->ClearRequests();
        waits.clear();
        view.messages.clear();
        view.buttons.clear();
        view.progress.clear();
    }
    // Request texts (between STX and checksum) taken in by the unit.
    std::vector<std::string> Requests() const {
        std::vector<std::string> out;
        for (const auto& f : unit->Requests()) out.push_back(FrameText(f));
        return out;
    }
    // The requests whose text contains `part`.
    std::vector<std::string> RequestsWith(const std::string& part) const {
        std::vector<std::string> out;
        for (const auto& r : Requests())
            if (r.find(part) != std::string::npos) out.push_back(r);
        return out;
    }

    // Returns once the unit has taken `frame` as its latest request (or after
    // two seconds: a frame that came while it restarted is never taken).
    void WaitUntilTaken(const std::string& frame) {
        for (int tries = 0; tries < 1000; ++tries) {
            const auto taken = unit->Requests();
            if (!taken.empty() && taken.back() == frame) return;
            usleep(2000);
        }
    }
    // Returns once the restarted unit accepts TCP connections again.
    void WaitForListener() {
        for (int tries = 0; tries < 2000; ++tries) {
            if (!unit->IsRestarting()) {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(9999);
                inet_pton(AF_INET, tcpAddress.c_str(), &to.sin_addr);
                const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
                ::close(fd);
                if (ok) return;
            }
            usleep(5000);
        }
        ADD_FAILURE() << "the simulated unit did not listen again";
    }

    RecordingView view;
    UnitState state;   // the values read from the unit, fresh for each rig
    std::unique_ptr<CUnitSession> session;
    std::vector<uint32_t> waits;

private:
    // Over TCP the unit is silent (listener closed) for a moment after a
    // restart; the recorded 7,000 ms wait waits for it to listen again. The
    // link has no window.
    static testsupport::SimRigOptions Options(bool k840, Transport transport, bool oracle, uint32_t seed,
                                              uint32_t serialRestartMs, uint32_t latencyMs) {
        testsupport::SimRigOptions o;
        o.oracle = oracle;
        o.seed = seed;
        o.transport = transport;
        o.k840 = k840;
        o.restartMs = transport == Transport::Tcp ? 100 : serialRestartMs;
        o.linkWindow = false;
        o.latencyMs = latencyMs;
        return o;
    }
};

}  // namespace testcfg
