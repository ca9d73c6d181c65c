// What tavrinctl prints: the raw frame lines, result texts, lamp names and a
// small JSON builder.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "link/result_codes.h"

// Text from the unit made safe for a terminal: control bytes (0x00-0x1F,
// 0x7F and 0x80-0x9F) as "\xHH", every other byte as it is.
std::string TerminalText(const std::string& text);

// Each byte as "%2x " (lower-case hexadecimal, two columns, a blank after).
std::string HexColumns(const std::string& bytes);
// "Sending: ", the request bytes in columns, then the frame as TerminalText.
std::string SendingLine(const std::string& lastRequest);
// "Reply: ", the first `length` reply bytes in columns, then the same bytes as
// TerminalText.
std::string ReplyLine(const std::string& lastReply, int length);

// The operator's text for a failed result: the result-code table, "No end of
// message in response" for a reply without ETX, else "Unknown error 0x%08x".
std::string ResultMessage(ResultCode code);

// "green", "red" or "grey" for the lamp icons 129, 130 and 134.
const char* LampName(int icon);

// A JSON text built member by member, in insertion order.
std::string JsonQuote(const std::string& text);

class JsonObject {
public:
    JsonObject& Add(const std::string& key, const std::string& text);
    JsonObject& Add(const std::string& key, const char* text) { return Add(key, std::string(text)); }
    JsonObject& AddNumber(const std::string& key, long long value);
    JsonObject& AddBool(const std::string& key, bool value);
    JsonObject& AddNull(const std::string& key);
    JsonObject& AddRaw(const std::string& key, const std::string& json);
    std::string Str() const;

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

class JsonArray {
public:
    JsonArray& AddRaw(const std::string& json);
    JsonArray& Add(const std::string& text) { return AddRaw(JsonQuote(text)); }
    std::string Str() const;

private:
    std::vector<std::string> items_;
};
