// Polling options: flags and interval reach the settings and the main window
// only through Apply/OK; bad intervals are refused and keep the old one.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "params/ui/CPollMiscDialog.h"
#include "params/ui/CPollingListDialog.h"
#include "params/ui/CPollingOptions.h"
#include "test_dialogs_support.h"

using namespace dlgtest;

namespace {

class PollingOptions : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings = AppSettingsData{};
        AppSettings.PollIntervalMs = 2000;
    }
    // The main window's part: counts the intervals applied.
    void Hear(CPollingOptions& dialog) {
        QObject::connect(&dialog, &CPollingOptions::intervalChanged, [this] { ++intervalChanges; });
    }
    PromptRecorder prompts;
    int intervalChanges = 0;
};

TEST_F(PollingOptions, ApplyIsDisabledAfterOpenAndAfterEachApply) {
    CPollingOptions dialog;
    Hear(dialog);
    QPushButton* apply = Control<QPushButton>(&dialog, 1002);
    ASSERT_NE(apply, nullptr);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(dialog.tabs()->tabText(0), "Polling list");
    EXPECT_EQ(dialog.tabs()->tabText(1), "Miscellaneous");

    Control<QCheckBox>(&dialog, 1820)->click();   // SNR off
    EXPECT_TRUE(apply->isEnabled());
    apply->click();
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(AppSettings.PollItemFlags[2], 0);

    Control<QLineEdit>(&dialog, 1200)->setText("750");
    EXPECT_TRUE(apply->isEnabled());
    apply->click();
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(AppSettings.PollIntervalMs, 750);
    EXPECT_TRUE(prompts.prompts.messages.empty());
}

TEST_F(PollingOptions, FlagsAreAppliedTogetherAndOnlyOnApply) {
    CPollingOptions dialog;
    Hear(dialog);
    for (int id : {1800, 1810, 1820, 1830}) Control<QCheckBox>(&dialog, id)->click();
    // Nothing reaches the settings before Apply.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(AppSettings.PollItemFlags[i], 1);
    dialog.OnApply();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(AppSettings.PollItemFlags[i], 0) << i;

    Control<QCheckBox>(&dialog, 1810)->click();
    dialog.reject();   // Cancel drops what was not applied
    EXPECT_EQ(AppSettings.PollItemFlags[1], 0);
}

TEST_F(PollingOptions, PagesStartFromTheSettings) {
    AppSettings.PollItemFlags[0] = 0;
    AppSettings.PollItemFlags[3] = 0;
    AppSettings.PollIntervalMs = 1234;
    CPollingOptions dialog;
    Hear(dialog);
    EXPECT_FALSE(Control<QCheckBox>(&dialog, 1800)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(&dialog, 1810)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(&dialog, 1820)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(&dialog, 1830)->isChecked());
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1200)->text(), "1234");
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1200)->maxLength(), 7);
}

TEST_F(PollingOptions, ValidIntervalReachesTheMainWindow) {
    CPollingOptions dialog;
    Hear(dialog);
    Control<QLineEdit>(&dialog, 1200)->setText("500ms");
    dialog.OnApply();
    EXPECT_EQ(AppSettings.PollIntervalMs, 500);
    EXPECT_EQ(intervalChanges, 1);
    EXPECT_TRUE(prompts.prompts.messages.empty());
}

TEST_F(PollingOptions, InvalidIntervalKeepsTheOldOne) {
    for (const char* text : {"0", "", "abc", "-5", "ms500"}) {
        SCOPED_TRACE(text);
        prompts.prompts.messages.clear();
        AppSettings.PollItemFlags[0] = 1;
        CPollingOptions dialog;
        Hear(dialog);
        Control<QCheckBox>(&dialog, 1800)->click();
        Control<QLineEdit>(&dialog, 1200)->setText(QString::fromLatin1(text));
        dialog.OnApply();
        EXPECT_EQ(AppSettings.PollIntervalMs, 2000);
        ASSERT_EQ(prompts.prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.prompts.messages[0].text, "Invalid polling interval");
        EXPECT_EQ(prompts.prompts.messages[0].caption, "Error");
        EXPECT_EQ(prompts.prompts.messages[0].icon, PromptIcon::Warning);
        // The flags are applied even then.
        EXPECT_EQ(AppSettings.PollItemFlags[0], 0);
        EXPECT_FALSE(dialog.applyButton()->isEnabled());
    }
    EXPECT_EQ(intervalChanges, 0);
}

TEST_F(PollingOptions, OkWithInvalidIntervalWarnsThenCloses) {
    CPollingOptions dialog;
    Hear(dialog);
    Control<QCheckBox>(&dialog, 1830)->click();
    Control<QLineEdit>(&dialog, 1200)->setText("x");
    OnNextModal([](QWidget* modal) { Control<QPushButton>(modal, 1)->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    ASSERT_EQ(prompts.Texts(), std::vector<std::string>{"Invalid polling interval"});
    EXPECT_EQ(AppSettings.PollItemFlags[3], 0);
    EXPECT_EQ(AppSettings.PollIntervalMs, 2000);
}

// The poll thread feeds the signal history, whose ring holds 24 hours at the
// fastest interval the program allows; anything faster is refused.
TEST_F(PollingOptions, IntervalBelowTheFastestAllowedIsRefused) {
    for (const char* text : {"1", "50", "99", "99ms"}) {
        SCOPED_TRACE(text);
        prompts.prompts.messages.clear();
        CPollingOptions dialog;
        Hear(dialog);
        Control<QLineEdit>(&dialog, 1200)->setText(QString::fromLatin1(text));
        dialog.OnApply();
        EXPECT_EQ(AppSettings.PollIntervalMs, 2000);
        ASSERT_EQ(prompts.prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.prompts.messages[0].text, "Invalid polling interval");
        EXPECT_EQ(prompts.prompts.messages[0].caption, "Error");
    }
    EXPECT_EQ(intervalChanges, 0);
    prompts.prompts.messages.clear();
    CPollingOptions dialog;
    Hear(dialog);
    Control<QLineEdit>(&dialog, 1200)->setText("100");
    dialog.OnApply();
    EXPECT_EQ(AppSettings.PollIntervalMs, 100);
    EXPECT_EQ(intervalChanges, 1);
    EXPECT_TRUE(prompts.prompts.messages.empty());
}

TEST(PollInterval, LeadingNumberRules) {
    EXPECT_EQ(ParsePollInterval("500ms"), 500);
    EXPECT_EQ(ParsePollInterval("1"), 1);
    EXPECT_EQ(ParsePollInterval("9999999"), 9999999);
    EXPECT_EQ(ParsePollInterval("0"), 0);
    EXPECT_EQ(ParsePollInterval("-5"), 0);
    EXPECT_EQ(ParsePollInterval(""), 0);
    EXPECT_EQ(ParsePollInterval("abc"), 0);
}

}  // namespace
