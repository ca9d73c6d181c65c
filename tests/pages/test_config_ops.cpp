// Configuration files and sets against the simulated unit, through the real
// link: what goes on the wire, what lands on disk, and what the operator is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/unrequested.h"
#include "pages/config_file.h"
#include "pages/config_ops.h"
#include "platform/program_folder.h"
#include "support/session_rig.h"

namespace {

using namespace std::string_literals;
using testcfg::UnitRig;

std::string Read(const std::string& path) {
    std::string contents;
    EXPECT_TRUE(ReadWholeFile(path, contents)) << path;
    return contents;
}

std::string ItemValue(const DescribedRecord& record, const std::string& code) {
    for (const auto& item : record.items)
        if (item.code == code) return item.raw;
    return "<absent>";
}

std::string U32(uint32_t v) {
    std::string s;
    AppendU32(s, v);
    return s;
}

void ExpectOnlyError(const testcfg::RecordingView& view, const std::string& text) {
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, text);
    EXPECT_EQ(view.messages[0].caption, "Error");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
}


// ---- single configuration files --------------------------------------------------

TEST(ConfigFileOps, TwoModeSaveVisitsTheOtherModeReadsItFreshAndLoadsBack) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    ASSERT_EQ(rig.unit->Mode(), 0);
    // Give the DVBT side a value the program has not read yet.
    ASSERT_TRUE(rig.session->SwitchDemodMode(1));
    rig.unit->SetValue("edef", "Dvbt side");
    rig.session->Transact(rig.session->Request("wdsto;1;"));
    ASSERT_TRUE(rig.session->SwitchDemodMode(0));
    rig.unit->SetValue("edef", "Main");
    rig.session->Transact(rig.session->Request("wdsto;1;"));
    rig.session->ReadUnitConfig(true);
    ASSERT_EQ(rig.session->currentConfig, 1);
    rig.Forget();

    const std::string path = rig.folder.File("one.cfg");
    ASSERT_TRUE(SaveConfigToFile(*rig.session, path));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.view.buttons, (std::vector<bool>{false, true}));
    EXPECT_EQ(rig.waits, (std::vector<uint32_t>{7000, 7000}));
    EXPECT_EQ(rig.RequestsWith("wgudm"), (std::vector<std::string>{"0001wgudm;1;", "0001wgudm;0;"}));
    EXPECT_EQ(rig.unit->Mode(), 0);

    const std::string file = Read(path);
    EXPECT_EQ(file.substr(0, 4), U32(2));
    EXPECT_EQ(file.substr(file.size() - 7, 3), "///");
    const DescribedFile d = DescribeConfigFile(file);
    ASSERT_TRUE(d.checksumOk);
    ASSERT_EQ(d.records.size(), 2u);
    EXPECT_EQ(d.records[0].mode, 0);
    EXPECT_EQ(d.records[1].mode, 1);
    EXPECT_EQ(d.records[0].slot, static_cast<uint32_t>(rig.session->currentConfig));
    EXPECT_EQ(ItemValue(d.records[0], "edef"), "Main");
    EXPECT_EQ(ItemValue(d.records[1], "edef"), "Dvbt side");

    // Load the file back.
    rig.Forget();
    ASSERT_TRUE(LoadConfigFromFile(*rig.session, path));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.unit->Mode(), 0);
    // The first record is of the current mode: its gudm is not sent. The
    // second switches to DVBT, and the load switches back.
    EXPECT_EQ(rig.RequestsWith("wgudm"), (std::vector<std::string>{"0001wgudm;1;", "0001wgudm;0;"}));
    EXPECT_EQ(rig.RequestsWith("wedef"), (std::vector<std::string>{"0001wedef;Main;", "0001wedef;Dvbt side;"}));
    EXPECT_EQ(rig.waits, (std::vector<uint32_t>{7000, 7000, 7000}));
    EXPECT_EQ(rig.view.buttons.front(), false);
    EXPECT_EQ(rig.view.buttons.back(), true);
}

