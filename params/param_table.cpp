// The parameter tables, row for row, and the lookups that walk them.
#include "params/param_table.h"

#include <cstring>

namespace {

using K = ParamKind;
namespace F = ParamFlags;
namespace P = ids::unit_page;
namespace C = ids::unit_page::column;
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
    {.code = "1los", .writable = 1, .kind = K::OptionList, .controlId = base + C::kLoSide, .options = kLowHigh, .flags = F::LoSide}, \
    {.code = "1dco", .writable = 1, .kind = K::Text, .controlId = base + C::kLoFrequency, .flags = F::FreqGhz | F::LoFrequency}, \
    {.code = "1ipf", .writable = 1, .kind = K::Text, .controlId = base + C::kInputFrequency, .flags = F::FreqGhz}, \
    {.code = "1wid", .writable = 1, .kind = K::OptionList, .controlId = base + C::kBandwidth, .options = width}, \
    {.code = "1gua", .writable = 1, .kind = K::OptionList, .controlId = base + C::kGuardInterval, .options = guard}, \
    {.code = "1mod", .kind = K::OptionText, .controlId = base + C::kOfdmMode, .options = mode}, \
    {.code = "1fec", .kind = K::OptionText, .controlId = base + C::kFecRate, .options = fec}, \
    {.code = "1pol", .writable = 1, .kind = K::OptionList, .controlId = base + C::kPolarity, .options = kPolarity}, \
    {.code = "1snr", .kind = K::Text, .controlId = base + C::kSnrA, .flags = F::Graphed}, \
    {.code = "1mer", .kind = K::Text, .controlId = base + C::kSnrB, .flags = F::Graphed}, \
    {.code = "1cer", .kind = K::Text, .controlId = base + C::kSnrC, .secondaryId = P::kSnrCCaption, .flags = F::Graphed | F::HideIfAbsent}, \
    {.code = "1dnr", .kind = K::Text, .controlId = base + C::kSnrD, .secondaryId = P::kSnrDCaption, .flags = F::Graphed | F::HideIfAbsent}, \
    {.code = "1pre", .kind = K::Text, .controlId = base + C::kBerPreErrors, .flags = F::TrimZeros}, \
    {.code = "1pos", .kind = K::Text, .controlId = base + C::kBerPostErrors, .flags = F::TrimZeros}, \
    {.code = "1pkt", .kind = K::Text, .controlId = base + C::kPacketErrors, .flags = F::TrimZeros | F::Lamp}, \
    {.code = "1ina", .kind = K::Text, .controlId = base + C::kLevelA, .flags = F::Graphed}, \
    {.code = "1inb", .kind = K::Text, .controlId = base + C::kLevelB, .flags = F::Graphed}, \
    {.code = "1inc", .kind = K::Text, .controlId = base + C::kLevelC, .secondaryId = P::kLevelCCaption, .flags = F::Graphed | F::HideIfAbsent}, \
    {.code = "1ind", .kind = K::Text, .controlId = base + C::kLevelD, .secondaryId = P::kLevelDCaption, .flags = F::Graphed | F::HideIfAbsent}, \
    {.code = "1loc", .kind = K::OptionText, .controlId = base + C::kDemodLock, .options = kLock, .flags = F::Lamp}, \
    {.code = "edef", .writable = 1, .kind = K::Text, .controlId = base + C::kServiceName}, \
    {}

// Each demodulator column's controls are its base plus the row's offset.
const ParamEntry NarrowbandDemodTable[kDemodTableRows + 1] = {
    DEMOD_TABLE(P::kNarrowbandColumn, kNarrowWidth, kNarrowGuard, kNarrowMode, kNarrowFec)};
const ParamEntry DvbtDemodTable[kDemodTableRows + 1] = {
    DEMOD_TABLE(P::kDvbtColumn, kDvbtWidth, kDvbtGuard, kDvbtMode, kDvbtFec)};
#undef DEMOD_TABLE

const ParamEntry DecoderTable[kDecoderTableRows + 1] = {
    {.code = "tdat", .writable = 1, .kind = K::OptionList, .controlId = P::kData, .options = kOffOn},
    {.code = "tbau", .kind = K::OptionText, .controlId = P::kDataBaudRate, .options = kBaudRates},
    {.code = "tpar", .kind = K::OptionText, .controlId = P::kDataParity, .options = kParity},
    {.code = "ttyp", .writable = 1, .kind = K::OptionList, .controlId = P::kDataMode, .options = kDataMode},
    {.code = "twid", .writable = 1, .kind = K::OptionList, .controlId = P::kDataWidth, .options = kDataWidth},
    {.code = "elin", .kind = K::OptionText, .controlId = P::kInputLineStandard, .options = kLineStandard},
    {.code = "epwr", .writable = 1, .kind = K::OptionList, .controlId = P::kPowerUpLineStandard, .options = kLineStandard},
    {.code = "e525", .writable = 1, .kind = K::OptionList, .controlId = P::kNtscMode, .options = kNtscMode},
    {.code = "eser", .writable = 1, .kind = K::Text, .controlId = P::kService, .flags = F::TrimZeros},
    {.code = "efai", .writable = 1, .kind = K::OptionList, .controlId = P::kBlueScreenOnFail, .options = kOffOn},
    {.code = "eloc", .kind = K::OptionText, .controlId = P::kDecoderLock, .options = kLock, .flags = F::Lamp},
    {.code = "edeb", .writable = 1, .kind = K::OptionList, .controlId = P::kDeblocking, .options = kOffOn},
    {.code = "zdes", .writable = 1, .kind = K::OptionList, .controlId = P::kDescrambling, .options = kDescrambling},
    {.code = "glnb", .writable = 1, .kind = K::OptionList, .controlId = P::kLnbPower, .options = kNoYes},
    {.code = "gosd", .writable = 1, .kind = K::OptionList, .controlId = P::kOnScreenDisplay, .options = kOsd},
    {.code = "gosp", .writable = 1, .kind = K::OptionList, .controlId = P::kOsdPage, .options = kOsdPage},
    {.code = "gost", .writable = 1, .kind = K::Text, .controlId = P::kOsdTimeout},
    {.code = "gsma", .writable = 1, .kind = K::Text, .controlId = P::kScanRangeMax},
    {.code = "gsmi", .writable = 1, .kind = K::Text, .controlId = P::kScanRangeMin},
    {.code = "gsre", .writable = 1, .kind = K::Text, .controlId = P::kScanResolution},
    {.code = "gsof", .kind = K::Text, .controlId = P::kSoftwareVersion},
    {.code = "gfpg", .kind = K::Text, .controlId = P::kFpgaVersion, .flags = F::HexVersion},
    {.code = "gser", .kind = K::Text, .controlId = P::kSerialNumber},
    {.code = "dlas", .writable = 1, .kind = K::Text, .controlId = P::kCurrentConfig, .flags = F::TrimZeros | F::NotSaved},
    {.code = "gbty", .kind = K::ModelToken},
    {.code = "gmod", .writable = 1, .kind = K::RadioPair, .controlId = P::kRfInput, .secondaryId = P::kChainingInput},
    {.code = "gcha", .writable = 1, .kind = K::OptionList, .controlId = P::kChainingSource, .options = kChainSource},
    {.code = "gch2", .writable = 1, .kind = K::OptionList, .controlId = P::kChainingScrambling, .options = kChainScrambling},
    {},
};

const ParamEntry SnrGraphList[kGraphListRows + 1] = {
    {.code = "1snr", .kind = K::Text},
    {.code = "1mer", .kind = K::Text},
    {.code = "1cer", .kind = K::Text},
    {.code = "1dnr", .kind = K::Text},
    {},
};

const ParamEntry LevelGraphList[kGraphListRows + 1] = {
    {.code = "1ina", .kind = K::Text},
    {.code = "1inb", .kind = K::Text},
    {.code = "1inc", .kind = K::Text},
    {.code = "1ind", .kind = K::Text},
    {},
};

const ParamEntry* const EveryParamTable[kParamTableCount + 1] = {NarrowbandDemodTable, DvbtDemodTable, DecoderTable,
                                       SnrGraphList,         LevelGraphList, nullptr};

const ModeColumnControl ModeColumnControls[kModeColumnControlCount] = {
#define MODE_COLUMN(base, column)                                                               \
    {base + C::kLoSide, 1, column}, {base + C::kLoFrequency, 0, column},                        \
    {base + C::kInputFrequency, 0, column}, {base + C::kBandwidth, 1, column},                  \
    {base + C::kGuardInterval, 1, column}, {base + C::kPolarity, 1, column}
    MODE_COLUMN(P::kNarrowbandColumn, 0), MODE_COLUMN(P::kDvbtColumn, 1),
#undef MODE_COLUMN
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

const ParamEntry* FindParam(const ParamEntry* table, const char* code) {
    if (table == nullptr || code == nullptr || std::strlen(code) != 4) return nullptr;
    for (const ParamEntry* row = table; row->code != nullptr; ++row)
        if (SameCode(row->code, code)) return row;
    return nullptr;
}

const ParamEntry* DemodTableForMode(int mode) { return mode == 1 ? DvbtDemodTable : NarrowbandDemodTable; }

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
