#include "platform/numbers.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

std::string FormatFixed(double value, int decimals) {
    // Room for the largest double in fixed notation with its decimals.
    std::array<char, 400> buffer;
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return "0";
    return std::string(buffer.data(), end);
}

namespace {

size_t SkipSpace(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && IsAsciiSpace(text[at])) ++at;
    return at;
}

// Where the run of digits with at most one '.' that starts at `from` ends;
// `digits` tells whether it held a digit.
size_t DecimalRunEnd(std::string_view text, size_t from, bool* digits) {
    bool point = false;
    size_t at = from;
    for (; at < text.size(); ++at) {
        if (IsAsciiDigit(text[at]))
            *digits = true;
        else if (text[at] == '.' && !point)
            point = true;
        else
            break;
    }
    return at;
}

}  // namespace

std::optional<double> ParseDecimal(std::string_view text) {
    const size_t at = (!text.empty() && text[0] == '-') ? 1 : 0;
    bool digits = false;
    if (DecimalRunEnd(text, at, &digits) != text.size() || !digits) return std::nullopt;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value,
                                              std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

double LeadingDouble(std::string_view text) {
    size_t at = SkipSpace(text);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || !(IsAsciiDigit(text[at]) || text[at] == '.')) return 0.0;
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(text.data() + at, text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || !std::isfinite(value)) return 0.0;
    return negative ? -value : value;
}

double LeadingDoubleScaled(std::string_view text, int powerOfTen) {
    size_t at = SkipSpace(text);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const size_t start = at;
    bool digits = false;
    at = DecimalRunEnd(text, at, &digits);
    if (!digits) return 0.0;
    // The number with an exponent of its own: from_chars rounds the exact
    // decimal value once.
    const std::string scaled = std::string(text.substr(start, at - start)) + "e" + std::to_string(powerOfTen);
    double value = 0.0;
    const auto [end, error] = std::from_chars(scaled.data(), scaled.data() + scaled.size(), value);
    if (error != std::errc() || !std::isfinite(value)) return 0.0;
    return negative ? -value : value;
}

int64_t LeadingInteger(std::string_view text) {
    size_t at = SkipSpace(text);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    // The magnitude as unsigned, so that the most negative value reads too.
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; at < text.size() && IsAsciiDigit(text[at]); ++at) {
        const uint64_t digit = uint64_t(text[at] - '0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    constexpr uint64_t kMaxPositive = uint64_t(std::numeric_limits<int64_t>::max());
    if (negative) {
        if (overflow || magnitude > kMaxPositive + 1) return std::numeric_limits<int64_t>::min();
        return magnitude == kMaxPositive + 1 ? std::numeric_limits<int64_t>::min() : -int64_t(magnitude);
    }
    if (overflow || magnitude > kMaxPositive) return std::numeric_limits<int64_t>::max();
    return int64_t(magnitude);
}

std::optional<int64_t> ParseInteger(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}