TEST(ConfigFileOps, ATwoModeLoadLeavesBothModesAsTheFileHasThem) {
    // A file of one unit loaded into another whose values all differ: the
    // load visits the second mode and comes back, and both modes must hold
    // the file's values afterwards, the first one included.
    std::string factoryFile;
    {
        UnitRig factory;
        ASSERT_TRUE(factory.started);
        factory.Connect();
        ASSERT_TRUE(SaveConfigToFile(*factory.session, factory.folder.File("f.cfg")));
        factoryFile = Read(factory.folder.File("f.cfg"));
    }
    UnitRig rig(false, testsupport::Transport::Serial, true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("f.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, factoryFile));
    const std::string before = rig.unit->Value("1dco");
    ASSERT_NE(before, "");
    ASSERT_TRUE(LoadConfigFromFile(*rig.session, path));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.unit->Mode(), 0);
    EXPECT_NE(rig.unit->Value("1dco"), before);
    // Saved again, the unit gives the file back byte for byte.
    const std::string again = rig.folder.File("again.cfg");
    ASSERT_TRUE(SaveConfigToFile(*rig.session, again));
    EXPECT_TRUE(Read(again) == factoryFile);
}

TEST(ConfigFileOps, K840UnitSavesOneRecordAndLoadsWithoutAnyWait) {
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    ASSERT_EQ(rig.state.modelFlag.load(), 1);
    rig.unit->SetValue("edef", "Solo");
    rig.session->ReadUnitConfig(true);
    rig.Forget();

    const std::string path = rig.folder.File("k840.cfg");
    ASSERT_TRUE(SaveConfigToFile(*rig.session, path));
    EXPECT_TRUE(rig.waits.empty());
    EXPECT_TRUE(rig.RequestsWith("gudm").empty());
    const DescribedFile d = DescribeConfigFile(Read(path));
    EXPECT_EQ(d.recordCount, 1u);
    ASSERT_EQ(d.records.size(), 1u);
    EXPECT_EQ(ItemValue(d.records[0], "edef"), "Solo");

    rig.unit->SetValue("edef", "Other");
    rig.Forget();
    ASSERT_TRUE(LoadConfigFromFile(*rig.session, path));
    EXPECT_EQ(rig.unit->Value("edef"), "Solo");
    EXPECT_TRUE(rig.waits.empty());
    EXPECT_TRUE(rig.RequestsWith("wgudm").empty());
}

TEST(ConfigFileOps, RefusesBadFilesBeforeSendingAnything) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("bad.cfg");
    auto tryLoad = [&](const std::string& contents, const std::string& message) {
        ASSERT_TRUE(ReplaceFileAtomically(path, contents));
        rig.Forget();
        EXPECT_FALSE(LoadConfigFromFile(*rig.session, path));
        ExpectOnlyError(rig.view, message);
        EXPECT_TRUE(rig.Requests().empty()) << "for " << message;
        EXPECT_EQ(rig.view.buttons, (std::vector<bool>{false, true}));
    };
    std::string good;
    BeginConfigFile(good, 2);
    good += "DEM" + U32(1) + "gudm\x01"s + U32(0) + "----";
    FinishConfigFile(good);

    std::string altered = good;
    altered[6] = 'X';
    tryLoad(altered, "Invalid checksum in file");
    tryLoad("ab", "Invalid checksum in file");
    tryLoad("", "Invalid checksum in file");

    std::string three;
    BeginConfigFile(three, 3);
    FinishConfigFile(three);
    tryLoad(three, "More than 1 config in file");

    std::string notDem;
    BeginConfigFile(notDem, 1);
    notDem += "KEY" + U32(1) + "----";
    FinishConfigFile(notDem);
    tryLoad(notDem, "Config in file is not a demod config");

    rig.Forget();
    EXPECT_FALSE(LoadConfigFromFile(*rig.session, rig.folder.File("missing.cfg")));
    ExpectOnlyError(rig.view, "Unable to open file for reading");

    rig.view.connected = false;
    rig.Forget();
    EXPECT_FALSE(LoadConfigFromFile(*rig.session, path));
    EXPECT_FALSE(SaveConfigToFile(*rig.session, path));
    ASSERT_EQ(rig.view.messages.size(), 2u);
    EXPECT_EQ(rig.view.messages[0].text, "No connection currently");
    EXPECT_EQ(rig.view.messages[1].text, "No connection currently");
    EXPECT_TRUE(rig.Requests().empty());
}

