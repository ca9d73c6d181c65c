// The oracle's values, which name the code they were read from, and the draw
// of random faults.
#include <vector>

#include "platform/numbers.h"
#include "sim/sim_state.h"
#include "sim/sim_table.h"

namespace sim {
namespace {

constexpr int kFirstTag = 10;
constexpr uint32_t kCounterSpan = 10000;   // nnnn: four digits

// The row of `code` and its tag (its place in the table plus kFirstTag).
const CodeRow* TaggedRow(const std::string& code, int* tag) {
    int place = 0;
    for (const CodeRow* r = AllCodes(); r->code; ++r, ++place) {
        if (code == r->code) {
            *tag = kFirstTag + place;
            return r;
        }
    }
    return nullptr;
}

std::string Digits(uint32_t value, size_t width) {
    std::string text = std::to_string(value);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

bool AllDigitsText(const std::string& s, size_t from) {
    if (from >= s.size()) return false;
    for (size_t i = from; i < s.size(); ++i)
        if (!IsAsciiDigit(s[i])) return false;
    return true;
}

// The valid (non-placeholder) option numbers of a row in a mode.
std::vector<int> ValidOptions(const CodeRow& row, int mode) {
    std::vector<int> out;
    const char* const* options = OptionsFor(row, mode);
    for (int i = 0; options && options[i]; ++i)
        if (std::string(options[i]) != kPlaceholder) out.push_back(i);
    return out;
}

}  // namespace

std::string OracleValue(const std::string& code, int mode, uint32_t n) {
    int tag = 0;
    const CodeRow* row = TaggedRow(code, &tag);
    if (!row) return {};
    const uint32_t count = n % kCounterSpan;
    const std::string tt = std::to_string(tag);
    switch (row->form) {
        case Form::Integer: return tt + Digits(count, 4);
        case Form::Number: return tt + "." + Digits(count, 4);
        case Form::Ghz: return tt + ".00" + Digits(count, 4);
        case Form::Text: return tt + "-" + Digits(count, 4);
        case Form::Radio: return std::to_string((uint32_t(tag) + count) % 2);
        case Form::Option: {
            const std::vector<int> valid = ValidOptions(*row, mode);
            if (valid.empty()) return "0";
            return std::to_string(valid[(uint32_t(tag) + count) % valid.size()]);
        }
    }
    return {};
}

bool OracleTells(const std::string& code) {
    int tag = 0;
    const CodeRow* row = TaggedRow(code, &tag);
    return row && row->form != Form::Option && row->form != Form::Radio;
}

bool OracleBelongs(const std::string& code, const std::string& value) {
    int tag = 0;
    const CodeRow* row = TaggedRow(code, &tag);
    if (!row) return false;
    const std::string tt = std::to_string(tag);
    const bool tagged = value.size() > tt.size() && value.compare(0, tt.size(), tt) == 0;
    const size_t rest = tt.size();
    switch (row->form) {
        case Form::Integer: return tagged && value.size() == rest + 4 && AllDigitsText(value, rest);
        case Form::Number:
            return tagged && value.size() == rest + 5 && value[rest] == '.' && AllDigitsText(value, rest + 1);
        case Form::Ghz:
            return tagged && value.size() == rest + 7 && value.compare(rest, 3, ".00") == 0 &&
                   AllDigitsText(value, rest + 3);
        case Form::Text:
            return tagged && value.size() == rest + 5 && value[rest] == '-' && AllDigitsText(value, rest + 1);
        case Form::Radio: return value == "0" || value == "1";
        case Form::Option: return IsValidOption(*row, 0, value) || IsValidOption(*row, 1, value);
    }
    return false;
}

const std::vector<Fault>& RandomFaultKinds() {
    static const std::vector<Fault> kinds = {
        Fault::Silence,   Fault::NoiseBeforeStx, Fault::BadChecksum, Fault::NoEtx, Fault::SplitTcpSegment,
        Fault::DropConnection, Fault::SlowReply, Fault::ReplyTwice, Fault::Flood, Fault::Drip, Fault::Restart,
    };
    return kinds;
}

// Lock held. A fault for the next reply, or None.
ReplyFault SimUnit::State::DrawRandomFaultLocked() {
    ReplyFault out;
    if (randomRate_ <= 0.0) return out;
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (chance(faultRng_) >= randomRate_) return out;
    const std::vector<Fault>& kinds = RandomFaultKinds();
    out.fault = kinds[std::uniform_int_distribution<size_t>(0, kinds.size() - 1)(faultRng_)];
    const uint32_t most = randomMaxMs_ == 0 ? 1 : randomMaxMs_;
    const uint32_t delay = std::uniform_int_distribution<uint32_t>(1, most)(faultRng_);
    switch (out.fault) {
        // A reply of about 20 bytes (32 on TCP) dripped within the longest delay.
        case Fault::Drip: out.delayMs = 1 + delay / 40; break;
        case Fault::SplitTcpSegment: case Fault::SlowReply: case Fault::Flood: out.delayMs = delay; break;
        default: break;
    }
    ++counters.randomFaults;
    return out;
}

}  // namespace sim
