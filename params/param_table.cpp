// The parameter tables, row for row, and the lookups that walk them.
#include "params/param_table.h"

#include <cstring>

namespace {

using K = ParamKind;
namespace F = ParamFlags;
constexpr const char* E = kEmptyOption;

// Option lists (a placeholder marks a number the unit does not use on the row).
const char* const kLowHigh[] = {"Low", "High", nullptr};
const char* const kNarrowWidth[] = {E, E, E, "2.5MHz", "1.25MHz", "625kHz", nullptr};
const char* const kDvbtWidth[] = {"8MHz", "7MHz", "6MHz", nullptr};
const char* const kNarrowGuard[] = {E, "1/16", "1/8", nullptr};
const char* const kDvbtGuard[] = {"1/32", "1/16", "1/8", "1/4", nullptr};
const char* const kNarrowMode[] = {"QPSK", "16QAM", "BPSK", "8PSK", nullptr};
const char* const kDvbtMode[] = {"QPSK", "16QAM", "64QAM", nullptr};
const char* const kNarrowFec[] = {"1/2", "2/3", "1/3", nullptr};
const char* const kDvbtFec[] = {"1/2", "2/3", "3/4", "5/6", "7/8", nullptr};
const char* const kPolarity[] = {"Normal", "Inverted", nullptr};
const char* const kLock[] = {"Not locked", "Locked", nullptr};

const char* const kOffOn[] = {"Off", "On", nullptr};
const char* const kBaudRates[] = {"300",  "600",   "1200",  "2400",  "4800",
                                  "9600", "19200", "38400", "57600", "115200", nullptr};
const char* const kParity[] = {"None", "Even", "Odd", nullptr};
const char* const kDataMode[] = {"None", "Mode 1", "Mode 2", nullptr};
const char* const kDataWidth[] = {"8 bit", "7 bit", nullptr};
const char* const kLineStandard[] = {"625", "525", nullptr};
const char* const kNtscMode[] = {E, "NTSC", "NTSC no ped", nullptr};
const char* const kDescrambling[] = {"Off",       "ABS",        E,           E,
                                     "AES128",    "AES128+",    "AES256",    "AES256+",
                                     "Tessel128", "Tessel128+", "Tessel256", "Tessel256+",
                                     nullptr};
const char* const kNoYes[] = {"No", "Yes", nullptr};
const char* const kOsd[] = {"Off", "Input A", "Input B", "Input C", "Input D", nullptr};
const char* const kOsdPage[] = {"Original",         "Input Status",   "RF Advanced",
                                "Engineering Data", "Frequency Scan", "GPS Overlay", nullptr};
const char* const kChainSource[] = {"Demod", "Chaining input", nullptr};
const char* const kChainScrambling[] = {"Pre-descrambling", "Post-descrambling", nullptr};

struct LabelRow {
    const char* code;
    const char* label;
};
const LabelRow kLabels[] = {
    {"1los", "Down converter LO side"},
    {"1dco", "Down converter LO (MHz)"},
    {"1ipf", "Input frequency (MHz)"},
    {"1wid", "OFDM bandwidth"},
    {"1gua", "OFDM guard interval"},
    {"1mod", "OFDM mode"},
    {"1fec", "OFDM FEC rate"},
    {"1pol", "OFDM polarity"},
    {"1snr", "Input A SNR"},
    {"1mer", "Input B SNR"},
    {"1cer", "Input C SNR"},
    {"1dnr", "Input D SNR"},
    {"1pre", "BER pre-errors"},
    {"1pos", "BER post-errors"},
    {"1pkt", "Packet errors"},
    {"1ina", "Input A level"},
    {"1inb", "Input B level"},
    {"1inc", "Input C level"},
    {"1ind", "Input D level"},
    {"1loc", "Demod lock status"},
    {"edef", "Service name"},
    {"tdat", "Data"},
    {"tbau", "Data baud rate"},
    {"tpar", "Data parity"},
    {"ttyp", "Data mode"},
    {"twid", "Data width"},
    {"elin", "Input line standard"},
    {"epwr", "Power up line standard"},
    {"e525", "NTSC mode"},
    {"eser", "Service"},
    {"efai", "Blue screen on fail"},
    {"eloc", "Decoder lock status"},
    {"edeb", "MPEG4 deblocking filter"},
    {"zdes", "Descrambling"},
    {"glnb", "LNB power"},
    {"gosd", "On screen display"},
    {"gosp", "OSD page"},
    {"gost", "OSD timeout (s)"},
    {"gsma", "Scan range max (GHz)"},
    {"gsmi", "Scan range min (GHz)"},
    {"gsre", "Scan resolution (MHz)"},
    {"gsof", "Software version"},
    {"gfpg", "FPGA version"},
    {"gser", "Serial number"},
    {"dlas", "Current config"},
    {"gmod", "RF input / Chaining input"},
    {"gcha", "Chaining output source"},
    {"gch2", "Chaining output scrambling"},
};

// Codes are four characters and a terminator: compared as one word, the way
// every lookup of an item read from the unit or a file does it many times.
uint32_t CodeWord(const char* code) {
    uint32_t word;
    std::memcpy(&word, code, 4);
    return word;
}

bool SameCode(const char* a, const char* b) { return CodeWord(a) == CodeWord(b) && a[4] == b[4]; }

}  // namespace