TEST(ConfigFileOps, AnItemThatCannotBeSentStopsTheLoadBeforeAnythingIsSent) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("item.cfg");
    const std::string before = "gudm\x01"s + U32(0) + "1ipf\x00"s + U32(8) + "1.500000";
    const std::string after = "zdes\x01"s + U32(1) + "----";
    const std::vector<std::string> badItems = {
        "edef\x07"s + U32(1),                                   // unknown kind
        "edef\x00"s + U32(244) + std::string(244, 'x'),         // too long for a request
        "edef\x00"s + U32(0x7FFFFFFF) + "abc",                  // longer than the file
    };
    for (const auto& bad : badItems) {
        std::string file;
        BeginConfigFile(file, 2);
        file += "DEM" + U32(1) + before + bad + after;
        file += "DEM" + U32(1) + before + after;
        FinishConfigFile(file);
        ASSERT_TRUE(ReplaceFileAtomically(path, file));
        rig.Forget();
        EXPECT_FALSE(LoadConfigFromFile(*rig.session, path));
        ExpectOnlyError(rig.view, "Invalid item in file");
        // The whole file is checked first: not even the good 1ipf before it goes out.
        EXPECT_TRUE(rig.Requests().empty());
        EXPECT_EQ(rig.view.buttons.back(), true);
    }
}

TEST(ConfigFileOps, SaveThatCannotWriteSendsNothingAndLeavesNoFile) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("no-such-folder/x.cfg");
    EXPECT_FALSE(SaveConfigToFile(*rig.session, path));
    ExpectOnlyError(rig.view, "Unable to open file for writing");
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(path));

    // A folder in the way of the file name.
    rig.Forget();
    std::filesystem::create_directory(rig.folder.File("dir.cfg"));
    EXPECT_FALSE(SaveConfigSet(*rig.session, rig.folder.File("dir.cfg")));
    ExpectOnlyError(rig.view, "Unable to open file for writing");
    EXPECT_TRUE(rig.Requests().empty());
}

// ---- configuration sets ------------------------------------------------------------

