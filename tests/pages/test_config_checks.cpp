// Files with a good checksum and bad content, and saves against a unit that
// stops answering half way: nothing reaches the unit from a bad file, nothing
// reaches the disk from a failed save, and the operator is told.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/frame.h"
#include "pages/config_file.h"
#include "pages/config_ops.h"
#include "platform/program_folder.h"
#include "support/session_rig.h"

namespace {

using namespace std::string_literals;
using testcfg::UnitRig;

std::string U32(uint32_t v) {
    std::string s;
    AppendU32(s, v);
    return s;
}

std::string Text(const std::string& code, const std::string& text) {
    return code + "\x00"s + U32(static_cast<uint32_t>(text.size())) + text;
}
std::string Option(const std::string& code, uint32_t n) { return code + "\x01"s + U32(n); }

// Six good items after the mode item: what the unit took before the check.
std::string GoodItems(int mode) {
    return Option("gudm", static_cast<uint32_t>(mode)) + Text("1ipf", "1.500000") + Option("1pol", 1) +
           Text("edef", "Good") + Option("tdat", 1) + Option("efai", 0) + Option("zdes", 4);
}

std::string Record(int slot, const std::string& items) { return "DEM" + U32(static_cast<uint32_t>(slot)) + items + "----"; }

std::string File(uint32_t count, const std::string& records) {
    std::string file;
    BeginConfigFile(file, count);
    file += records;
    FinishConfigFile(file);
    return file;
}

std::string Read(const std::string& path) {
    std::string contents;
    EXPECT_TRUE(ReadWholeFile(path, contents)) << path;
    return contents;
}

void ExpectOnlyError(const testcfg::RecordingView& view, const std::string& text) {
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, text);
    EXPECT_EQ(view.messages[0].caption, "Error");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
}

// A whole set of `count` good records of a two-mode unit.
std::string SetRecords(int records) {
    std::string out;
    for (int i = 0; i < records; ++i) out += Record(i % 8 + 1, GoodItems(i < 8 ? 0 : 1));
    return out;
}

TEST(ConfigFileChecks, BadContentWithAGoodChecksumSendsNothing) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("bad.cfg");
    struct Case {
        const char* what;
        std::string file;
        std::string message;
        bool sameAlone = true;   // a file valid for some unit model passes inspect
    };
    const std::string good = Record(1, GoodItems(0));
    const std::string second = Record(1, GoodItems(1));
    const std::vector<Case> cases = {
        {"a bad option after six good items", File(2, Record(1, GoodItems(0) + Option("1wid", 7)) + second),
         "Invalid item in file"},
        {"a placeholder option", File(2, Record(1, GoodItems(0) + Option("1wid", 0)) + second), "Invalid item in file"},
        {"factory reset", File(2, Record(1, GoodItems(0) + Text("ddef", "1")) + second), "Invalid item in file"},
        {"a new unit address", File(2, Record(1, GoodItems(0) + Text("gadd", "0077")) + second),
         "Invalid item in file"},
        {"a key", File(2, Record(1, GoodItems(0) + Text("zaes", "00112233")) + second), "Invalid item in file"},
        {"an unknown code", File(2, Record(1, GoodItems(0) + Option("qqqq", 0)) + second), "Invalid item in file"},
        {"a read-only row", File(2, Record(1, GoodItems(0) + Text("1snr", "12")) + second), "Invalid item in file"},
        {"a wrong kind", File(2, Record(1, GoodItems(0) + Option("edef", 1)) + second), "Invalid item in file"},
        {"a frequency that is no number", File(2, Record(1, GoodItems(0) + Text("1ipf", "1,75")) + second),
         "Invalid item in file"},
        {"a text with STX", File(2, Record(1, GoodItems(0) + Text("edef", "a\x02z")) + second),
         "Invalid item in file"},
        {"a mode 2", File(2, Record(1, GoodItems(0)) + Record(1, Option("gudm", 2))), "Invalid item in file"},
        {"a record without its mode", File(2, good + Record(1, Text("edef", "x"))), "Invalid item in file"},
        {"a truncated record", File(2, good + "DEM" + U32(1) + GoodItems(1)), "Invalid item in file"},
        {"a record beyond the count", File(2, good + second + good), "Invalid item in file"},
        {"one record for a two-mode unit", File(1, good), "Config in file is not a demod config", false},
        {"a second record of another type", File(2, good + "KEY" + U32(1) + "----"),
         "Config in file is not a demod config"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ReplaceFileAtomically(path, c.file));
        rig.Forget();
        EXPECT_FALSE(LoadConfigFromFile(*rig.session, path)) << c.what;
        ExpectOnlyError(rig.view, c.message);
        EXPECT_TRUE(rig.Requests().empty()) << c.what << ": " << rig.Requests().size() << " requests";
        EXPECT_EQ(rig.view.buttons.back(), true);
        // inspect's verdict is the very same.
        const DescribedFile d = DescribeConfigFile(c.file);
        if (c.sameAlone) {
            EXPECT_EQ(d.error.rfind(c.message, 0), 0u) << c.what << ": " << d.error;
        }
    }
    // The same file made good loads.
    ASSERT_TRUE(ReplaceFileAtomically(path, File(2, good + second)));
    rig.Forget();
    EXPECT_TRUE(LoadConfigFromFile(*rig.session, path));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.RequestsWith("wedef"), (std::vector<std::string>{"0001wedef;Good;", "0001wedef;Good;"}));
}

