// What the operator types on the pages: frequencies that are not numbers and
// texts holding frame bytes are refused with a message and nothing is sent;
// numbers keep the '.' under a decimal-comma locale. Real windows against the
// simulated unit.
#include "gui/test_main_support.h"

#include <QLineEdit>
#include <QPushButton>

#include "pages/ui/CDemodDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "params/ui/CStatusGraphs.h"
#include "support/scoped_locale.h"

using namespace guitest;

namespace {

// Exactly one message: the text given, caption "Error", the warning icon.
void ExpectOneError(Rig& rig, const std::string& text) {
    ASSERT_EQ(rig.prompts.messages.size(), 1u) << (rig.prompts.messages.empty() ? "" : rig.prompts.messages[0].text);
    EXPECT_EQ(rig.prompts.messages[0].text, text);
    EXPECT_EQ(rig.prompts.messages[0].caption, "Error");
    EXPECT_EQ(rig.prompts.messages[0].icon, PromptIcon::Warning);
    rig.prompts.messages.clear();
}

}  // namespace

TEST(MainInput, TheSimplePageRefusesAFrequencyThatIsNotANumber) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    const std::string frequency = rig.unit->Value("1ipf");
    const std::string service = rig.unit->Value("edef");
    ASSERT_EQ(page->GetText(1200), GhzTextToMhz(frequency));

    for (const char* typed : {"1,75", "", "abc", "-1750"}) {
        SCOPED_TRACE(typed);
        Ctl<QLineEdit>(page, 1200)->setText(typed);
        Ctl<QLineEdit>(page, 1216)->setText("Harbour cam");   // a good change beside it
        rig.unit->ClearRequests();
        Ctl<QPushButton>(page, 1044)->click();
        ExpectOneError(rig, "Invalid frequency value");
        EXPECT_TRUE(Writes(*rig.unit).empty()) << "the page is checked whole before anything is sent";
        EXPECT_EQ(rig.unit->Value("1ipf"), frequency);
        EXPECT_EQ(rig.unit->Value("edef"), service);
        EXPECT_TRUE(Ctl<QPushButton>(page, 1044)->isEnabled());
    }

    // Corrected, the same Apply goes out.
    Ctl<QLineEdit>(page, 1200)->setText("1765");
    rig.unit->ClearRequests();
    Ctl<QPushButton>(page, 1044)->click();
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_EQ(Writes(*rig.unit), (std::vector<std::string>{"w1ipf;1.765000;", "wedef;Harbour cam;"}));
    EXPECT_EQ(page->GetText(1200), "1765.000");
}

TEST(MainInput, TheSimplePageRefusesTextsWithFrameBytes) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    const std::string service = rig.unit->Value("edef");
    for (const std::string& typed : {std::string("News;Sport"), std::string("\x02News"), std::string("News\x03")}) {
        Ctl<QLineEdit>(page, 1216)->setText(QString::fromStdString(typed));
        Ctl<QLineEdit>(page, 1200)->setText("1765");
        rig.unit->ClearRequests();
        Ctl<QPushButton>(page, 1044)->click();
        ExpectOneError(rig, "Invalid characters in text field");
        EXPECT_TRUE(Writes(*rig.unit).empty());
        EXPECT_EQ(rig.unit->Value("edef"), service);
    }
}

TEST(MainInput, TheFullPageRefusesBadTextBeforeSendingAnything) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    Ctl<QPushButton>(page, 1002)->click();
    CDemodDialog* full = page->FullPage();
    ASSERT_NE(full, nullptr);

    // A good demodulator change and a decoder text with ETX: nothing goes out.
    Ctl<QLineEdit>(full, 1216)->setText("From the full page");
    Ctl<QLineEdit>(full, 1228)->setText("45\x03");   // OSD timeout
    rig.unit->ClearRequests();
    Ctl<QPushButton>(full, 1003)->click();
    ExpectOneError(rig, "Invalid characters in text field");
    EXPECT_TRUE(Writes(*rig.unit).empty());

    // The LO frequency is a frequency too.
    Ctl<QLineEdit>(full, 1228)->setText("45");
    Ctl<QLineEdit>(full, 1201)->setText("2,3");
    rig.unit->ClearRequests();
    Ctl<QPushButton>(full, 1003)->click();
    ExpectOneError(rig, "Invalid frequency value");
    EXPECT_TRUE(Writes(*rig.unit).empty());

    Ctl<QLineEdit>(full, 1201)->setText("2300");
    rig.unit->ClearRequests();
    Ctl<QPushButton>(full, 1003)->click();
    EXPECT_TRUE(rig.prompts.messages.empty());
    const std::vector<std::string> writes = Writes(*rig.unit);
    EXPECT_NE(std::find(writes.begin(), writes.end(), "wedef;From the full page;"), writes.end());
    EXPECT_NE(std::find(writes.begin(), writes.end(), "wgost;45;"), writes.end());
}

TEST(MainInput, AnEmptyReplyLeavesTheShownFrequency) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    const std::string shown = page->GetText(1200);
    ASSERT_FALSE(shown.empty());
    rig.unit->SetValue("1ipf", "");
    Ctl<QPushButton>(page, 1046)->click();   // Refresh
    EXPECT_EQ(page->GetText(1200), shown);
    EXPECT_EQ(ReadParamValue(w.Unit(), *FindParam(NarrowbandDemodTable, "1ipf")).text, shown);
    // Nothing changed on the page, so Apply sends nothing.
    rig.unit->ClearRequests();
    Ctl<QPushButton>(page, 1044)->click();
    EXPECT_TRUE(Writes(*rig.unit).empty());
}

// The desktop's locale as Qt's application would have set it from LANG.
TEST(MainInput, NumbersKeepThePointUnderACommaLocale) {
    testsupport::ScopedLocale locale(testsupport::kCommaLocale);
    ASSERT_TRUE(locale.Active());
    RigOptions polling = Quiet();
    polling.settings = [](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 150;
        s.AppTitle = kDefaultAppTitle;
        s.PollIntervalMs = 100;
    };
    Rig rig(polling);
    rig.unit->SetValue("1snr", "12.5");
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    EXPECT_EQ(page->GetText(1200), "1750.000");
    Ctl<QLineEdit>(page, 1200)->setText("1234.5");
    rig.unit->ClearRequests();
    Ctl<QPushButton>(page, 1044)->click();
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_EQ(Writes(*rig.unit), (std::vector<std::string>{"w1ipf;1.234500;"}));
    EXPECT_EQ(page->GetText(1200), "1234.500");

    // The poll cycle's SNR sample read as a number, not cut at the point.
    ASSERT_TRUE(SpinUntil([&] {
        return page->Graphs()->ComputeBars(0, QRect(0, 0, 300, 200)).snrText.toStdString() == "12.5";
    }));
    EXPECT_EQ(page->Graphs()->Snr(0), 12.5f);
}