TEST(ConfigSetOps, TwoModeSetHoldsSixteenRecordsAndLoadsIntoAK840AsEight) {
    std::string setFile;
    {
        UnitRig rig;
        ASSERT_TRUE(rig.started);
        rig.Connect();
        rig.unit->SetValue("edef", "Slot three");
        rig.session->Transact(rig.session->Request("wdsto;3;"));
        rig.Forget();

        const std::string path = rig.folder.File("set.cfg");
        ASSERT_TRUE(SaveConfigSet(*rig.session, path));
        ASSERT_EQ(rig.view.messages.size(), 1u);
        EXPECT_EQ(rig.view.messages[0].text, "Config set saved");
        EXPECT_EQ(rig.view.messages[0].caption, "Alert");
        EXPECT_EQ(rig.view.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(rig.view.pleaseWaitText, "Please wait while configs are read and saved...");
        EXPECT_EQ(rig.view.pleaseWaitMax, 18);
        std::vector<int> expected;
        for (int k = 0; k <= 18; ++k) expected.push_back(k);
        EXPECT_EQ(rig.view.progress, expected);
        EXPECT_EQ(rig.view.pleaseWaitHidden, 1);
        EXPECT_EQ(rig.unit->LastLoadedSlot(), 1);
        EXPECT_EQ(rig.session->currentConfig, 1);
        EXPECT_EQ(rig.view.buttons.back(), true);
        // The walk ends with the closing store into slot 8 and the load of slot 1.
        const auto slots = rig.RequestsWith("wd");
        ASSERT_GE(slots.size(), 2u);
        EXPECT_EQ(slots[slots.size() - 2], "0001wdsto;8;");
        EXPECT_EQ(slots.back(), "0001wdloa;1;");

        setFile = Read(path);
        const DescribedFile d = DescribeConfigFile(setFile);
        ASSERT_TRUE(d.checksumOk);
        EXPECT_EQ(d.recordCount, 16u);
        ASSERT_EQ(d.records.size(), 16u);
        for (int r = 0; r < 16; ++r) {
            EXPECT_EQ(d.records[r].slot, static_cast<uint32_t>(r % 8 + 1));
            EXPECT_EQ(d.records[r].mode, r < 8 ? 0 : 1);
            EXPECT_TRUE(d.records[r].complete);
        }
        EXPECT_EQ(ItemValue(d.records[2], "edef"), "Slot three");
    }

    UnitRig k840(true);
    ASSERT_TRUE(k840.started);
    k840.Connect();
    const std::string path = k840.folder.File("set.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, setFile));
    ASSERT_TRUE(LoadConfigSet(*k840.session, path));
    ASSERT_EQ(k840.view.messages.size(), 1u);
    EXPECT_EQ(k840.view.messages[0].text, "Config set loaded");
    EXPECT_EQ(k840.view.messages[0].caption, "Alert");
    EXPECT_EQ(k840.view.pleaseWaitText, "Please wait while configs are read and sent...");
    EXPECT_EQ(k840.view.pleaseWaitMax, 9);
    EXPECT_EQ(k840.view.progress.back(), 9);
    // Eight records, each one edef; eight slot loads and the closing one.
    EXPECT_EQ(k840.RequestsWith("wedef").size(), 8u);
    EXPECT_EQ(k840.RequestsWith("wdloa").size(), 9u);
    EXPECT_TRUE(k840.RequestsWith("wgudm").empty());
    for (uint32_t ms : k840.waits) EXPECT_EQ(ms, 1000u);
    EXPECT_EQ(k840.waits.size(), 9u);
    EXPECT_EQ(k840.unit->SlotValue(0, 3, "edef"), "Slot three");
    EXPECT_EQ(k840.unit->LastLoadedSlot(), 1);
}

// Saving a set reads the unit: no stored slot of either mode may change. After
// the switch to the second mode the unit runs that mode's last slot, which must
// not be stored over the other mode's slot 8.
TEST(ConfigSetOps, SavingASetChangesNoStoredSlotOfEitherMode) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    std::vector<std::string> before;
    for (int mode = 0; mode < 2; ++mode)
        for (int slot = 1; slot <= 8; ++slot) before.push_back(rig.unit->SlotValue(mode, slot, "edef"));
    ASSERT_NE(before[8 + 0], before[8 + 7]);   // DVB-T slots 1 and 8 differ

    const std::string path = rig.folder.File("set.cfg");
    ASSERT_TRUE(SaveConfigSet(*rig.session, path));
    const DescribedFile d = DescribeConfigFile(Read(path));
    ASSERT_EQ(d.records.size(), 16u);
    for (int mode = 0; mode < 2; ++mode) {
        for (int slot = 1; slot <= 8; ++slot) {
            const std::string& stored = before[static_cast<size_t>(mode * 8 + slot - 1)];
            EXPECT_EQ(rig.unit->SlotValue(mode, slot, "edef"), stored) << "mode " << mode << " slot " << slot;
            EXPECT_EQ(ItemValue(d.records[static_cast<size_t>(mode * 8 + slot - 1)], "edef"), stored)
                << "record of mode " << mode << " slot " << slot;
        }
    }
}

TEST(ConfigSetOps, K840SetIsRefusedByATwoModeUnitAndLoadsIntoAK840WithoutModeWaits) {
    std::string setFile;
    {
        UnitRig rig(true);
        ASSERT_TRUE(rig.started);
        rig.Connect();
        const std::string path = rig.folder.File("set8.cfg");
        ASSERT_TRUE(SaveConfigSet(*rig.session, path));
        EXPECT_EQ(rig.view.pleaseWaitMax, 10);
        EXPECT_EQ(rig.view.progress.back(), 10);
        EXPECT_TRUE(rig.RequestsWith("gudm;").size() == rig.RequestsWith("rgudm").size());
        for (uint32_t ms : rig.waits) EXPECT_EQ(ms, 1000u);
        setFile = Read(path);
        EXPECT_EQ(DescribeConfigFile(setFile).records.size(), 8u);

        rig.Forget();
        ASSERT_TRUE(LoadConfigSet(*rig.session, path));
        EXPECT_EQ(rig.RequestsWith("wdloa").size(), 9u);
        for (uint32_t ms : rig.waits) EXPECT_EQ(ms, 1000u);
    }
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("set8.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, setFile));
    EXPECT_FALSE(LoadConfigSet(*rig.session, path));
    ExpectOnlyError(rig.view, "Incorrect number of configs in file");
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_EQ(rig.view.pleaseWaitShown, 0);
}

TEST(ConfigSetOps, SetWithARecordThatIsNotAConfigIsRefusedWhole) {
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    std::string file;
    BeginConfigFile(file, 8);
    file += "DEM" + U32(1) + "gudm\x01"s + U32(0) + "edef\x00"s + U32(3) + "one" + "----";
    file += "XYZ" + U32(2) + "----";
    FinishConfigFile(file);
    const std::string path = rig.folder.File("broken-set.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, file));
    EXPECT_FALSE(LoadConfigSet(*rig.session, path));
    ExpectOnlyError(rig.view, "Invalid config type in file");
    // The whole set is checked first: no slot is touched.
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_NE(rig.unit->SlotValue(0, 1, "edef"), "one");
    EXPECT_EQ(rig.view.pleaseWaitShown, 0);
    EXPECT_EQ(rig.view.buttons.back(), true);
}

TEST(ConfigSetOps, FailedSetSaveLeavesTheEarlierFileUntouched) {
    UnitRig rig(false, UnitRig::Transport::Tcp);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("keep.cfg");
    const std::string old = "earlier set, byte for byte\x00\x01\x02"s;
    ASSERT_TRUE(ReplaceFileAtomically(path, old));

    rig.unit->SetFault(sim::Fault::DropConnection);   // fails fast over TCP
    EXPECT_FALSE(SaveConfigSet(*rig.session, path));
    rig.unit->ClearFault();
    ExpectOnlyError(rig.view, "Unable to switch config");
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(rig.view.pleaseWaitShown, 1);
    EXPECT_EQ(rig.view.pleaseWaitHidden, 1);
    EXPECT_EQ(rig.view.buttons.back(), true);
    // Nothing else in the folder: no empty file, no temporary file.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(rig.folder.path)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

// ---- restore defaults ----------------------------------------------------------------

std::vector<std::string> RestoreSequence(int passes, int firstPrev, const DownconverterDefaults& dc) {
    std::vector<std::string> out = {"0001wddef;1;"};
    int prev = firstPrev;
    for (int p = 0; p < passes; ++p)
        for (int i = 1; i <= 8; ++i) {
            out.push_back("0001wdsto;" + std::to_string(prev) + ";");
            out.push_back("0001wdloa;" + std::to_string(i) + ";");
            out.push_back("0001w1los;"s + dc.loSide + ";");
            out.push_back("0001w1dco;"s + dc.loFrequency + ";");
            out.push_back("0001w1ipf;"s + dc.inputFrequency + ";");
            prev = i;
        }
    out.push_back("0001wdsto;8;");
    out.push_back("0001wdloa;1;");
    return out;
}

TEST(RestoreDefaults, TwoModeUnitGetsTheDownconverterInEverySlotTwice) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const int prev = rig.session->currentConfig;
    ASSERT_TRUE(RestoreDefaults(*rig.session, kDefaultDownconverterId));
    const auto requests = rig.Requests();
    const auto expected = RestoreSequence(2, prev, *FindDownconverter(1005));
    ASSERT_GE(requests.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + expected.size()), expected);
    // Byte for byte on the wire: STX, text, checksum, ETX.
    const auto frames = rig.unit->Requests();
    for (size_t i = 0; i < expected.size(); ++i) {
        std::string frame;
        ASSERT_TRUE(BuildRequestFrame("\x02" + expected[i], frame));
        EXPECT_EQ(frames[i], frame) << i;
    }
    EXPECT_EQ(frames[0], "\x02" "0001wddef;1;\xF2\x03"s);
    // Then the read-back starts with the slot number.
    ASSERT_GT(requests.size(), expected.size());
    EXPECT_EQ(requests[expected.size()], "0001rdlas;;");
    ASSERT_GE(rig.waits.size(), 18u);
    EXPECT_EQ(rig.waits[0], 7000u);
    for (size_t i = 1; i < 18; ++i) EXPECT_EQ(rig.waits[i], 1000u) << i;
    EXPECT_EQ(rig.view.buttons.front(), false);
    EXPECT_EQ(rig.view.buttons.back(), true);
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.unit->SlotValue(0, 5, "1ipf"), rig.unit->Value("1ipf"));
}

TEST(RestoreDefaults, K840UnitGetsOnePassAndUnknownChoicesSendNothing) {
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    EXPECT_FALSE(RestoreDefaults(*rig.session, 1004));
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_TRUE(rig.view.buttons.empty());

    const int prev = rig.session->currentConfig;
    ASSERT_TRUE(RestoreDefaults(*rig.session, 1006));
    const auto requests = rig.Requests();
    const auto expected = RestoreSequence(1, prev, *FindDownconverter(1006));
    ASSERT_GE(requests.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + expected.size()), expected);
    EXPECT_EQ(expected[3], "0001w1los;1;");
    EXPECT_EQ(expected[4], "0001w1dco;1.700;");
    EXPECT_EQ(expected[5], "0001w1ipf;1.395;");
}

