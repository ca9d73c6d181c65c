// The main window's slot, mode, apply and address exchanges against the
// simulated unit, through the real link.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/unrequested.h"
#include "support/session_rig.h"

namespace {

using testcfg::UnitRig;
using Strings = std::vector<std::string>;

constexpr int kNarrowbandFreqEdit = 1200;
constexpr int kDvbtFreqEdit = 1250;

void ExpectOnlyError(const testcfg::RecordingView& view, const std::string& text) {
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, text);
    EXPECT_EQ(view.messages[0].caption, "Error");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
}

TEST(UnitSessionRead, ReadsSlotModeAndBothTablesIntoThePages) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.unit->SetValue("1ipf", "1.75");
    ASSERT_TRUE(rig.session->ReadUnitConfig(true));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.view.buttons, (std::vector<bool>{false, true}));
    EXPECT_EQ(rig.view.highlights, (std::vector<int>{-1}));
    EXPECT_EQ(rig.view.selectedTabs, (std::vector<int>{rig.unit->LastLoadedSlot() - 1}));
    EXPECT_EQ(rig.session->currentConfig, rig.unit->LastLoadedSlot());
    EXPECT_EQ(rig.session->pageMode, 0);
    EXPECT_EQ(rig.state.demodMode.load(), 0);
    EXPECT_TRUE(rig.waits.empty());   // the first read never waits

    const Strings requests = rig.Requests();
    ASSERT_EQ(requests.size(), 2u + kDemodTableRows + kDecoderTableRows);
    EXPECT_EQ(requests[0], "0001rdlas;;");
    EXPECT_EQ(requests[1], "0001rgudm;;");
    EXPECT_EQ(requests[2], "0001r1los;;");
    EXPECT_EQ(requests[2 + kDemodTableRows], "0001rtdat;;");

    const auto& page = rig.view.simple;
    EXPECT_EQ(page.GetText(kNarrowbandFreqEdit), "1750.000");
    EXPECT_TRUE(page.IsChecked(kIdRadioNarrowband));
    EXPECT_FALSE(page.IsChecked(kIdRadioDvbt));
    EXPECT_TRUE(page.Written(kNarrowbandFreqEdit, testsupport::Field::Shown).shown);
    EXPECT_FALSE(page.Written(kDvbtFreqEdit, testsupport::Field::Shown).shown);
}

TEST(UnitSessionRead, EveryUnitOperationNeedsAConnection) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.view.connected = false;
    EXPECT_FALSE(rig.session->ReadUnitConfig(true));
    EXPECT_FALSE(rig.session->SwitchDemodMode(1));
    rig.session->RefreshSimplePage();
    rig.session->ApplySimplePage();
    ASSERT_EQ(rig.view.messages.size(), 4u);
    for (const auto& m : rig.view.messages) {
        EXPECT_EQ(m.text, "No connection currently");
        EXPECT_EQ(m.caption, "Error");
        EXPECT_EQ(m.icon, MessageIcon::Warning);
    }
    EXPECT_TRUE(rig.view.buttons.empty());
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_TRUE(rig.waits.empty());
}

TEST(UnitSessionRead, AFailedSlotReadLeavesTabsAndPagesAlone) {
    UnitRig rig(false, UnitRig::Transport::Tcp);
    ASSERT_TRUE(rig.started);
    rig.unit->SetFault(sim::Fault::DropConnection, 1);
    EXPECT_FALSE(rig.session->ReadUnitConfig(true));
    ExpectOnlyError(rig.view, "Error 0x80000008 reading demod config");
    EXPECT_TRUE(rig.view.selectedTabs.empty());
    EXPECT_EQ(rig.session->currentConfig, -1);
    EXPECT_EQ(rig.state.demodMode.load(), -1);
    EXPECT_TRUE(rig.view.simple.WrittenIds(testsupport::Field::Text).empty());
    EXPECT_EQ(rig.view.buttons, (std::vector<bool>{false, true}));
}

