// Shared by the fault tests: temporary folders, a window that records what the
// link and the poll thread tell it, the operator view of the unit session, and
// the processor time of this process.
#pragma once
#include "support/loopback.h"
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/unit_session.h"
#include "link/messages.h"

// A fresh folder under $TMPDIR (or /tmp), removed with its contents at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A main window as the core sees it: records every message, from any thread.
class RecordingWindow : public IMessageTarget {
public:
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    void PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry*) override { PostMsg(msg, wParam, 0); }

    int Count(uint32_t msg) const;
    void Clear();
    // Waits (up to `limit`) until `msg` has been received `count` times in all.
    bool WaitFor(uint32_t msg, int count, std::chrono::milliseconds limit);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint32_t> messages_;
};

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