TEST(RestoreDefaults, TableMatchesTheDialogChoices) {
    const int ids[] = {1005, 1006, 1048, 1049, 1050, 1051, 1052, 1053, 1054, 1055, 1056, 1057};
    for (int id : ids) ASSERT_NE(FindDownconverter(id), nullptr) << id;
    EXPECT_EQ(FindDownconverter(1047), nullptr);
    int high = 0;
    for (const auto& row : kDownconverters) high += std::string(row.loSide) == "1";
    EXPECT_EQ(high, 3);
    EXPECT_STREQ(FindDownconverter(1057)->loFrequency, "7.750");
    EXPECT_STREQ(FindDownconverter(1057)->inputFrequency, "8.400");
    EXPECT_STREQ(FindDownconverter(1005)->caption, "UHF");
}

}  // namespace

// ---- a unit that sends a reply a second time, unasked --------------------------

namespace {

// Whether the operator was told of replies not asked for.
bool ToldOfUnrequestedReplies(const UnitRig& rig) {
    const auto& said = rig.view.messages;
    return std::any_of(said.begin(), said.end(), [](const auto& m) { return m.text == kTextUnrequestedReplies; });
}

}  // namespace

// The copy comes 20 ms after the reply, when the next request has gone out, on
// every request for 1ipf: each operation tells the operator, a save leaves the
// file as it was, a load is not reported done.
TEST(ConfigUnrequested, EveryOperationFailsAndNoSaveWritesAFile) {
    using Operation = bool (*)(CUnitSession&, const std::string&);
    struct Case {
        const char* name;
        Operation operation;
        bool save;
    };
    const Case cases[] = {{"save config", SaveConfigToFile, true},
                          {"save set", SaveConfigSet, true},
                          {"load config", LoadConfigFromFile, false},
                          {"load set", LoadConfigSet, false}};
    for (const auto transport : {testsupport::Transport::Serial, testsupport::Transport::Tcp}) {
        UnitRig rig(false, transport);
        ASSERT_TRUE(rig.started);
        rig.Connect();
        const std::string config = rig.folder.File("unit.cfg"), set = rig.folder.File("unit.set");
        ASSERT_TRUE(SaveConfigToFile(*rig.session, config));
        ASSERT_TRUE(SaveConfigSet(*rig.session, set));
        for (const Case& c : cases) {
            const std::string path = c.operation == SaveConfigSet || c.operation == LoadConfigSet ? set : config;
            const std::string before = Read(path);
            rig.Forget();
            rig.unit->SetFault(sim::Fault::ReplyTwiceApart, -1, 20, "1ipf");
            EXPECT_FALSE(c.operation(*rig.session, path)) << c.name;
            rig.unit->ClearFault();
            // The reason, and where a step failed on it, the step's own text.
            EXPECT_TRUE(ToldOfUnrequestedReplies(rig)) << c.name;
            if (c.save) {
                EXPECT_EQ(Read(path), before) << c.name;
            }
            // Read afresh, a clean unit is trusted again.
            EXPECT_TRUE(rig.session->ReadUnitConfig(true));
            EXPECT_FALSE(rig.session->readShifted);
        }
    }
}

