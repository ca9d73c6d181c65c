// Shared by the fault tests: temporary folders, a window that records what the
// link and the poll thread tell it, the operator view of the unit session, and
// the processor time of this process.
#pragma once
#include "support/loopback.h"
#include "support/recording_target.h"
#include "support/temp_folder.h"
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/unit_session.h"
#include "link/unit_events.h"

// A fresh folder removed at the end, and a window that records every message.
using testsupport::TempFolder;
using RecordingWindow = testsupport::RecordingTarget;
using testsupport::Ev;

// The windows of the unit session: connected, pages absent, messages recorded.
class RecordingView : public IUnitView {
public:
    bool UnitConnected() const override { return connected; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon) override {
        messages.push_back(caption + ": " + text);
    }
    void EnableActionButtons(bool) override {}
    void SelectSlotTab(int) override {}
    void SetSlotHighlight(int) override {}
    IPage* SimplePage() override { return nullptr; }
    IPage* FullPage() override { return nullptr; }
    void ShowPleaseWait(const std::string&, int) override {}
    void SetPleaseWaitProgress(int) override {}
    void HidePleaseWait() override {}
    std::string LastMessage() const { return messages.empty() ? std::string() : messages.back(); }

    bool connected = true;
    std::vector<std::string> messages;
};

// Processor time (user + system) this process has used so far.
std::chrono::microseconds ProcessCpuTime();

using testsupport::RandomLoopbackAddress;