#define DEMOD_TABLE(base, width, guard, mode, fec)                                              \
    {"1los", 1, K::OptionList, base + 0, 0, kLowHigh, F::LoSide},                               \
    {"1dco", 1, K::Text, base + 101, 0, nullptr, F::FreqGhz | F::LoFrequency},                  \
    {"1ipf", 1, K::Text, base + 100, 0, nullptr, F::FreqGhz},                                   \
    {"1wid", 1, K::OptionList, base + 1, 0, width, 0},                                          \
    {"1gua", 1, K::OptionList, base + 2, 0, guard, 0},                                          \
    {"1mod", 0, K::OptionText, base + 102, 0, mode, 0},                                         \
    {"1fec", 0, K::OptionText, base + 103, 0, fec, 0},                                          \
    {"1pol", 1, K::OptionList, base + 3, 0, kPolarity, 0},                                      \
    {"1snr", 0, K::Text, base + 104, 0, nullptr, F::Graphed},                                   \
    {"1mer", 0, K::Text, base + 105, 0, nullptr, F::Graphed},                                   \
    {"1cer", 0, K::Text, base + 106, 1009, nullptr, F::Graphed | F::HideIfAbsent},              \
    {"1dnr", 0, K::Text, base + 107, 1010, nullptr, F::Graphed | F::HideIfAbsent},              \
    {"1pre", 0, K::Text, base + 108, 0, nullptr, F::TrimZeros},                                 \
    {"1pos", 0, K::Text, base + 109, 0, nullptr, F::TrimZeros},                                 \
    {"1pkt", 0, K::Text, base + 110, 0, nullptr, F::TrimZeros | F::Lamp},                       \
    {"1ina", 0, K::Text, base + 111, 0, nullptr, F::Graphed},                                   \
    {"1inb", 0, K::Text, base + 112, 0, nullptr, F::Graphed},                                   \
    {"1inc", 0, K::Text, base + 113, 1011, nullptr, F::Graphed | F::HideIfAbsent},              \
    {"1ind", 0, K::Text, base + 114, 1012, nullptr, F::Graphed | F::HideIfAbsent},              \
    {"1loc", 0, K::OptionText, base + 115, 0, kLock, F::Lamp},                                  \
    {"edef", 1, K::Text, base + 116, 0, nullptr, 0},                                            \
    {nullptr, 0, K::Text, 0, 0, nullptr, 0}

// Narrowband controls are 1100.. (combos) and 1200.. (edits); DVB-T 1150.. and 1250...
ParamEntry NarrowbandDemodTable[kDemodTableRows + 1] = {
    DEMOD_TABLE(1100, kNarrowWidth, kNarrowGuard, kNarrowMode, kNarrowFec)};
ParamEntry DvbtDemodTable[kDemodTableRows + 1] = {
    DEMOD_TABLE(1150, kDvbtWidth, kDvbtGuard, kDvbtMode, kDvbtFec)};
#undef DEMOD_TABLE