// A reply copied late enough to answer the next request, one row before the
// end of the other mode's table: from there every exchange takes its
// predecessor's reply, and the mode change that follows takes the table's last
// one. The unit's real answer to the mode change is the last thing it sends
// before it restarts (over TCP, dropping the connection); every reply comes
// 30 ms after its request, so that answer is still on its way when the link has
// moved on. Reconnecting after the restart must not throw it away unseen.
TEST(ConfigUnrequested, AShiftThatRunsIntoARestartFailsTheSave) {
    for (const auto transport : {testsupport::Transport::Serial, testsupport::Transport::Tcp}) {
        const char* name = testsupport::TransportName(transport);
        UnitRig rig(false, transport, false, 1, 0, 30);
        ASSERT_TRUE(rig.started);
        rig.Connect();
        const std::string path = rig.folder.File("unit.cfg");
        ASSERT_TRUE(SaveConfigToFile(*rig.session, path)) << name;
        const std::string before = Read(path);
        rig.Forget();
        // The save reads the other mode's table afresh: 1dnr, then 1ina, its last row.
        rig.unit->SetFault(sim::Fault::ReplyTwiceApart, 1, 5, "1dnr");
        EXPECT_FALSE(SaveConfigToFile(*rig.session, path)) << name;
        rig.unit->ClearFault();
        EXPECT_TRUE(ToldOfUnrequestedReplies(rig)) << name;
        EXPECT_EQ(Read(path), before) << name;
    }
}
