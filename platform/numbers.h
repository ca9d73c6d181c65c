// Number text that never depends on the C library's locale: '.' is always the
// decimal point, only ASCII digits count, and case is changed for ASCII only.
// Every number on the wire, in a file or in a log goes through these, so a
// desktop set to a decimal comma (or to Turkish case rules) changes nothing.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// "%.Nf" as in the "C" locale ("1.750000" for 1.75 and 6 decimals).
std::string FormatFixed(double value, int decimals);

// The whole text as a plain decimal number: an optional '-', digits with at
// most one '.', at least one digit ("12", "-0.5", ".5", "7."). No spaces,
// exponents, signs '+', "inf" or "nan"; "1,75" is not a number.
std::optional<double> ParseDecimal(std::string_view text);

// The leading number of a text, as the unit's replies are read (strtod in the
// "C" locale, without hexadecimal, infinity or NaN): leading white space and a
// sign are skipped, whatever follows the number is ignored; 0 when there is
// none or it is out of range.
double LeadingDouble(std::string_view text);

// LeadingDouble's number times 10^powerOfTen, converted once from the
// decimal text with the point moved (no multiplication, so no rounding of its
// own): "1.234567" and 9 give exactly 1234567000. Digits and one '.' only (no
// exponent); 0 when there is no number.
double LeadingDoubleScaled(std::string_view text, int powerOfTen);

// The leading decimal integer of a text (strtoll base 10 in the "C" locale):
// leading white space and a sign, then digits; 0 when there are none; values
// beyond 64 bits saturate.
int64_t LeadingInteger(std::string_view text);

// The whole text as a decimal integer (an optional '-', then digits only).
std::optional<int64_t> ParseInteger(std::string_view text);

inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiHexDigit(char c) {
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
std::string AsciiLower(std::string_view text);
