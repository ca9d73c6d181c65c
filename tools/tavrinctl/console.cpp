#include "tools/tavrinctl/console.h"

#include "params/codec.h"
#include "params/param_table.h"

ConsolePage::ConsolePage() {
    for (ParamEntry* table : {NarrowbandDemodTable, DvbtDemodTable, DecoderTable}) {
        for (ParamEntry* row = table; row->code; ++row) {
            if (row->controlId) ids_.insert(row->controlId);
            if (row->secondaryId) ids_.insert(row->secondaryId);
        }
        SetupPageControls(*this, table);
    }
    ids_.insert(kIdRadioNarrowband);
    ids_.insert(kIdRadioDvbt);
}

std::string ConsolePage::GetText(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? std::string() : it->second.text;
}

int ConsolePage::GetSelection(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? -1 : it->second.selection;
}

uint32_t ConsolePage::GetIp(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? 0 : it->second.ip;
}

bool ConsolePage::IsChecked(int id) const {
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.checked;
}

void ConsoleView::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    if (icon == MessageIcon::Warning || caption == kCaptionError) {
        failed_ = true;
        errors_.push_back(text);
        std::fprintf(err_, "%s\n", text.c_str());
        std::fflush(err_);
    } else {
        std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
    }
}

void ConsoleView::ShowPleaseWait(const std::string& text, int progressMax) {
    progressMax_ = progressMax;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void ConsoleView::SetPleaseWaitProgress(int position) {
    if (progressMax_ >= 0)
        std::fprintf(out_, "Progress %d/%d\n", position, progressMax_);
    else
        std::fprintf(out_, "Progress %d\n", position);
    std::fflush(out_);
}