TEST(UnitSessionMode, SwitchOverEthernetWaitsTwiceAndShowsTheDvbtColumn) {
    UnitRig rig(false, UnitRig::Transport::Tcp);
    ASSERT_TRUE(rig.started);
    rig.view.fullOpen = true;
    rig.Connect();
    const uint64_t restartsBefore = rig.unit->Counters().restarts;

    ASSERT_TRUE(rig.session->SwitchDemodMode(1));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.waits, (std::vector<uint32_t>{7000, 7000}));
    EXPECT_EQ(rig.view.pleaseWaitText, "Please wait while the unit changes mode...");
    EXPECT_EQ(rig.view.pleaseWaitMax, -1);
    EXPECT_EQ(rig.view.pleaseWaitHidden, 1);
    EXPECT_EQ(rig.unit->Mode(), 1);
    EXPECT_EQ(rig.unit->Counters().restarts, restartsBefore + 1);
    EXPECT_EQ(rig.Requests().front(), "0001wgudm;1;");
    EXPECT_EQ(rig.session->pageMode, 1);
    EXPECT_EQ(rig.state.demodMode.load(), 1);

    const auto& simple = rig.view.simple;
    EXPECT_TRUE(simple.IsChecked(kIdRadioDvbt));
    EXPECT_FALSE(simple.IsChecked(kIdRadioNarrowband));
    EXPECT_TRUE(simple.Written(kDvbtFreqEdit, testsupport::Field::Shown).shown);
    EXPECT_FALSE(simple.Written(kNarrowbandFreqEdit, testsupport::Field::Shown).shown);
    const auto& full = rig.view.full;
    EXPECT_TRUE(full.IsChecked(kIdRadioDvbt));
    EXPECT_TRUE(full.Written(kDvbtFreqEdit, testsupport::Field::Enabled).enabled);
    EXPECT_FALSE(full.Written(kNarrowbandFreqEdit, testsupport::Field::Enabled).enabled);
    // The DVBT table was read after the restart, into both pages.
    EXPECT_FALSE(simple.GetText(kDvbtFreqEdit).empty());
    EXPECT_EQ(full.GetText(kDvbtFreqEdit), simple.GetText(kDvbtFreqEdit));
}

TEST(UnitSessionMode, AFailedModeWriteNeitherWaitsNorReads) {
    UnitRig rig(false, UnitRig::Transport::Tcp);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    rig.unit->SetFault(sim::Fault::DropConnection, 1);
    EXPECT_FALSE(rig.session->SwitchDemodMode(1));
    ExpectOnlyError(rig.view, "Error 0x80000008 setting demod mode");
    EXPECT_TRUE(rig.waits.empty());
    EXPECT_EQ(rig.view.pleaseWaitShown, 0);
    EXPECT_EQ(rig.Requests(), (Strings{"0001wgudm;1;"}));
}

TEST(UnitSessionSlots, LoadingATabLoadsTheSlotAndReadsBack) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    rig.view.highlights.clear();
    rig.view.selectedTabs.clear();

    EXPECT_TRUE(rig.session->LoadConfigSlot(4));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.Requests().front(), "0001wdloa;5;");
    EXPECT_EQ(rig.Requests()[1], "0001rdlas;;");
    EXPECT_EQ(rig.waits, (std::vector<uint32_t>{1000}));
    EXPECT_EQ(rig.view.highlights, (std::vector<int>{4, -1}));
    EXPECT_EQ(rig.view.selectedTabs, (std::vector<int>{4}));
    EXPECT_EQ(rig.session->currentConfig, 5);
    EXPECT_EQ(rig.unit->LastLoadedSlot(), 5);

    rig.Forget();
    EXPECT_TRUE(rig.session->SaveConfigSlot());
    EXPECT_EQ(rig.Requests(), (Strings{"0001wdsto;5;"}));
}

TEST(UnitSessionSlots, FailedStoreRefusesTheTabChangeAndFailedLoadSaysSo) {
    UnitRig rig(false, UnitRig::Transport::Tcp);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    rig.unit->SetFault(sim::Fault::DropConnection, 1);
    EXPECT_FALSE(rig.session->SaveConfigSlot());
    ExpectOnlyError(rig.view, "Unable to save config 1");

    rig.Forget();
    rig.unit->SetFault(sim::Fault::DropConnection, 1);
    EXPECT_FALSE(rig.session->LoadConfigSlot(2));
    ExpectOnlyError(rig.view, "Unable to load config 3");
    EXPECT_EQ(rig.session->currentConfig, 3);
    EXPECT_TRUE(rig.waits.empty());
}

