// Shared pieces of the session and configuration-file tests: a page made of
// plain maps, a view that records everything it is told, and a rig that puts a
// simulated unit on loopback TCP (or a pseudo-terminal) behind the real link.
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

namespace testcfg {

// A page whose controls are the ids of the three parameter tables plus the
// mode radios and the downconverter list.
class MapPage : public IPage {
public:
    MapPage() {
        for (ParamEntry* table : {NarrowbandDemodTable, DvbtDemodTable, DecoderTable})
            for (ParamEntry* row = table; row->code; ++row) {
                if (row->controlId) ids.insert(row->controlId);
                if (row->secondaryId) ids.insert(row->secondaryId);
            }
        ids.insert({kIdRadioNarrowband, kIdRadioDvbt, kDownconverterControlId});
    }
    bool HasControl(int id) const override { return ids.count(id) != 0; }
    std::string GetText(int id) const override { return Get(texts, id, std::string()); }
    void SetText(int id, const std::string& text) override { texts[id] = text; }
    int GetSelection(int id) const override { return Get(selection, id, -1); }
    void Select(int id, int index) override { selection[id] = index; }
    void AddItem(int id, const std::string& text) override { items[id].push_back(text); }
    uint32_t GetIp(int id) const override { return Get(ips, id, 0u); }
    void SetIp(int id, uint32_t address) override { ips[id] = address; }
    bool IsChecked(int id) const override { return Get(checked, id, false); }
    void Check(int id, bool on) override { checked[id] = on; }
    void Enable(int id, bool on) override { enabled[id] = on; }
    void SetReadOnly(int id, bool on) override { readOnly[id] = on; }
    void Show(int id, bool on) override { shown[id] = on; }
    void PostMsg(uint32_t, uintptr_t, intptr_t) override { ++posted; }

    std::set<int> ids;
    std::map<int, std::string> texts;
    std::map<int, int> selection;
    std::map<int, std::vector<std::string>> items;
    std::map<int, uint32_t> ips;
    std::map<int, bool> checked, enabled, readOnly, shown;
    int posted = 0;

private:
    template <class M, class V>
    static V Get(const M& m, int id, V fallback) {
        auto it = m.find(id);
        return it == m.end() ? fallback : it->second;
    }
};

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
    MapPage simple, full;
    std::vector<Message> messages;
    std::vector<bool> buttons;
    std::vector<int> selectedTabs, highlights, progress, addresses;
    std::string pleaseWaitText;
    int pleaseWaitMax = 0, pleaseWaitShown = 0, pleaseWaitHidden = 0;
};

// A fresh temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavrin-cfg-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Text of a request frame between its STX and its checksum ("0001wdloa;1;").
inline std::string FrameText(const std::string& frame) {
    if (frame.size() < 3) return frame;
    return frame.substr(1, frame.size() - 3);
}

// The simulated unit, the real link, a session and a recording view. Every
// fixed wait is recorded instead of slept; the unit restarts at once.
class UnitRig {
public:
    enum class Transport { Tcp, Serial };

    explicit UnitRig(bool k840 = false, Transport transport = Transport::Serial) : link(nullptr) {
        SetWaiter([this](uint32_t ms) {
            waits.push_back(ms);
            if (ms == 7000 && !ip.empty()) WaitForListener();
        });
        ResetAllParamValues();
        CurrentDemodMode = -1;
        UnitModelFlag = 0;
        sim::SimOptions options;
        options.k840 = k840;
        // Over TCP the unit is silent (listener closed) for a moment after a
        // restart; the recorded 7,000 ms wait waits for it to listen again.
        options.restartMs = transport == Transport::Tcp ? 100 : 0;
        options.drift = false;
        if (transport == Transport::Tcp) {
            std::random_device rd;
            std::mt19937 rng(rd());
            ip = "127." + std::to_string(1 + rng() % 250) + "." + std::to_string(rng() % 250) + "." +
                 std::to_string(2 + rng() % 250);
            options.serial = false;
            options.tcpAddress = ip;
        } else {
            std::filesystem::create_directories(folder.path + "/ports");
            options.ptyLinkPath = folder.path + "/ports/COM1";
            SetProgramFolder(folder.path);
        }
        unit = std::make_unique<sim::SimUnit>(options);
        std::string error;
        started = unit->Start(&error);
        EXPECT_TRUE(started) << error;
        link.closeOnSendError = false;
        link.closeOnReceiveError = false;
        if (transport == Transport::Tcp) {
            link.SelectEthernet(ip);
            EXPECT_EQ(link.ConnectSocket(), 0);
        } else {
            EXPECT_EQ(link.OpenSerialPort(0), kResultOk);
        }
        session = std::make_unique<CUnitSession>(link, view);
        SetupPageControls(view.simple, NarrowbandDemodTable);
        SetupPageControls(view.simple, DvbtDemodTable);
        SetupPageControls(view.simple, DecoderTable);
    }
    ~UnitRig() {
        session.reset();
        unit->Stop();
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

    // Returns once the restarted unit accepts TCP connections again.
    void WaitForListener() {
        for (int tries = 0; tries < 2000; ++tries) {
            if (!unit->IsRestarting()) {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(9999);
                inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
                const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
                ::close(fd);
                if (ok) return;
            }
            usleep(5000);
        }
        ADD_FAILURE() << "the simulated unit did not listen again";
    }

    TempFolder folder;
    std::string ip;
    std::unique_ptr<sim::SimUnit> unit;
    bool started = false;
    CFerritRemoteControl link;
    RecordingView view;
    std::unique_ptr<CUnitSession> session;
    std::vector<uint32_t> waits;
};

}  // namespace testcfg
