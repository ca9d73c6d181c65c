#include "pages/page_form.h"

#include <cstring>

#include "platform/numbers.h"

const ParamEntry* PageRow(const std::string& code, int mode) {
    if (code.size() != 4) return nullptr;
    if (const ParamEntry* row = FindParam(DecoderTable, code.c_str())) return row;
    return FindParam(DemodTableForMode(mode), code.c_str());
}

bool PageFormNeedsMode(const std::string& code) {
    const ParamEntry* narrow = PageRow(code, 0);
    const ParamEntry* dvbt = PageRow(code, 1);
    return narrow && dvbt && narrow->options != dvbt->options;
}

std::string PageUnit(const char* code) {
    const char* label = ParamLabel(code);
    if (!label) return {};
    const size_t length = std::strlen(label);
    const char* open = std::strrchr(label, '(');
    if (!open || length < 2 || label[length - 1] != ')') return {};
    return std::string(open + 1, label + length - 1);
}

std::string ShownPageValue(const UnitState& unit, const ParamEntry& row, const std::string& reply) {
    const ParamValue v = ReadParamValue(unit, row);
    switch (row.kind) {
    case ParamKind::Text: return v.has ? v.text : std::string();
    case ParamKind::OptionList:
    case ParamKind::OptionText: {
        const char* text = v.has ? OptionTextAtComboIndex(row.options, v.number) : nullptr;
        return text ? text : std::string();
    }
    case ParamKind::IpAddress: return v.has ? FormatIp(uint32_t(v.number)) : std::string();
    case ParamKind::RadioPair: return v.has ? InputSelectionText(v.number) : std::string();
    case ParamKind::ModelToken: return reply;
    }
    return {};
}

namespace {

// The service name, the software and FPGA versions (the latter shown in
// hexadecimal), the serial number and the model token.
constexpr const char* kTextValueCodes[] = {"edef", "gsof", "gfpg", "gser", "gbty"};

}  // namespace

bool IsTextValue(const std::string& code) {
    for (const char* text : kTextValueCodes)
        if (code == text) return true;
    return false;
}

namespace {

// "a.b.c.d" with four numbers from 0 to 255, as the address control takes it.
bool ParseFullIp(const std::string& text, uint32_t& address) {
    address = 0;
    size_t begin = 0;
    for (int field = 0; field < 4; ++field) {
        const size_t end = field < 3 ? text.find('.', begin) : text.size();
        if (end == std::string::npos || end == begin || end - begin > 3) return false;
        const std::optional<int64_t> n = ParseInteger(std::string_view(text).substr(begin, end - begin));
        if (!n || *n < 0 || *n > 255) return false;
        address = (address << 8) | uint32_t(*n);
        begin = end + 1;
    }
    return true;
}

std::string OptionChoices(const char* const* options) {
    std::string list;
    for (int i = 0; options && options[i]; ++i) {
        if (IsPlaceholderOption(options[i])) continue;
        if (!list.empty()) list += ", ";
        list += options[i];
    }
    return list;
}

}  // namespace

TypedInput PageFormInput(const ParamEntry& row, const std::string& typed) {
    if (!row.writable) return {true, "the pages show this value but do not change it"};
    switch (row.kind) {
    case ParamKind::Text: return TextRowInput(row, typed);
    case ParamKind::OptionList:
        for (int index = 0; const char* text = OptionTextAtComboIndex(row.options, index); ++index)
            if (typed == text) return {false, std::to_string(OptionNumberFromComboIndex(row.options, index))};
        return {true, "the page offers " + OptionChoices(row.options)};
    case ParamKind::IpAddress: {
        uint32_t address = 0;
        if (!ParseFullIp(typed, address)) return {true, kInvalidIpMessage};
        return {false, FormatIp(address)};
    }
    case ParamKind::RadioPair:
        if (typed == kRfInputText) return {false, std::to_string(kRfInputMode)};
        if (typed == kChainingInputText) return {false, std::to_string(kChainingInputMode)};
        return {true, std::string("the page offers ") + kRfInputText + ", " + kChainingInputText};
    case ParamKind::OptionText:
    case ParamKind::ModelToken: break;
    }
    return {true, "the pages show this value but do not change it"};
}