ParamEntry DecoderTable[kDecoderTableRows + 1] = {
    {"tdat", 1, K::OptionList, 1104, 0, kOffOn, 0},
    {"tbau", 0, K::OptionText, 1217, 0, kBaudRates, 0},
    {"tpar", 0, K::OptionText, 1218, 0, kParity, 0},
    {"ttyp", 1, K::OptionList, 1226, 0, kDataMode, 0},
    {"twid", 1, K::OptionList, 1227, 0, kDataWidth, 0},
    {"elin", 0, K::OptionText, 1219, 0, kLineStandard, 0},
    {"epwr", 1, K::OptionList, 1105, 0, kLineStandard, 0},
    {"e525", 1, K::OptionList, 1106, 0, kNtscMode, 0},
    {"eser", 1, K::Text, 1220, 0, nullptr, F::TrimZeros},
    {"efai", 1, K::OptionList, 1107, 0, kOffOn, 0},
    {"eloc", 0, K::OptionText, 1221, 0, kLock, F::Lamp},
    {"edeb", 1, K::OptionList, 1108, 0, kOffOn, 0},
    {"zdes", 1, K::OptionList, 1109, 0, kDescrambling, 0},
    {"glnb", 1, K::OptionList, 1110, 0, kNoYes, 0},
    {"gosd", 1, K::OptionList, 1111, 0, kOsd, 0},
    {"gosp", 1, K::OptionList, 1114, 0, kOsdPage, 0},
    {"gost", 1, K::Text, 1228, 0, nullptr, 0},
    {"gsma", 1, K::Text, 1229, 0, nullptr, 0},
    {"gsmi", 1, K::Text, 1230, 0, nullptr, 0},
    {"gsre", 1, K::Text, 1231, 0, nullptr, 0},
    {"gsof", 0, K::Text, 1222, 0, nullptr, 0},
    {"gfpg", 0, K::Text, 1223, 0, nullptr, F::HexVersion},
    {"gser", 0, K::Text, 1224, 0, nullptr, 0},
    {"dlas", 1, K::Text, 1225, 0, nullptr, F::TrimZeros | F::NotSaved},
    {"gbty", 0, K::ModelToken, 0, 0, nullptr, 0},
    {"gmod", 1, K::RadioPair, 1048, 1049, nullptr, 0},
    {"gcha", 1, K::OptionList, 1112, 0, kChainSource, 0},
    {"gch2", 1, K::OptionList, 1113, 0, kChainScrambling, 0},
    {nullptr, 0, K::Text, 0, 0, nullptr, 0},
};

ParamEntry SnrGraphList[kGraphListRows + 1] = {
    {"1snr", 0, K::Text, 0, 0, nullptr, 0},
    {"1mer", 0, K::Text, 0, 0, nullptr, 0},
    {"1cer", 0, K::Text, 0, 0, nullptr, 0},
    {"1dnr", 0, K::Text, 0, 0, nullptr, 0},
    {nullptr, 0, K::Text, 0, 0, nullptr, 0},
};

ParamEntry LevelGraphList[kGraphListRows + 1] = {
    {"1ina", 0, K::Text, 0, 0, nullptr, 0},
    {"1inb", 0, K::Text, 0, 0, nullptr, 0},
    {"1inc", 0, K::Text, 0, 0, nullptr, 0},
    {"1ind", 0, K::Text, 0, 0, nullptr, 0},
    {nullptr, 0, K::Text, 0, 0, nullptr, 0},
};

ParamEntry* const AllParamTables[6] = {NarrowbandDemodTable, DvbtDemodTable, DecoderTable,
                                       SnrGraphList,         LevelGraphList, nullptr};

const ModeColumnControl ModeColumnControls[kModeColumnControlCount] = {
    {1100, 1, 0}, {1201, 0, 0}, {1200, 0, 0}, {1101, 1, 0}, {1102, 1, 0}, {1103, 1, 0},
    {1150, 1, 1}, {1251, 0, 1}, {1250, 0, 1}, {1151, 1, 1}, {1152, 1, 1}, {1153, 1, 1},
};

