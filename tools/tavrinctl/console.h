// The unit session's windows as tavrinctl has them: pages that only hold
// their controls' contents, messages and progress on the terminal.
#pragma once
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/unit_session.h"
#include "params/memory_page.h"

// A page with every control of the parameter tables, set up as the desktop
// program's pages are; it keeps what the codec puts into them so that it can
// be read back.
class ConsolePage : public CMemoryPage {
public:
    ConsolePage();
};

// Errors go to standard error as error lines about `subject` (the file of
// the operation) and mark the run failed; notices and progress go to standard
// output. Texts are escaped: they may name codes from a file.
class ConsoleView : public IUnitView {
public:
    ConsoleView(FILE* out, FILE* err, std::string subject) : out_(out), err_(err), subject_(std::move(subject)) {}

    bool UnitConnected() const override { return true; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
    void EnableActionButtons(bool) override {}
    void SelectSlotTab(int) override {}
    void SetSlotHighlight(int) override {}
    IPage* SimplePage() override { return &page_; }
    IPage* FullPage() override { return nullptr; }
    void ShowPleaseWait(const std::string& text, int progressMax) override;
    void SetPleaseWaitProgress(int position) override;
    void HidePleaseWait() override {}

    bool Failed() const { return failed_; }
    const std::vector<std::string>& Errors() const { return errors_; }

private:
    FILE* out_;
    FILE* err_;
    std::string subject_;
    ConsolePage page_;
    int progressMax_ = -1;
    bool failed_ = false;
    std::vector<std::string> errors_;
};
