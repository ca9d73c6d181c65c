// What tavrinctl prints: the raw frame lines, lamp names and JSON text.
#pragma once
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "link/unit_events.h"

struct PollSample;

// Text from the unit made safe for a terminal: control bytes (0x00-0x1F,
// 0x7F and 0x80-0x9F) as "\xHH", every other byte as it is.
std::string TerminalText(const std::string& text);

// What the tool says of a request the unit answered with 'E'.
inline constexpr char kTextRefused[] = "refused by the unit";

// An error line, "tavrinctl: SUBJECT: TEXT: REASON": the file, connection or
// code it concerns, the system's own text ("Unable to open file for reading")
// and the reason ("No such file or directory"); an empty subject or reason is
// left out with its ": ". Every part is TerminalText, as it may carry bytes
// from a file or the unit.
std::string ErrorLine(const std::string& subject, const std::string& text, const std::string& reason = {});
// The error line and a newline on `err`, flushed.
void PrintError(FILE* err, const std::string& subject, const std::string& text, const std::string& reason = {});

// Each byte as "%2x " (lower-case hexadecimal, two columns, a blank after).
std::string HexColumns(const std::string& bytes);
// "Sending: ", the request bytes in columns, then the frame as TerminalText.
std::string SendingLine(const std::string& lastRequest);
// "Reply: ", the first `length` reply bytes in columns, then the same bytes as
// TerminalText.
std::string ReplyLine(const std::string& lastReply, int length);

// "green", "red" or "grey" for the lamp icons 129, 130 and 134.
const char* LampName(LampState state);

// The JSON documents keep their members in the order they are added. Every
// command that prints data has one style: snake_case keys, a value the unit
// (or a file) holds as a plain decimal number as a JSON number, any other
// value as a string, null for a value not received, and true/false for the
// tool's own yes and no (a lamp not known is null).
using JsonDocument = nlohmann::ordered_json;

// A value as the unit sent it: a number when it is a plain decimal one
// ("-61.25", "000003" is 3), else a string; null when empty (not received).
// A code whose value is a text (IsTextValue: a name, a version) is always a
// string.
JsonDocument UnitValueJson(const std::string& text, const std::string& code = "");
// A reply's status character ("1", "E"), null when there was no reply.
JsonDocument StatusJson(bool answered, char status);
// A lamp icon as a JSON value: green true, red false, grey (not known) null.
JsonDocument LampJson(LampState state);

// A text from the unit or a file as a JSON string. Unit texts are bytes, not
// UTF-8: each byte stands for the character of the same number, so that every
// byte above 0x7E is written as "\u00XX" and the document stays valid whatever
// the unit sent.
JsonDocument JsonBytes(const std::string& bytes);

// The document on one line, every control byte and every byte above 0x7E
// escaped as "\u00XX" (with "\n", "\r", "\t", "\"" and "\\" as the
// exceptions).
std::string JsonText(const JsonDocument& document);

// One poll cycle (status, and each line of watch): time_utc, connected, the
// three lamps by the desktop program's lamp rule (demod_lock, reception,
// decoder_lock under "lamps") and the values under the recording's column
// names as the unit sent them.
JsonDocument PollSampleJson(const PollSample& sample);