TEST(ConfigFileChecks, InspectNamesTheWrongItem) {
    const DescribedFile d = DescribeConfigFile(File(2, Record(1, GoodItems(0) + Text("ddef", "1")) + Record(1, GoodItems(1))));
    EXPECT_EQ(d.error, "Invalid item in file: record 1, item 8 (ddef): not a parameter that can be set from a file");
    const ConfigFileCheck c = CheckConfigFileAlone(File(16, SetRecords(3)));
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.Text(), "Invalid config type in file: file ends after 3 record(s) of 16");
    EXPECT_TRUE(CheckConfigFileAlone(File(16, SetRecords(16))).ok);
}

TEST(ConfigSetChecks, BadSetsSendNothing) {
    UnitRig rig;
    ASSERT_TRUE(rig.started);
    rig.Connect();
    const std::string path = rig.folder.File("set.cfg");
    std::string badType = SetRecords(8) + "XYZ" + U32(1) + "----" + SetRecords(16).substr(SetRecords(9).size());
    std::string badItem = SetRecords(16);
    badItem.insert(badItem.size() - 4, Text("gadd", "0077"));   // into the last record
    const std::vector<std::pair<std::string, std::string>> cases = {
        {File(16, SetRecords(3)), "Invalid config type in file"},
        {File(16, badType), "Invalid config type in file"},
        {File(16, badItem), "Invalid item in file"},
        {File(8, SetRecords(8)), "Incorrect number of configs in file"},
    };
    for (const auto& [file, message] : cases) {
        ASSERT_TRUE(ReplaceFileAtomically(path, file));
        rig.Forget();
        EXPECT_FALSE(LoadConfigSet(*rig.session, path));
        ExpectOnlyError(rig.view, message);
        EXPECT_TRUE(rig.Requests().empty()) << message << ": " << rig.Requests().size() << " requests";
        EXPECT_EQ(rig.view.pleaseWaitShown, 0);
        EXPECT_EQ(rig.view.buttons.back(), true);
    }
}

// A serial rig whose failed reads end after 100 ms.
void QuickTimeouts(UnitRig& rig) {
    ASSERT_EQ(rig.link->SetCommTimeout(2, 100), kResultOk);
    ASSERT_EQ(rig.link->SetCommTimeout(0, 50), kResultOk);
}

TEST(ConfigSaveFailures, AUnitThatFallsSilentFailsTheSaveAndLeavesTheOldFile) {
    // At every point of the save: the mode change, the other mode's read and
    // the way back.
    for (int answered : {0, 1, 10, 22}) {
        UnitRig rig;
        ASSERT_TRUE(rig.started);
        rig.Connect();
        QuickTimeouts(rig);
        const std::string path = rig.folder.File("keep.cfg");
        const std::string old = "earlier configuration\x00\x01"s;
        ASSERT_TRUE(ReplaceFileAtomically(path, old));
        rig.unit->SetSilentAfter(answered);
        EXPECT_FALSE(SaveConfigToFile(*rig.session, path)) << answered;
        ASSERT_FALSE(rig.view.messages.empty()) << answered;
        EXPECT_EQ(rig.view.messages.back().text, "Unable to read config from demod") << answered;
        EXPECT_EQ(rig.view.messages.back().caption, "Error");
        EXPECT_EQ(Read(path), old) << answered;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.folder.path),
                                std::filesystem::directory_iterator()),
                  2)   // the file and the ports folder
            << answered;
        EXPECT_EQ(rig.view.buttons.back(), true);
    }
}

