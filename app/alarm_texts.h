// Words for alarms (params/alarms.h) shared by the event log and the windows.
// Numbers are written with a '.' whatever the locale.
#pragma once
#include <optional>
#include <string>

#include "params/alarms.h"

// "Critical", "Major", "Minor", "Warning": the severity for operators.
const char* AlarmSeverityWords(AlarmSeverity severity);

// A value as text: a whole number without a point ("1", "12"), another one
// as the shortest text that reads back the same ("7.25"); "" for none.
std::string AlarmNumberText(std::optional<double> value);

// The value that raised an alarm, for a rule that compares a value (SNR,
// level, packet errors); "" for a yes/no alarm (silence, a lock).
std::string AlarmValueText(const Alarm& alarm);

// The event log's detail of an alarm: "snr_low_a (minor), value 7.5", or
// "unit_silent (critical)" for a yes/no alarm.
std::string AlarmEventDetail(const Alarm& alarm);
