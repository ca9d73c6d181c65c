#include "app/alarm_texts.h"

#include <charconv>
#include <cmath>

const char* AlarmSeverityWords(AlarmSeverity severity) {
    constexpr const char* words[kAlarmSeverityCount] = {"Critical", "Major", "Minor", "Warning"};
    return words[size_t(severity)];
}

std::string AlarmNumberText(std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return {};
    char text[32];
    const double v = *value;
    const auto done = std::nearbyint(v) == v && std::fabs(v) < 1e15
                          ? std::to_chars(text, text + sizeof text, int64_t(v))
                          : std::to_chars(text, text + sizeof text, v);
    return std::string(text, done.ptr);
}

std::string AlarmValueText(const Alarm& alarm) {
    if (AlarmKindOf(alarm.id.kind).test == AlarmTest::Flag) return {};
    return AlarmNumberText(alarm.value);
}

std::string AlarmEventDetail(const Alarm& alarm) {
    std::string detail = alarm.id.Name() + " (" + AlarmSeverityName(alarm.severity) + ")";
    const std::string value = AlarmValueText(alarm);
    return value.empty() ? detail : detail + ", value " + value;
}
