#include "params/alarm_rules.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "platform/program_folder.h"

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// A number a rule may carry: which tests take it, its key, its field and range.
struct NumberKey {
    AlarmTest test;
    const char* key;
    double AlarmRule::*field;
    double min;
    double max;
};
constexpr NumberKey kNumberKeys[] = {
    {AlarmTest::Below, "threshold", &AlarmRule::low, -20.0, 60.0},
    {AlarmTest::Below, "clear_margin", &AlarmRule::clearMargin, 0.0, kAlarmMaxMargin},
    {AlarmTest::Outside, "low", &AlarmRule::low, -130.0, 0.0},
    {AlarmTest::Outside, "high", &AlarmRule::high, -130.0, 0.0},
    {AlarmTest::Outside, "clear_margin", &AlarmRule::clearMargin, 0.0, kAlarmMaxMargin},
    {AlarmTest::Rise, "threshold", &AlarmRule::low, 1.0, 1e9},
    {AlarmTest::Rise, "clear_margin", &AlarmRule::clearMargin, 0.0, kAlarmMaxMargin},
};

struct DelayKey {
    const char* key;
    uint32_t AlarmRule::*field;
};
constexpr DelayKey kDelayKeys[] = {
    {"raise_delay_ms", &AlarmRule::raiseDelayMs},
    {"clear_delay_ms", &AlarmRule::clearDelayMs},
};

constexpr const char* kInputLetters[kAlarmInputCount] = {"A", "B", "C", "D"};

std::string Number(double value) { return Json(value).dump(); }

// A fault found while checking: thrown to the top of ParseAlarmRules.
struct Fault {
    std::string text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) { throw Fault{where + ": " + what}; }

std::string AllowedKeys(AlarmTest test) {
    std::string keys = "alarm, enabled, severity, raise_delay_ms, clear_delay_ms";
    for (const NumberKey& n : kNumberKeys)
        if (n.test == test) keys += std::string(", ") + n.key;
    return keys;
}

void ReadRule(const Json& object, const std::string& where, AlarmRule& rule) {
    const AlarmTest test = AlarmKindOf(rule.kind).test;
    for (const auto& [key, value] : object.items()) {
        const std::string at = where + "." + key;
        if (key == "alarm") continue;
        if (key == "enabled") {
            if (!value.is_boolean()) Fail(at, "must be true or false");
            rule.enabled = value.get<bool>();
            continue;
        }
        if (key == "severity") {
            const auto severity = value.is_string() ? AlarmSeverityFromName(value.get<std::string>()) : std::nullopt;
            if (!severity) Fail(at, "unknown severity " + value.dump() + " (critical, major, minor, warning)");
            rule.severity = *severity;
            continue;
        }
        bool known = false;
        for (const DelayKey& d : kDelayKeys) {
            if (key != d.key) continue;
            known = true;
            if (!value.is_number_integer()) Fail(at, "must be a whole number of milliseconds");
            if (!value.is_number_unsigned() || value.get<uint64_t>() > kAlarmMaxDelayMs)
                Fail(at, value.dump() + " is out of range (0 to " + std::to_string(kAlarmMaxDelayMs) + ")");
            rule.*d.field = uint32_t(value.get<uint64_t>());
        }
        for (const NumberKey& n : kNumberKeys) {
            if (n.test != test || key != n.key) continue;
            known = true;
            if (!value.is_number()) Fail(at, "must be a number");
            const double v = value.get<double>();
            if (!(v >= n.min && v <= n.max))
                Fail(at, value.dump() + " is out of range (" + Number(n.min) + " to " + Number(n.max) + ")");
            rule.*n.field = v;
        }
        if (!known)
            Fail(at, "unknown key for " + std::string(AlarmKindOf(rule.kind).name) + " (" + AllowedKeys(test) + ")");
    }
    if (test == AlarmTest::Outside) {
        if (!(rule.low < rule.high))
            Fail(where + ".high", Number(rule.high) + " is not above low (" + Number(rule.low) + ")");
        if (rule.low + rule.clearMargin > rule.high - rule.clearMargin)
            Fail(where + ".clear_margin",
                 Number(rule.clearMargin) + " leaves no level between low and high that clears");
    }
}

uint8_t ReadInputs(const Json& value) {
    if (!value.is_array() || value.empty()) Fail("inputs_fitted", "must be a list of inputs, such as [\"A\", \"B\"]");
    uint8_t inputs = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const std::string at = "inputs_fitted[" + std::to_string(i) + "]";
        int found = -1;
        for (int input = 0; input < kAlarmInputCount; ++input)
            if (value[i].is_string() && value[i].get<std::string>() == kInputLetters[input]) found = input;
        if (found < 0) Fail(at, "unknown input " + value[i].dump() + " (A, B, C, D)");
        if ((inputs & (1u << found)) != 0) Fail(at, "input " + value[i].dump() + " given twice");
        inputs = uint8_t(inputs | (1u << found));
    }
    return inputs;
}

