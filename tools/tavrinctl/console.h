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
// the operation) and mark the run failed; notices go to standard output.
// Progress ("Please wait ... 3/18") is one line on standard error, rewritten
// in place, and only when `showProgress` (a terminal, no --quiet): standard
// output stays the operation's result. Texts are escaped: they may name codes
// from a file.
class ConsoleView : public IUnitView {
public:
    ConsoleView(FILE* out, FILE* err, std::string subject, bool showProgress)
        : out_(out), err_(err), subject_(std::move(subject)), showProgress_(showProgress) {}
    ~ConsoleView() override { EndProgressLine(); }
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    bool UnitConnected() const override { return true; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
    void EnableActionButtons(bool) override {}
    void SelectSlotTab(int) override {}
    void SetSlotHighlight(int) override {}
    IPage* SimplePage() override { return &page_; }
    IPage* FullPage() override { return nullptr; }
    void ShowPleaseWait(const std::string& text, int progressMax) override;
    void SetPleaseWaitProgress(int position) override;
    void HidePleaseWait() override { EndProgressLine(); }

    bool Failed() const { return failed_; }
    const std::vector<std::string>& Errors() const { return errors_; }

    // Whether progress is shown when standard error is `err`: a terminal,
    // and no --quiet.
    static bool ProgressWanted(FILE* err, bool quiet);

private:
    void EndProgressLine();

    FILE* out_;
    FILE* err_;
    std::string subject_;
    bool showProgress_;
    ConsolePage page_;
    std::string progressText_;
    bool progressLineOpen_ = false;
    int progressMax_ = -1;
    bool failed_ = false;
    std::vector<std::string> errors_;
};
