// The alarm rules file: one JSON file a site edits by hand. Reading checks it
// whole (syntax, unknown keys, wrong types, numbers out of range, unknown
// severities and alarms, a rule or a key given twice); a file with any fault
// changes nothing, so the rules in force stay. Numbers are read and written
// with a '.' whatever the locale.
//
//   {
//     "inputs_fitted": ["A", "B"],
//     "rules": [
//       {"alarm": "unit_silent", "severity": "critical", "raise_delay_ms": 5000},
//       {"alarm": "snr_low", "threshold": 12.5, "clear_margin": 1, "enabled": true},
//       {"alarm": "level_out_of_range", "low": -80, "high": -20}
//     ]
//   }
//
// Every key is optional: an alarm the file does not list, and a key a rule
// leaves out, take the defaults (kAlarmKinds). A rule's keys: "alarm" (the
// kind's name, required), "enabled", "severity", "raise_delay_ms",
// "clear_delay_ms", and by the kind's test: "threshold" (snr_low in dB,
// packet_errors_rising in errors), "low" and "high" (level_out_of_range, dBm),
// "clear_margin" (the three with a value, not the lock and silence kinds).
#pragma once
#include <string>
#include <string_view>

#include "params/alarms.h"

// Limits a file is held to.
inline constexpr uint32_t kAlarmMaxDelayMs = 86'400'000;   // one day
inline constexpr double kAlarmMaxMargin = 100.0;

// A window that edits rules checks them as a file is checked:
// ParseAlarmRules(AlarmRulesText(edited), ...) refuses what a file would.

// Reads a rules text. On success sets `rules` and returns true; otherwise
// returns false with `error` naming the line ("line 4, column 12: ...") or
// the key at fault ("rules[2].severity: ...") and leaves `rules` as it was.
bool ParseAlarmRules(std::string_view text, AlarmRules& rules, std::string& error);

// The same for a file; `error` then starts with the path ("PATH: ...").
bool ReadAlarmRulesFile(const std::string& path, AlarmRules& rules, std::string& error);

// The text of a rules file holding every rule and key (the defaults give a
// file a site can start from), ending with a line break.
std::string AlarmRulesText(const AlarmRules& rules);

// Writes AlarmRulesText through a temporary file and a rename.
bool WriteAlarmRulesFile(const std::string& path, const AlarmRules& rules, std::string& error);