AlarmRules ReadRules(const Json& document) {
    if (!document.is_object()) Fail("file", "must hold one object with \"inputs_fitted\" and \"rules\"");
    AlarmRules rules = AlarmRules::Defaults();
    for (const auto& [key, value] : document.items()) {
        if (key == "inputs_fitted") {
            rules.inputsFitted = ReadInputs(value);
        } else if (key == "rules") {
            if (!value.is_array()) Fail("rules", "must be a list of rules");
            std::vector<std::string> seen(kAlarmKindCount);
            for (size_t i = 0; i < value.size(); ++i) {
                const std::string where = "rules[" + std::to_string(i) + "]";
                const Json& object = value[i];
                if (!object.is_object()) Fail(where, "must be an object");
                if (!object.contains("alarm")) Fail(where, "has no \"alarm\"");
                const Json& name = object["alarm"];
                const auto kind = name.is_string() ? AlarmKindFromName(name.get<std::string>()) : std::nullopt;
                if (!kind) Fail(where + ".alarm", "unknown alarm " + name.dump());
                std::string& first = seen[size_t(*kind)];
                if (!first.empty()) Fail(where, "alarm " + name.dump() + " is given twice (first in " + first + ")");
                first = where;
                ReadRule(object, where, rules.Of(*kind));
            }
        } else {
            Fail(key, "unknown key (inputs_fitted, rules)");
        }
    }
    return rules;
}

// nlohmann keeps the last of two equal keys; a hand-edited file that has
// both is refused instead. Keys are checked per object, as parsed.
class DuplicateKeys {
public:
    bool operator()(int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) keys_.emplace_back();
        if (event == Json::parse_event_t::object_end && !keys_.empty()) keys_.pop_back();
        if (event != Json::parse_event_t::key || keys_.empty()) return true;
        const std::string key = parsed.get<std::string>();
        if (!keys_.back().insert(key).second && first_.empty()) first_ = key;
        return true;
    }
    const std::string& First() const { return first_; }

private:
    std::vector<std::set<std::string>> keys_;
    std::string first_;
};

}  // namespace

bool ParseAlarmRules(std::string_view text, AlarmRules& rules, std::string& error) {
    DuplicateKeys duplicates;
    Json document;
    try {
        document = Json::parse(text.begin(), text.end(), std::ref(duplicates));
    } catch (const Json::parse_error& e) {
        // "[json.exception.parse_error.101] parse error at line 4, column 12: ..."
        std::string what = e.what();
        const size_t at = what.find("at line ");
        error = at == std::string::npos ? what : what.substr(at + 3);
        return false;
    }
    if (!duplicates.First().empty()) {
        error = duplicates.First() + ": key given twice in one object";
        return false;
    }
    try {
        rules = ReadRules(document);
    } catch (const Fault& fault) {
        error = fault.text;
        return false;
    }
    return true;
}

bool ReadAlarmRulesFile(const std::string& path, AlarmRules& rules, std::string& error) {
    std::ifstream in(FilePath(path), std::ios::binary);
    if (!in) {
        error = path + ": Unable to open file for reading: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = path + ": the file could not be read";
        return false;
    }
    if (!ParseAlarmRules(text.str(), rules, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string AlarmRulesText(const AlarmRules& rules) {
    OrderedJson document;
    OrderedJson inputs = OrderedJson::array();
    for (int input = 0; input < kAlarmInputCount; ++input)
        if ((rules.inputsFitted & (1u << input)) != 0) inputs.push_back(kInputLetters[input]);
    document["inputs_fitted"] = inputs;
    OrderedJson list = OrderedJson::array();
    for (const AlarmRule& rule : rules.rules) {
        const AlarmTest test = AlarmKindOf(rule.kind).test;
        OrderedJson object;
        object["alarm"] = AlarmKindOf(rule.kind).name;
        object["enabled"] = rule.enabled;
        object["severity"] = AlarmSeverityName(rule.severity);
        for (const DelayKey& d : kDelayKeys) object[d.key] = rule.*d.field;
        for (const NumberKey& n : kNumberKeys)
            if (n.test == test) object[n.key] = rule.*n.field;
        list.push_back(object);
    }
    document["rules"] = list;
    return document.dump(2) + "\n";
}

bool WriteAlarmRulesFile(const std::string& path, const AlarmRules& rules, std::string& error) {
    if (ReplaceFileAtomically(path, AlarmRulesText(rules))) return true;
    error = path + ": Unable to open file for writing";
    return false;
}
