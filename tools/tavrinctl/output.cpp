#include "tools/tavrinctl/output.h"

#include <cstdio>

#include "link/unit_events.h"
#include "pages/page_form.h"
#include "params/poll_sample.h"
#include "platform/clock.h"
#include "platform/numbers.h"

std::string TerminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    char esc[8];
    for (unsigned char c : text) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else {
            out.push_back(char(c));
        }
    }
    return out;
}

std::string ErrorLine(const std::string& subject, const std::string& text, const std::string& reason) {
    std::string line = "tavrinctl: ";
    if (!subject.empty()) line += TerminalText(subject) + ": ";
    line += TerminalText(text);
    if (!reason.empty()) line += ": " + TerminalText(reason);
    return line;
}

void PrintError(FILE* err, const std::string& subject, const std::string& text, const std::string& reason) {
    std::fprintf(err, "%s\n", ErrorLine(subject, text, reason).c_str());
    std::fflush(err);
}

std::string HexColumns(const std::string& bytes) {
    std::string out;
    char cell[8];
    for (unsigned char b : bytes) {
        std::snprintf(cell, sizeof cell, "%2x ", b);
        out += cell;
    }
    return out;
}

std::string SendingLine(const std::string& lastRequest) {
    return "Sending: " + HexColumns(lastRequest) + TerminalText(lastRequest);
}

std::string ReplyLine(const std::string& lastReply, int length) {
    size_t n = length < 0 ? 0 : size_t(length);
    if (n > lastReply.size()) n = lastReply.size();
    const std::string shown = lastReply.substr(0, n);
    return "Reply: " + HexColumns(shown) + TerminalText(shown);
}

const char* LampName(LampState state) {
    switch (state) {
    case LampState::Green: return "green";
    case LampState::Red: return "red";
    case LampState::Grey: break;
    }
    return "grey";
}

JsonDocument JsonBytes(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            utf8.push_back(char(c));
        } else {
            utf8.push_back(char(0xC0 | (c >> 6)));
            utf8.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return utf8;
}

std::string JsonText(const JsonDocument& document) {
    // The library writes backspace and form feed as "\b" and "\f"; the tool
    // has always written them as "\u0008" and "\u000c". Outside strings a
    // JSON text has no backslash, inside every backslash opens a pair.
    const std::string text = document.dump(-1, ' ', true);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == 'b')
            out += "\\u0008";
        else if (next == 'f')
            out += "\\u000c";
        else
            out += {'\\', next};
    }
    return out;
}

namespace {

// "-12", "3.25": an optional minus, digits, an optional fraction.
bool IsPlainNumber(const std::string& text) {
    size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
    size_t digits = 0;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++digits;
    if (digits == 0) return false;
    if (i == text.size()) return true;
    if (text[i] != '.' || ++i == text.size()) return false;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i;
    return i == text.size();
}

}  // namespace

JsonDocument UnitValueJson(const std::string& text, const std::string& code) {
    if (text.empty()) return nullptr;
    if (!IsTextValue(code) && IsPlainNumber(text)) {
        if (text.find('.') == std::string::npos) {
            if (const std::optional<int64_t> whole = ParseInteger(text)) return *whole;
        }
        if (const std::optional<double> value = ParseDecimal(text)) return *value;
    }
    return JsonBytes(text);
}

JsonDocument StatusJson(bool answered, char status) {
    return answered ? JsonDocument(std::string(1, status)) : JsonDocument(nullptr);
}

JsonDocument LampJson(LampState state) {
    switch (state) {
    case LampState::Green: return true;
    case LampState::Red: return false;
    case LampState::Grey: break;
    }
    return nullptr;
}

JsonDocument PollSampleJson(const PollSample& sample) {
    const Lamps lamps = SampleLamps(sample);
    JsonDocument doc;
    doc["time_utc"] = FormatUtcMs(sample.timeMs);
    doc["connected"] = sample.connected;
    doc["lamps"] = {{"demod_lock", LampJson(lamps.demodLock)},
                    {"reception", LampJson(lamps.reception)},
                    {"decoder_lock", LampJson(lamps.decoderLock)}};
    for (int column = 0; column < kSampleColumnCount; ++column)
        doc[kSampleColumns[column].name] = UnitValueJson(sample.values[column]);
    return doc;
}
