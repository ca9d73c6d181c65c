#include "tools/tavrinctl/console.h"

#include "params/codec.h"
#include "params/param_table.h"
#include "platform/std_streams.h"
#include "tools/tavrinctl/output.h"

ConsolePage::ConsolePage() {
    AddUnitControls();
    controls[kIdRadioNarrowband];
    controls[kIdRadioDvbt];
    for (const ParamEntry* table : {NarrowbandDemodTable, DvbtDemodTable, DecoderTable}) {
        SetupPageControls(*this, table);
    }
}

bool ConsoleView::ProgressWanted(FILE* err, bool quiet) { return !quiet && IsTerminal(err); }

void ConsoleView::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    EndProgressLine();
    if (icon == MessageIcon::Warning || caption == kCaptionError) {
        failed_ = true;
        errors_.push_back(text);
        PrintError(err_, subject_, text);
    } else {
        std::fprintf(out_, "%s\n", TerminalText(text).c_str());
        std::fflush(out_);
    }
}

void ConsoleView::ShowPleaseWait(const std::string& text, int progressMax) {
    EndProgressLine();
    progressMax_ = progressMax;
    progressText_ = TerminalText(text);
    if (!showProgress_) return;
    std::fprintf(err_, "%s", progressText_.c_str());
    std::fflush(err_);
    progressLineOpen_ = true;
}

void ConsoleView::SetPleaseWaitProgress(int position) {
    if (!showProgress_) return;
    const std::string count =
        progressMax_ >= 0 ? std::to_string(position) + "/" + std::to_string(progressMax_) : std::to_string(position);
    // The line is written whole each time, so that nothing of a longer one
    // before it is left over.
    std::fprintf(err_, "\r%s %s", progressText_.c_str(), count.c_str());
    std::fflush(err_);
    progressLineOpen_ = true;
}

void ConsoleView::EndProgressLine() {
    if (!progressLineOpen_) return;
    std::fputc('\n', err_);
    std::fflush(err_);
    progressLineOpen_ = false;
}
