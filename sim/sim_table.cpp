#include "sim/sim_table.h"

#include <cstring>

#include "platform/numbers.h"

namespace sim {
namespace {

constexpr const char* E = kPlaceholder;

// Option lists, numbered from 0; "/empty/" marks a number the unit does not use.
const char* const kLoSide[] = {"Low", "High", nullptr};
const char* const kWidNb[] = {E, E, E, "2.5MHz", "1.25MHz", "625kHz", nullptr};
const char* const kWidDvbt[] = {"8MHz", "7MHz", "6MHz", nullptr};
const char* const kGuaNb[] = {E, "1/16", "1/8", nullptr};
const char* const kGuaDvbt[] = {"1/32", "1/16", "1/8", "1/4", nullptr};
const char* const kModNb[] = {"QPSK", "16QAM", "BPSK", "8PSK", nullptr};
const char* const kModDvbt[] = {"QPSK", "16QAM", "64QAM", nullptr};
const char* const kFecNb[] = {"1/2", "2/3", "1/3", nullptr};
const char* const kFecDvbt[] = {"1/2", "2/3", "3/4", "5/6", "7/8", nullptr};
const char* const kPolarity[] = {"Normal", "Inverted", nullptr};
const char* const kLock[] = {"Not locked", "Locked", nullptr};
const char* const kOffOn[] = {"Off", "On", nullptr};
const char* const kBaud[] = {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", nullptr};
const char* const kParity[] = {"None", "Even", "Odd", nullptr};
const char* const kDataMode[] = {"None", "Mode 1", "Mode 2", nullptr};
const char* const kDataWidth[] = {"8 bit", "7 bit", nullptr};
const char* const kLines[] = {"625", "525", nullptr};
const char* const kNtsc[] = {E, "NTSC", "NTSC no ped", nullptr};
const char* const kDescramble[] = {"Off", "ABS", E, E, "AES128", "AES128+", "AES256", "AES256+",
                                   "Tessel128", "Tessel128+", "Tessel256", "Tessel256+", nullptr};
const char* const kNoYes[] = {"No", "Yes", nullptr};
const char* const kOsd[] = {"Off", "Input A", "Input B", "Input C", "Input D", nullptr};
const char* const kOsdPage[] = {"Original", "Input Status", "RF Advanced", "Engineering Data",
                                "Frequency Scan", "GPS Overlay", nullptr};
const char* const kChainOut[] = {"Demod", "Chaining input", nullptr};
const char* const kChainScr[] = {"Pre-descrambling", "Post-descrambling", nullptr};

using S = Store;
using F = Form;

const CodeRow kRows[] = {
    // demodulator
    {"1los", S::Config, F::Option, true, kLoSide, nullptr},
    {"1dco", S::Config, F::Ghz, true, nullptr, nullptr},
    {"1ipf", S::Config, F::Ghz, true, nullptr, nullptr},
    {"1wid", S::Config, F::Option, true, kWidNb, kWidDvbt},
    {"1gua", S::Config, F::Option, true, kGuaNb, kGuaDvbt},
    {"1mod", S::Config, F::Option, false, kModNb, kModDvbt},
    {"1fec", S::Config, F::Option, false, kFecNb, kFecDvbt},
    {"1pol", S::Config, F::Option, true, kPolarity, nullptr},
    {"1snr", S::Live, F::Number, false, nullptr, nullptr},
    {"1mer", S::Live, F::Number, false, nullptr, nullptr},
    {"1cer", S::Live, F::Number, false, nullptr, nullptr},
    {"1dnr", S::Live, F::Number, false, nullptr, nullptr},
    {"1pre", S::Live, F::Number, false, nullptr, nullptr},
    {"1pos", S::Live, F::Number, false, nullptr, nullptr},
    {"1pkt", S::Live, F::Integer, false, nullptr, nullptr},
    {"1ina", S::Live, F::Number, false, nullptr, nullptr},
    {"1inb", S::Live, F::Number, false, nullptr, nullptr},
    {"1inc", S::Live, F::Number, false, nullptr, nullptr},
    {"1ind", S::Live, F::Number, false, nullptr, nullptr},
    {"1loc", S::Live, F::Option, false, kLock, nullptr},
    {"edef", S::Config, F::Text, true, nullptr, nullptr},
    // decoder, data channel, descrambling, general
    {"tdat", S::Config, F::Option, true, kOffOn, nullptr},
    {"tbau", S::Unit, F::Option, false, kBaud, nullptr},
    {"tpar", S::Unit, F::Option, false, kParity, nullptr},
    {"ttyp", S::Config, F::Option, true, kDataMode, nullptr},
    {"twid", S::Config, F::Option, true, kDataWidth, nullptr},
    {"elin", S::Unit, F::Option, false, kLines, nullptr},
    {"epwr", S::Config, F::Option, true, kLines, nullptr},
    {"e525", S::Config, F::Option, true, kNtsc, nullptr},
    {"eser", S::Config, F::Integer, true, nullptr, nullptr},
    {"efai", S::Config, F::Option, true, kOffOn, nullptr},
    {"eloc", S::Live, F::Option, false, kLock, nullptr},
    {"edeb", S::Config, F::Option, true, kOffOn, nullptr},
    {"zdes", S::Config, F::Option, true, kDescramble, nullptr},
    {"glnb", S::Config, F::Option, true, kNoYes, nullptr},
    {"gosd", S::Config, F::Option, true, kOsd, nullptr},
    {"gosp", S::Config, F::Option, true, kOsdPage, nullptr},
    {"gost", S::Config, F::Integer, true, nullptr, nullptr},
    {"gsma", S::Config, F::Number, true, nullptr, nullptr},
    {"gsmi", S::Config, F::Number, true, nullptr, nullptr},
    {"gsre", S::Config, F::Number, true, nullptr, nullptr},
    {"gsof", S::Unit, F::Text, false, nullptr, nullptr},
    {"gfpg", S::Unit, F::Integer, false, nullptr, nullptr},
    {"gser", S::Unit, F::Text, false, nullptr, nullptr},
    {"gbty", S::Unit, F::Text, false, nullptr, nullptr},
    {"gmod", S::Config, F::Radio, true, nullptr, nullptr},
    {"gcha", S::Config, F::Option, true, kChainOut, nullptr},
    {"gch2", S::Config, F::Option, true, kChainScr, nullptr},
    {nullptr, S::Unit, F::Text, false, nullptr, nullptr},
};

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (!IsAsciiDigit(c)) return false;
    return true;
}

// A plain decimal number: optional sign, digits, optional fraction.
bool IsDecimalNumber(const std::string& s) {
    if (s.empty() || s.size() > 20) return false;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    bool digits = false, dot = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (IsAsciiDigit(c)) {
            digits = true;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return false;
        }
    }
    return digits;
}

// Decimal text the protocol can carry: printable, no ';'.
bool IsCleanText(const std::string& s) {
    if (s.size() > 32) return false;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == ';') return false;
    }
    return true;
}