TEST(ConfigSaveFailures, ASaveAfterAnIncompleteReadIsRefused) {
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    QuickTimeouts(rig);
    const std::string path = rig.folder.File("keep.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, "earlier"));
    rig.unit->SetSilentAfter(20);   // slot, mode and 18 rows
    EXPECT_TRUE(rig.session->ReadUnitConfig(true));
    rig.unit->SetSilentAfter(-1);
    rig.Forget();
    EXPECT_FALSE(SaveConfigToFile(*rig.session, path));
    ExpectOnlyError(rig.view, "Unable to read config from demod");
    EXPECT_EQ(Read(path), "earlier");
    // A complete read again, and the save goes through.
    rig.Connect();
    EXPECT_TRUE(SaveConfigToFile(*rig.session, path));
    EXPECT_TRUE(CheckConfigFileAlone(Read(path)).ok);
}

TEST(ConfigSaveFailures, AReadOfAUnitThatFallsSilentEndsAfterThreeRowsWithoutReply) {
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    rig.Connect();
    QuickTimeouts(rig);
    rig.Forget();
    EXPECT_TRUE(rig.session->ReadUnitConfig(true));
    const size_t whole = rig.Requests().size();
    rig.Forget();
    rig.unit->SetSilentAfter(20);   // slot, mode and 18 rows
    EXPECT_TRUE(rig.session->ReadUnitConfig(true));
    // Three rows of up to three attempts each, and not one request more.
    EXPECT_LE(rig.Requests().size(), 20u + 3 * 3) << "of " << whole;
    // The rows not read count as unanswered (those that may be absent
    // apart), not only the three: a save after it is refused.
    EXPECT_GT(rig.session->unansweredRows, 3);
    EXPECT_LE(rig.session->unansweredRows, int(whole) - 20);
    const std::string path = rig.folder.File("after.cfg");
    EXPECT_FALSE(SaveConfigToFile(*rig.session, path));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ConfigSaveFailures, ASetSaveStopsWhenTheUnitFallsSilent) {
    for (int answered : {40, 300}) {
        UnitRig rig;
        ASSERT_TRUE(rig.started);
        rig.Connect();
        QuickTimeouts(rig);
        const std::string path = rig.folder.File("set.cfg");
        rig.unit->SetSilentAfter(answered);
        EXPECT_FALSE(SaveConfigSet(*rig.session, path)) << answered;
        // The walk stops at the first row left unanswered (its attempts
        // included): the rest of the tables would each cost a time-out.
        EXPECT_LE(rig.Requests().size(), size_t(answered) + 3) << answered;
        ASSERT_FALSE(rig.view.messages.empty());
        EXPECT_EQ(rig.view.messages.back().text, "Unable to read config from demod") << answered;
        EXPECT_FALSE(std::filesystem::exists(path)) << answered;
        EXPECT_EQ(rig.view.pleaseWaitHidden, 1);
        EXPECT_EQ(rig.view.buttons.back(), true);
    }
}

TEST(ConfigSaveFailures, AValueThatCouldNotBeSentBackRefusesTheSave) {
    UnitRig rig(true);
    ASSERT_TRUE(rig.started);
    const std::string path = rig.folder.File("k840.cfg");
    const std::string old = "earlier";
    ASSERT_TRUE(ReplaceFileAtomically(path, old));
    // 240 bytes do not fit a write request with its code and address.
    for (const std::string& name : {"News\x02"s, std::string(240, 'n')}) {
        rig.unit->SetValue("edef", name);
        rig.Connect();
        EXPECT_FALSE(SaveConfigToFile(*rig.session, path));
        ExpectOnlyError(rig.view, "Invalid item (edef) returned from demod");
        EXPECT_EQ(Read(path), old);
    }
    // A name that fits is saved, and the file loads again.
    rig.unit->SetValue("edef", std::string(200, 'n'));
    rig.Connect();
    ASSERT_TRUE(SaveConfigToFile(*rig.session, path));
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_TRUE(CheckConfigFileAlone(Read(path)).ok);
    rig.Forget();
    EXPECT_TRUE(LoadConfigFromFile(*rig.session, path));
    EXPECT_EQ(rig.RequestsWith("wedef").size(), 1u);
}

}  // namespace