TEST(UnitSessionSlots, WithoutALinkTabsOnlyMoveTheHighlight) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.link->CloseSerialPort();
    ASSERT_FALSE(rig.link->IsConnected());
    EXPECT_TRUE(rig.session->SaveConfigSlot());
    EXPECT_FALSE(rig.session->LoadConfigSlot(6));
    EXPECT_EQ(rig.view.highlights, (std::vector<int>{-1, 6}));
    EXPECT_EQ(rig.session->currentConfig, -1);
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_TRUE(rig.view.messages.empty());
}

TEST(UnitSessionSlots, StoreBeforeAnyReadSendsSlotMinusOne) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    // Reach the unit once so the link counts as connected, without a read-back.
    ASSERT_EQ(rig.session->Transact(rig.session->Request("rgadd;;")), kResultOk);
    rig.Forget();
    // The unit refuses slot -1 with status 'E', which is still an answer.
    EXPECT_TRUE(rig.session->SaveConfigSlot());
    EXPECT_EQ(rig.Requests(), (Strings{"0001wdsto;-1;"}));
}

TEST(UnitSessionApply, WritesOnlyWhatChangedThenReadsThatTableBack) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    rig.session->ApplySimplePage();
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_EQ(rig.view.buttons, (std::vector<bool>{false, true}));

    rig.Forget();
    rig.view.simple.SetText(kNarrowbandFreqEdit, "1500");
    rig.session->ApplySimplePage();
    const Strings requests = rig.Requests();
    ASSERT_EQ(requests.size(), 1u + kDemodTableRows);
    EXPECT_EQ(requests[0], "0001w1ipf;1.500000;");
    EXPECT_EQ(requests[1], "0001r1los;;");
    EXPECT_TRUE(rig.RequestsWith("rtdat").empty());
    EXPECT_EQ(rig.view.simple.GetText(kNarrowbandFreqEdit), "1500.000");
}

TEST(UnitSessionApply, AWriteAnswerRepeatedAfterTheReadBackWentSaysSoAndShowsTheUnitsValues) {
    UnitRig rig(false, UnitRig::Transport::Tcp);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    // The write's answer comes again once the read-back's first request has gone.
    rig.unit->SetFault(sim::Fault::ReplyTwiceApart, 1, 30, "1ipf");
    rig.view.simple.SetText(kNarrowbandFreqEdit, "1500");
    rig.session->ApplySimplePage();
    rig.unit->ClearFault();
    ASSERT_FALSE(rig.view.messages.empty());
    EXPECT_EQ(rig.view.messages[0].text, kTextUnrequestedReplies);
    EXPECT_EQ(rig.unit->Value("1ipf"), "1.500000");
    EXPECT_EQ(rig.view.simple.GetText(kNarrowbandFreqEdit), "1500.000");
    EXPECT_EQ(rig.view.buttons.back(), true);
}

TEST(UnitSessionAddress, NewAddressGoesToTheUnitAndIsUsedFromThenOn) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    rig.session->SetUnitAddress(42);
    EXPECT_EQ(rig.Requests(), (Strings{"0001wgadd;0042;"}));
    EXPECT_EQ(rig.session->unitAddress, 42);
    EXPECT_EQ(rig.view.addresses, (std::vector<int>{42}));
    EXPECT_EQ(rig.unit->Address(), 42);

    rig.Forget();
    ASSERT_TRUE(rig.session->ReadUnitConfig(true));
    EXPECT_EQ(rig.Requests().front(), "0042rdlas;;");
    EXPECT_TRUE(rig.view.messages.empty());

    // Without a connection nothing is sent, but the address is taken.
    rig.Forget();
    rig.view.connected = false;
    rig.session->SetUnitAddress(7);
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_EQ(rig.session->unitAddress, 7);
    EXPECT_EQ(rig.view.addresses.back(), 7);
}

}  // namespace
