#include "tools/tavrinctl/output.h"

#include <cstdio>

#include "link/messages.h"

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

std::string ResultMessage(ResultCode code) {
    if (const char* text = ResultCodeText(code)) return text;
    if (code == kErrNoEtx) return "No end of message in response";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%08x", unsigned(code));
    return buffer;
}

const char* LampName(int icon) {
    switch (icon) {
    case kIconGreen: return "green";
    case kIconRed: return "red";
    default: return "grey";
    }
}

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    char esc[8];
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            // Control bytes and bytes above 0x7F (unit texts are not UTF-8) are
            // escaped so the document stays valid whatever the unit sent.
            if (c < 0x20 || c >= 0x7F) {
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out.push_back(char(c));
            }
        }
    }
    out += "\"";
    return out;
}

JsonObject& JsonObject::Add(const std::string& key, const std::string& text) {
    members_.emplace_back(key, JsonQuote(text));
    return *this;
}

JsonObject& JsonObject::AddNumber(const std::string& key, long long value) {
    members_.emplace_back(key, std::to_string(value));
    return *this;
}

JsonObject& JsonObject::AddBool(const std::string& key, bool value) {
    members_.emplace_back(key, value ? "true" : "false");
    return *this;
}

JsonObject& JsonObject::AddNull(const std::string& key) {
    members_.emplace_back(key, "null");
    return *this;
}

JsonObject& JsonObject::AddRaw(const std::string& key, const std::string& json) {
    members_.emplace_back(key, json);
    return *this;
}

std::string JsonObject::Str() const {
    std::string out = "{";
    for (size_t i = 0; i < members_.size(); ++i) {
        if (i) out += ",";
        out += JsonQuote(members_[i].first) + ":" + members_[i].second;
    }
    return out + "}";
}

JsonArray& JsonArray::AddRaw(const std::string& json) {
    items_.push_back(json);
    return *this;
}

std::string JsonArray::Str() const {
    std::string out = "[";
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i) out += ",";
        out += items_[i];
    }
    return out + "]";
}
