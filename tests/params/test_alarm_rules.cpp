// The alarm rules file: each kind of mistake refused with the rules in force
// kept and the line or key named; the defaults written out and read back;
// numbers with a '.' under a decimal-comma locale too.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "params/alarm_rules.h"
#include "support/scoped_locale.h"
#include "support/temp_folder.h"

using testsupport::ScopedLocale;

namespace {

struct BadFile {
    const char* what;
    const char* text;
    const char* error;   // the start of the error
};

const BadFile kBadFiles[] = {
    {"syntax, line named", "{\n  \"rules\": [\n    {\"alarm\": \"snr_low\",}\n  ]\n}", "line 3, column 25: syntax error"},
    {"unknown top key", R"({"rule": []})", "rule: unknown key"},
    {"unknown rule key", R"({"rules": [{"alarm": "snr_low", "treshold": 9}]})", "rules[0].treshold: unknown key for snr_low"},
    {"unknown alarm", R"({"rules": [{"alarm": "snr_high"}]})", "rules[0].alarm: unknown alarm \"snr_high\""},
    {"unknown severity", R"({"rules": [{"alarm": "snr_low", "severity": "fatal"}]})",
     "rules[0].severity: unknown severity \"fatal\""},
    {"wrong type: text for a number", R"({"rules": [{"alarm": "snr_low", "threshold": "9.5"}]})",
     "rules[0].threshold: must be a number"},
    {"a delay not whole", R"({"rules": [{"alarm": "snr_low", "raise_delay_ms": 2.5}]})",
     "rules[0].raise_delay_ms: must be a whole number"},
    {"a threshold out of range", R"({"rules": [{"alarm": "snr_low", "threshold": 99.5}]})",
     "rules[0].threshold: 99.5 is out of range (-20.0 to 60.0)"},
    {"low above high", R"({"rules": [{"alarm": "level_out_of_range", "low": -20, "high": -60}]})",
     "rules[0].high: -60.0 is not above low (-20.0)"},
    {"a margin leaving nothing", R"({"rules": [{"alarm": "level_out_of_range", "low": -30, "high": -20, "clear_margin": 6}]})",
     "rules[0].clear_margin: 6.0 leaves no level"},
    {"duplicate rule", R"({"rules": [{"alarm": "snr_low"}, {"alarm": "reception_lost"}, {"alarm": "snr_low"}]})",
     "rules[2]: alarm \"snr_low\" is given twice (first in rules[0])"},
    {"duplicate key", R"({"rules": [{"alarm": "snr_low", "threshold": 9, "threshold": 8}]})",
     "threshold: key given twice"},
    {"unknown input", R"({"inputs_fitted": ["A", "E"]})", "inputs_fitted[1]: unknown input \"E\""},
};

class AlarmRulesFile : public ::testing::TestWithParam<const char*> {};

TEST_P(AlarmRulesFile, MistakesAreRefusedAndTheRulesKept) {
    ScopedLocale locale(GetParam());
    for (const BadFile& bad : kBadFiles) {
        SCOPED_TRACE(bad.what);
        AlarmRules rules = AlarmRules::Defaults();
        rules.Of(AlarmKind::SnrLow).low = 7.5;   // in force before
        const AlarmRules before = rules;
        std::string error;
        EXPECT_FALSE(ParseAlarmRules(bad.text, rules, error));
        EXPECT_EQ(error.substr(0, std::string(bad.error).size()), bad.error) << error;
        EXPECT_EQ(rules, before);
    }
}

TEST_P(AlarmRulesFile, ReadKeepsThePointAndFillsDefaults) {
    ScopedLocale locale(GetParam());
    AlarmRules rules;
    std::string error;
    ASSERT_TRUE(ParseAlarmRules(R"({"inputs_fitted": ["A", "C"], "rules": [
        {"alarm": "snr_low", "threshold": 12.5, "clear_margin": 0.75, "severity": "major", "raise_delay_ms": 0},
        {"alarm": "level_out_of_range", "low": -80.5, "high": -20.25},
        {"alarm": "unit_silent", "enabled": false}]})",
                                rules, error))
        << error;
    AlarmRules expected = AlarmRules::Defaults();
    expected.inputsFitted = 0b101;
    AlarmRule& snr = expected.Of(AlarmKind::SnrLow);
    snr.low = 12.5, snr.clearMargin = 0.75, snr.severity = AlarmSeverity::Major, snr.raiseDelayMs = 0;
    expected.Of(AlarmKind::LevelOutOfRange).low = -80.5;
    expected.Of(AlarmKind::LevelOutOfRange).high = -20.25;
    expected.Of(AlarmKind::UnitSilent).enabled = false;
    EXPECT_EQ(rules, expected);

    // Written out and read back through a real file: the same rules, with '.'.
    testsupport::TempFolder folder;
    const std::string path = folder.File("alarm_rules.json");
    ASSERT_TRUE(WriteAlarmRulesFile(path, expected, error)) << error;
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"high\": -20.25"), std::string::npos) << text;
    AlarmRules back;
    ASSERT_TRUE(ReadAlarmRulesFile(path, back, error)) << error;
    EXPECT_EQ(back, expected);
    EXPECT_FALSE(ReadAlarmRulesFile(folder.File("missing.json"), back, error));
}

INSTANTIATE_TEST_SUITE_P(Locales, AlarmRulesFile, ::testing::Values("C", testsupport::kCommaLocale));

}  // namespace
