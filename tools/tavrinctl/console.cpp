#include "tools/tavrinctl/console.h"

#include "params/codec.h"
#include "params/param_table.h"
#include "tools/tavrinctl/output.h"

ConsolePage::ConsolePage() {
    AddUnitControls();
    controls[kIdRadioNarrowband];
    controls[kIdRadioDvbt];
    for (const ParamEntry* table : {NarrowbandDemodTable, DvbtDemodTable, DecoderTable}) {
        SetupPageControls(*this, table);
    }
}

void ConsoleView::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
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
    progressMax_ = progressMax;
    std::fprintf(out_, "%s\n", TerminalText(text).c_str());
    std::fflush(out_);
}

void ConsoleView::SetPleaseWaitProgress(int position) {
    if (progressMax_ >= 0)
        std::fprintf(out_, "Progress %d/%d\n", position, progressMax_);
    else
        std::fprintf(out_, "Progress %d\n", position);
    std::fflush(out_);
}
