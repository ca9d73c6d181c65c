// alarms: the alarm rules (the defaults, or --alarm-rules FILE) evaluated on
// watch's poll cycle; one line per alarm raised or cleared, or with --json
// one object a line.
#include <cmath>
#include <cstdio>
#include <string>

#include "params/alarm_rules.h"
#include "params/alarms.h"
#include "params/poll_sample.h"
#include "platform/clock.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/output.h"

namespace {

// A whole value as an integer (a lock 0 or 1, an error count), else as the
// shortest number that reads back the same; '.' whatever the locale.
JsonDocument ValueJson(const std::optional<double>& value) {
    if (!value) return nullptr;
    if (std::nearbyint(*value) == *value && std::fabs(*value) < 1e15) return int64_t(*value);
    return *value;
}

// What a withdrawn alarm says: it ended because nothing evaluates it now.
constexpr const char* kNotEvaluated = "not evaluated";

const char* EventWord(AlarmTransition transition) {
    return transition == AlarmTransition::Raised ? "raise" : "clear";
}

std::string EventLine(const AlarmEvent& e, int64_t utcMs) {
    std::string line = FormatUtcMs(utcMs) + "  " + EventWord(e.transition) + "  " + e.alarm.id.Name() + " (" +
                       AlarmSeverityName(e.alarm.severity) + ")  ";
    if (e.transition == AlarmTransition::Withdrawn) return line + kNotEvaluated;
    return line + "value " + (e.value ? ValueJson(e.value).dump() : std::string("-"));
}

JsonDocument EventJson(const AlarmEvent& e, int64_t utcMs) {
    JsonDocument object;
    object["time_utc"] = FormatUtcMs(utcMs);
    object["event"] = EventWord(e.transition);
    object["alarm"] = e.alarm.id.Name();
    object["severity"] = AlarmSeverityName(e.alarm.severity);
    object["value"] = ValueJson(e.transition == AlarmTransition::Withdrawn ? std::nullopt : e.value);
    return object;
}

}  // namespace

int RunAlarms(ToolContext& tool) {
    AlarmRules rules = AlarmRules::Defaults();
    const std::string& file = tool.options.alarmRulesFile;
    std::string error;
    if (!file.empty() && !ReadAlarmRulesFile(file, rules, error)) {
        // The error names the file first: "FILE: line 3, column 5: ...".
        PrintError(tool.err, "", error);
        return kExitFailure;
    }
    CAlarmModel model(rules);
    return RunPollCycles(tool, [&](const PollSample& sample, int64_t steadyMs) {
        for (const AlarmEvent& e : model.Evaluate(sample, kEveryPollItem, steadyMs)) {
            const std::string line =
                tool.options.json ? JsonText(EventJson(e, sample.timeMs)) : EventLine(e, sample.timeMs);
            if (!FlushLine(tool, line)) return false;
        }
        return true;
    });
}