const Downconverter DownconverterList[kDownconverterCount] = {
    {"UHF", true, 0.0, 0},
    {"Square, L-Band (QF-01)", true, 1.7, 1},
    {"Square, L-Band (QF-02)", true, 1.05, 0},
    {"Square, S-Band (QF-03)", true, 1.88, 0},
    {"Barrel, L-Band (QF-04)", true, 1.8, 1},
    {"Barrel, L-Band (QF-05)", true, 2.3, 1},
    {"Barrel, S-Band (QF-06)", true, 1.7, 0},
    {"Barrel, S-Band (QF-07)", true, 2.15, 0},
    {"Barrel, 3GHz (QF-08)", true, 2.7, 0},
    {"Barrel, C-Band (QF-09)", true, 4.2, 0},
    {"Barrel, C-Band (QF-10)", true, 5.2, 0},
    {"8GHz (QF-20)", true, 7.75, 0},
    {"Unknown", false, 0.0, 0},
};

int DetectDownconverter(double loFrequencyMhz, int loSide) {
    struct Match {
        double mhz;
        int index;
    };
    static const Match kLow[] = {{0, 0},    {1050, 2}, {1880, 3},  {1700, 6},  {2150, 7},
                                 {2700, 8}, {4200, 9}, {5200, 10}, {7750, 11}};
    static const Match kHigh[] = {{1700, 1}, {1800, 4}, {2300, 5}};
    if (loSide == 0) {
        for (const Match& m : kLow)
            if (loFrequencyMhz == m.mhz) return m.index;
    } else {
        for (const Match& m : kHigh)
            if (loFrequencyMhz == m.mhz) return m.index;
    }
    return kDownconverterUnknown;
}

const char* ParamLabel(const char* code) {
    if (code == nullptr || std::strlen(code) != 4) return nullptr;   // every label's code has four
    for (const LabelRow& row : kLabels)
        if (SameCode(row.code, code)) return row.label;
    return nullptr;
}

ParamEntry* FindParam(ParamEntry* table, const char* code) {
    if (table == nullptr || code == nullptr || std::strlen(code) != 4) return nullptr;
    for (ParamEntry* row = table; row->code != nullptr; ++row)
        if (SameCode(row->code, code)) return row;
    return nullptr;
}

uint32_t GetParamIndex(ParamEntry* table, const char* code) {
    ParamEntry* row = FindParam(table, code);
    if (row == nullptr) return kNoParamIndex;
    if (row->kind != ParamKind::OptionList && row->kind != ParamKind::OptionText) return kNoParamIndex;
    std::lock_guard<std::mutex> guard(row->lock);
    if (!row->value.has) return kNoParamIndex;
    return static_cast<uint32_t>(row->value.number);
}

ParamValue ReadParamValue(const ParamEntry& row) {
    std::lock_guard<std::mutex> guard(row.lock);
    return row.value;
}

void StoreParamValue(ParamEntry& row, const ParamValue& value) {
    std::lock_guard<std::mutex> guard(row.lock);
    row.value = value;
}

void ResetAllParamValues() {
    for (ParamEntry* const* table = AllParamTables; *table != nullptr; ++table)
        for (ParamEntry* row = *table; row->code != nullptr; ++row) StoreParamValue(*row, ParamValue{});
}

int OptionCount(const char* const* options) {
    int n = 0;
    if (options != nullptr)
        while (options[n] != nullptr) ++n;
    return n;
}

bool IsPlaceholderOption(const char* text) { return text != nullptr && std::strcmp(text, kEmptyOption) == 0; }

int ComboIndexFromOptionNumber(const char* const* options, int64_t n) {
    if (n < 0 || n >= OptionCount(options)) return -1;
    int index = 0;
    for (int64_t i = 0; i < n; ++i)
        if (!IsPlaceholderOption(options[i])) ++index;
    return index;
}

int OptionNumberFromComboIndex(const char* const* options, int64_t index) {
    if (index < 0) return -1;
    int64_t seen = 0;
    for (int i = 0; options != nullptr && options[i] != nullptr; ++i) {
        if (IsPlaceholderOption(options[i])) continue;
        if (seen == index) return i;
        ++seen;
    }
    return -1;
}

const char* OptionTextAtComboIndex(const char* const* options, int64_t index) {
    int number = OptionNumberFromComboIndex(options, index);
    return number < 0 ? nullptr : options[number];
}
