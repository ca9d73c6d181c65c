// Loads of configuration files and sets that the unit does not take whole: a
// unit that restarts in the middle of a record, falls silent half way, or
// refuses the mode a record needs. Such a load ends failed, with the operator
// told what went wrong, and never as "Config set loaded".
#include <gtest/gtest.h>

#include <string>

#include "pages/config_file.h"
#include "pages/config_ops.h"
#include "platform/program_folder.h"
#include "support/session_rig.h"

namespace {

using testcfg::UnitRig;

// A set saved from a unit that starts in `mode`; factory values.
std::string SavedSet(bool k840, int mode) {
    UnitRig rig(k840);
    EXPECT_TRUE(rig.started);
    rig.Connect();
    if (mode != 0) {
        EXPECT_TRUE(rig.session->SwitchDemodMode(mode));
    }
    const std::string path = rig.folder.File("set.cfg");
    EXPECT_TRUE(SaveConfigSet(*rig.session, path));
    std::string file;
    EXPECT_TRUE(ReadWholeFile(path, file));
    return file;
}

// The rig's last message is an error (with `text`, when given), none said
// the set was loaded, and the buttons are back.
void ExpectFailedWith(const UnitRig& rig, const std::string& text = "") {
    ASSERT_FALSE(rig.view.messages.empty());
    if (!text.empty()) {
        EXPECT_EQ(rig.view.messages.back().text, text);
    }
    EXPECT_EQ(rig.view.messages.back().caption, "Error");
    for (const auto& m : rig.view.messages) EXPECT_NE(m.text, "Config set loaded");
    EXPECT_EQ(rig.view.buttons.back(), true);
}

// Failed serial reads end after 100 ms.
void QuickTimeouts(UnitRig& rig) {
    ASSERT_EQ(rig.link->SetCommTimeout(2, 100), kResultOk);
    ASSERT_EQ(rig.link->SetCommTimeout(0, 50), kResultOk);
}

TEST(ConfigLoadFailures, AUnitThatRestartsInTheMiddleOfARecordFailsTheSetLoad) {
    const std::string set = SavedSet(false, 0);
    // Over TCP: the restart drops the connection and the unit is away a while;
    // the writes it took before it are gone from its working configuration.
    UnitRig rig(false, UnitRig::Transport::Tcp, true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("set.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, set));
    const std::string slot1Before = rig.unit->SlotValue(0, 1, "1ipf");
    rig.unit->SetFault(sim::Fault::Restart, 1, 0, "edef");
    EXPECT_FALSE(LoadConfigSet(*rig.session, path));
    rig.unit->ClearFault();
    ExpectFailedWith(rig, "Unable to send item (edef) to demod");
    EXPECT_EQ(rig.view.pleaseWaitHidden, 1);
    // The half-taken record was never stored, and no other slot was reached.
    EXPECT_EQ(rig.unit->SlotValue(0, 1, "1ipf"), slot1Before);
    EXPECT_TRUE(rig.RequestsWith("wdloa;2;").empty());
}

TEST(ConfigLoadFailures, AUnitThatFallsSilentHalfWayFailsTheSetLoad) {
    const std::string set = SavedSet(false, 0);
    // At a slot store, a slot load, a mode read, inside a record, at the mode
    // change of the second pass and at the closing store.
    UnitRig probe;
    ASSERT_TRUE(probe.started);
    probe.Connect();
    const std::string probePath = probe.folder.File("set.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(probePath, set));
    ASSERT_TRUE(LoadConfigSet(*probe.session, probePath));
    const auto requests = probe.Requests();
    auto firstWith = [&](const std::string& part) {
        for (size_t i = 0; i < requests.size(); ++i)
            if (requests[i].find(part) != std::string::npos) return static_cast<int64_t>(i);
        ADD_FAILURE() << part;
        return int64_t(0);
    };
    int64_t closingStore = 0;
    for (size_t i = 0; i < requests.size(); ++i)
        if (requests[i] == "0001wdsto;8;") closingStore = static_cast<int64_t>(i);
    for (const int64_t answered : {int64_t(0), firstWith("wdloa;2;"), firstWith("rgudm") + 3, firstWith("wedef"),
                                   firstWith("wgudm;1;"), closingStore}) {
        UnitRig rig;
        ASSERT_TRUE(rig.started);
        rig.Connect();
        QuickTimeouts(rig);
        const std::string path = rig.folder.File("set.cfg");
        ASSERT_TRUE(ReplaceFileAtomically(path, set));
        rig.unit->SetSilentAfter(answered);
        EXPECT_FALSE(LoadConfigSet(*rig.session, path)) << answered;
        rig.unit->SetSilentAfter(-1);
        ExpectFailedWith(rig);
        EXPECT_EQ(rig.view.pleaseWaitHidden, 1) << answered;
    }
}

TEST(ConfigLoadFailures, ARecordOfAModeTheUnitRefusesIsNotWrittenIntoTheOtherMode) {
    // A set whose first pass is DVBT, loaded into a one-mode unit: the unit
    // refuses the mode change, and the DVBT values must not land in its slots.
    const std::string set = SavedSet(false, 1);
    ASSERT_EQ(DescribeConfigFile(set).records.at(0).mode, 1);
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("set.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, set));
    const std::string before = rig.unit->SlotValue(0, 1, "1ipf");
    EXPECT_FALSE(LoadConfigSet(*rig.session, path));
    ExpectFailedWith(rig, "Error 0x80000010 setting demod mode");
    EXPECT_EQ(rig.unit->SlotValue(0, 1, "1ipf"), before);
    EXPECT_TRUE(rig.RequestsWith("w1ipf").empty());
}

TEST(ConfigLoadFailures, AConfigFileLoadThatTheUnitDoesNotTakeFails) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    QuickTimeouts(rig);
    const std::string path = rig.folder.File("one.cfg");
    ASSERT_TRUE(SaveConfigToFile(*rig.session, path));
    // Silent from a write of either record, from the mode change between
    // them and from the way back to the first mode.
    // Each round: a fault-free load shows the requests from the round's
    // state; the next load meets a unit that falls silent at one of them.
    for (size_t round = 0;; ++round) {
        rig.Connect();
        ASSERT_TRUE(LoadConfigFromFile(*rig.session, path));
        const auto requests = rig.Requests();
        // Up to the read-back that ends the load (its slot read, rdlas).
        size_t readBack = requests.size();
        while (readBack > 0 && requests[readBack - 1].find("rdlas") == std::string::npos) --readBack;
        ASSERT_GT(readBack, 0u);
        std::vector<int64_t> points;
        for (size_t i = 0; i + 1 < readBack; ++i)
            if (requests[i].find("wedef") != std::string::npos || requests[i].find("wgudm") != std::string::npos)
                points.push_back(static_cast<int64_t>(i));
        ASSERT_GE(points.size(), 3u);
        if (round == points.size()) break;
        const int64_t answered = points[round];
        rig.Connect();
        rig.unit->SetSilentAfter(answered);
        EXPECT_FALSE(LoadConfigFromFile(*rig.session, path)) << "silent from " << requests[size_t(answered)];
        rig.unit->SetSilentAfter(-1);
        ASSERT_FALSE(rig.view.messages.empty()) << answered;
        EXPECT_EQ(rig.view.messages.back().caption, "Error");
        EXPECT_EQ(rig.view.buttons.back(), true);
        // The unit may have restarted in either mode: read it afresh.
        rig.session->ReadUnitConfig(true);
        if (rig.unit->Mode() != 0) {
            ASSERT_TRUE(rig.session->SwitchDemodMode(0));
        }
    }
}

// Restore defaults sends its whole sequence whatever the unit answers, and
// ends failed, with the operator told which step the unit did not take, when
// any of it went unanswered: never as a restore that took place.
TEST(RestoreDefaultsFailures, AUnitThatFallsSilentHalfWayFailsTheRestore) {
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    QuickTimeouts(rig);
    // One pass on this unit: ddef, 8 x (dsto, dloa, 1los, 1dco, 1ipf), dsto, dloa.
    struct Point {
        int64_t answered;
        const char* message;
    };
    const Point points[] = {
        {0, "Unable to restore defaults"},
        {38, "Unable to send item (1los) to demod"},
        {41, "Unable to save config 8"},
        {42, "Unable to switch config"},
    };
    for (const Point& point : points) {
        SCOPED_TRACE(point.answered);
        rig.Connect();
        rig.unit->SetSilentAfter(point.answered);
        EXPECT_FALSE(RestoreDefaults(*rig.session, kDefaultDownconverterId));
        rig.unit->SetSilentAfter(-1);
        // Every step was still tried, in order, with its waits.
        ASSERT_GE(rig.unit->Requests().size(), 43u);
        EXPECT_EQ(rig.Requests()[0], "0001wddef;1;");
        EXPECT_EQ(rig.waits[0], 7000u);
        ExpectFailedWith(rig, point.message);
    }
    // A restore the unit takes whole is still reported as done.
    rig.Connect();
    EXPECT_TRUE(RestoreDefaults(*rig.session, kDefaultDownconverterId));
    EXPECT_TRUE(rig.view.messages.empty());
}

}  // namespace
