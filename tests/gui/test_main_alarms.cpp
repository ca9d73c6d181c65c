// The desktop's alarms through its real windows: the rules file read at start
// (a bad one named by its key, the defaults kept), the rules dialog checking
// its fields with the file's own check (nothing saved on a fault, a '.' under
// a comma locale), and alarm periods shaded on the history chart.
#include "gui/test_main_support.h"

#include <QLineEdit>
#include <fstream>

#include "app/signal_history.h"
#include "app/ui/CAlarmRulesDlg.h"
#include "params/alarm_rules.h"
#include "params/ui/CHistoryChart.h"
#include "support/scoped_locale.h"

using namespace guitest;

namespace {

bool AnyTextHas(const std::vector<std::string>& texts, const std::string& part) {
    for (const std::string& t : texts)
        if (t.find(part) != std::string::npos) return true;
    return false;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(MainAlarms, TheRulesFileIsReadAtStartAndABadOneLeavesTheDefaults) {
    struct Case {
        const char* what;
        const char* file;      // nullptr: no file
        const char* message;   // a part of the message shown, nullptr: none
        double snrThreshold;
    };
    const Case cases[] = {
        {"no file", nullptr, nullptr, 10.0},
        {"a good file", R"({"rules": [{"alarm": "snr_low", "threshold": 12.5}]})", nullptr, 12.5},
        {"a bad severity", R"({"rules": [{"alarm": "snr_low", "threshold": 12.5, "severity": "fatal"}]})",
         "rules[0].severity: unknown severity", 10.0},
        {"broken syntax", "{\n  \"rules\": [\n", "line 3", 10.0},
    };
    for (const Case& c : cases) {
        RigOptions options;
        options.startUnit = false;
        Rig rig(options);
        if (c.file) WriteText(rig.folder.path + "/alarm_rules.json", c.file);
        CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
        const auto rules = w.History().AlarmRulesInForce();
        ASSERT_TRUE(rules) << c.what;
        EXPECT_EQ(rules->Of(AlarmKind::SnrLow).low, c.snrThreshold) << c.what;
        EXPECT_EQ(AnyTextHas(rig.Texts(), "The alarm rules file has a fault"), c.message != nullptr) << c.what;
        if (c.message) {
            EXPECT_TRUE(AnyTextHas(rig.Texts(), c.message)) << c.what;
        }
        EXPECT_EQ(w.AlarmIndicator()->text().toStdString(), "No alarms") << c.what;
        EXPECT_EQ(w.AlarmIndicator()->accessibleName().toStdString(), "Alarm state");
    }
}

TEST(MainAlarms, TheRulesDialogSavesOnlyWhatTheFilesCheckTakes) {
    struct Case {
        const char* field;
        const char* typed;
        const char* message;   // nullptr: saved
    };
    const Case cases[] = {
        {"SNR low, Threshold", "70", "SNR low, Threshold: 70 is out of range (-20.0 to 60.0)"},
        {"SNR low, Threshold", "12,5", "SNR low, Threshold: must be a number"},
        {"Unit not answering, Raise delay (ms)", "1.5", "Unit not answering, Raise delay (ms): must be a whole number"},
        {"Input level out of range, High (dBm)", "-90", "Input level out of range, High (dBm): -90.0 is not above low"},
        {"Packet errors rising, Clear delay (ms)", "-1", "Packet errors rising, Clear delay (ms): -1 is out of range"},
        {"SNR low, Threshold", "12.5", nullptr},
    };
    testsupport::ScopedLocale locale(testsupport::kCommaLocale);
    testsupport::TempFolder folder;
    RecordingPrompts prompts;
    SetPrompts(&prompts);
    const std::string path = folder.File("alarm_rules.json");
    for (const Case& c : cases) {
        prompts.messages.clear();
        CAlarmRulesDlg dialog(AlarmRules::Defaults(), path);
        QLineEdit* edit = nullptr;
        for (QLineEdit* e : dialog.findChildren<QLineEdit*>())
            if (e->accessibleName() == QString::fromLatin1(c.field)) edit = e;
        ASSERT_NE(edit, nullptr) << c.field;
        edit->setText(QString::fromLatin1(c.typed));
        dialog.OnSave();
        if (c.message) {
            ASSERT_EQ(prompts.messages.size(), 1u) << c.typed;
            EXPECT_NE(prompts.messages[0].text.find(c.message), std::string::npos) << prompts.messages[0].text;
            EXPECT_FALSE(std::filesystem::exists(path)) << c.typed;
            EXPECT_EQ(dialog.result(), 0);
            continue;
        }
        EXPECT_TRUE(prompts.messages.empty());
        EXPECT_EQ(dialog.Rules().Of(AlarmKind::SnrLow).low, 12.5);
        AlarmRules read;
        std::string error;
        ASSERT_TRUE(ReadAlarmRulesFile(path, read, error)) << error;
        EXPECT_EQ(read, dialog.Rules());
    }
    SetPrompts(nullptr);
}

TEST(MainAlarms, AlarmPeriodsAreShadedOnTheHistoryChart) {
    CSignalHistory history(100);
    AlarmRules rules = AlarmRules::Defaults();
    rules.Of(AlarmKind::UnitSilent).raiseDelayMs = 0;
    history.SetAlarmRules(rules);
    history.NoteConnected("COM1");
    const int64_t now = WallClockMs();
    const bool answered[] = {true, false, false, true, false};   // two periods, the second one still active
    for (int i = 0; i < 5; ++i) {
        PollSample sample;
        sample.timeMs = now - 8000 + i * 2000;
        sample.connected = answered[i];
        history.Take(sample, kEveryPollItem, i * 2000);
    }
    CHistoryChart chart(history);
    chart.resize(600, 400);
    chart.Refresh(true);
    EXPECT_EQ(chart.AlarmMarksShown(), 2);
}

TEST(MainAlarms, TheSoundSwitchIsSavedWithTheSettingsAtExit) {
    RigOptions options;
    options.startUnit = false;
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    w.RunCommand(ID_ALARMS);
    ASSERT_NE(w.AlarmsWindow(), nullptr);
    auto* sound = w.AlarmsWindow()->findChild<QCheckBox*>();
    ASSERT_TRUE(sound && sound->isChecked());
    sound->click();
    rig.Exit();
    AppSettingsData saved;
    ASSERT_TRUE(ReadSettingsFile(SettingsFilePath(rig.folder.path), saved));
    EXPECT_EQ(saved.AlarmSound, 0);
}