std::string Ghz(double ghz) { return FormatFixed(ghz, 6); }

}  // namespace

const CodeRow* AllCodes() { return kRows; }

const CodeRow* FindCode(const std::string& code) {
    for (const CodeRow* r = kRows; r->code; ++r)
        if (code == r->code) return r;
    return nullptr;
}

const char* const* OptionsFor(const CodeRow& row, int mode) {
    return (mode == 1 && row.dvbtOptions) ? row.dvbtOptions : row.options;
}

bool IsValidOption(const CodeRow& row, int mode, const std::string& wire) {
    const char* const* options = OptionsFor(row, mode);
    if (!options || !AllDigits(wire)) return false;
    const int64_t n = LeadingInteger(wire);
    for (int64_t i = 0; options[i]; ++i)
        if (i == n) return std::strcmp(options[i], kPlaceholder) != 0;
    return false;
}

bool NormaliseWrite(const CodeRow& row, int mode, const std::string& wire, std::string* stored) {
    switch (row.form) {
        case Form::Option:
            if (!IsValidOption(row, mode, wire)) return false;
            *stored = std::to_string(LeadingInteger(wire));
            return true;
        case Form::Ghz: {
            if (!IsDecimalNumber(wire)) return false;
            const double v = LeadingDouble(wire);
            if (v < 0.0 || v > 100.0) return false;
            *stored = Ghz(v);
            return true;
        }
        case Form::Integer:
            if (!AllDigits(wire)) return false;
            *stored = wire;
            return true;
        case Form::Number:
            if (!IsDecimalNumber(wire)) return false;
            *stored = wire;
            return true;
        case Form::Radio:
            if (!AllDigits(wire) || LeadingInteger(wire) > 255) return false;
            *stored = std::to_string(LeadingInteger(wire));
            return true;
        case Form::Text:
            if (!IsCleanText(wire)) return false;
            *stored = wire;
            return true;
    }
    return false;
}

std::string FactoryValue(const std::string& code, int mode, int slot, bool k840) {
    const bool dvbt = mode == 1;
    // Demodulator: each slot tuned a little differently so that slots can be told apart.
    if (code == "1los") return "1";
    if (code == "1dco") return Ghz(2.3);
    if (code == "1ipf") return Ghz(1.75 + 0.01 * (slot - 1));
    if (code == "1wid") return dvbt ? "0" : "3";
    if (code == "1gua") return dvbt ? "0" : "1";
    if (code == "1mod") return dvbt ? "2" : "0";
    if (code == "1fec") return dvbt ? "2" : "0";
    if (code == "1pol") return "0";
    if (code == "edef") return std::string(dvbt ? "DVBT" : "Narrowband") + " slot " + std::to_string(slot);
    // Decoder and general settings.
    if (code == "tdat") return "0";
    if (code == "ttyp") return "0";
    if (code == "twid") return "0";
    if (code == "epwr") return "0";
    if (code == "e525") return "1";
    if (code == "eser") return "0001";
    if (code == "efai") return "1";
    if (code == "edeb") return "1";
    if (code == "zdes") return "0";
    if (code == "glnb") return "0";
    if (code == "gosd") return "0";
    if (code == "gosp") return "0";
    if (code == "gost") return "30";
    if (code == "gsma") return "2.500";
    if (code == "gsmi") return "1.000";
    if (code == "gsre") return "1.0";
    if (code == "gmod") return "0";
    if (code == "gcha") return "0";
    if (code == "gch2") return "0";
    // The unit itself.
    if (code == "tbau") return "5";
    if (code == "tpar") return "0";
    if (code == "elin") return "0";
    if (code == "gsof") return "2.31";
    if (code == "gfpg") return "4660";
    if (code == "gser") return k840 ? "840-10231" : "830-10231";
    if (code == "gbty") return k840 ? "K840" : "K830";
    return {};
}

}  // namespace sim
