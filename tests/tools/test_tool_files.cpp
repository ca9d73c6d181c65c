// tavrinctl's status, dump and configuration file commands against the
// simulated unit, and inspect on files good and bad.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "link/frame.h"
#include "pages/config_file.h"
#include "tool_harness.h"

using namespace tooltest;

namespace {

const Json* FindRow(const Json& rows, const std::string& code) {
    for (const Json& row : rows.items)
        if (row["code"].text == code) return &row;
    return nullptr;
}

const Json* FindItem(const Json& record, const std::string& code) { return FindRow(record["items"], code); }

Json InspectJson(const std::string& path) {
    const RunResult r = RunTool({"--json", "inspect", path});
    Json doc;
    EXPECT_TRUE(ParseJson(r.out, doc)) << r.out;
    return doc;
}

size_t CountWrites(const std::vector<std::string>& requests) {
    size_t n = 0;
    for (const std::string& f : requests)
        if (f.size() > 5 && f[5] == 'w') ++n;
    return n;
}

}  // namespace

TEST(ToolStatus, LampsAndValuesOfOnePollCycle) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetValue("1loc", "1");
    sim.Unit().SetValue("1pkt", "3");
    sim.Unit().SetValue("eloc", "0");
    sim.Unit().SetValue("1snr", "17.5");
    sim.Unit().SetValue("1ind", "-61");
    sim.Unit().ClearRequests();

    RunResult r = RunTool(Concat(sim.TcpArgs(), {"--json", "status"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Json doc;
    ASSERT_TRUE(ParseJson(r.out, doc)) << r.out;
    EXPECT_TRUE(doc["lamps"]["demod_lock"].boolean);
    EXPECT_FALSE(doc["lamps"]["reception"].boolean);   // locked, but packet errors
    EXPECT_EQ(doc["lamps"]["reception"].type, Json::Bool);
    EXPECT_EQ(doc["lamps"]["decoder_lock"].type, Json::Bool);
    EXPECT_FALSE(doc["lamps"]["decoder_lock"].boolean);
    EXPECT_EQ(doc["packet_errors"].number, 3);
    EXPECT_EQ(doc["snr_a_db"].number, 17.5);
    EXPECT_EQ(doc["level_d_dbm"].number, -61);

    // The eleven reads of a full poll cycle, in the poll thread's order.
    const std::vector<std::string> expected = {"1loc", "1pkt", "eloc", "1snr", "1mer", "1cer",
                                               "1dnr", "1ina", "1inb", "1inc", "1ind"};
    const auto requests = sim.Unit().Requests();
    ASSERT_EQ(requests.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        std::string frame;
        BuildRequestFrame("0001r" + expected[i] + ";;", frame);
        EXPECT_EQ(requests[i + 1], frame) << i;
    }

    sim.Unit().SetValue("1pkt", "0");
    sim.Unit().SetValue("eloc", "1");
    r = RunTool(Concat(sim.SerialArgs(), {"status"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Demod lock: green\nReception: green\nDecoder lock: green\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Input A SNR: 17.5\n"), std::string::npos) << r.out;
}

TEST(ToolStatus, FailedReadsLeaveLampsGreyAndFail) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetFault(sim::Fault::Silence);
    const RunResult r = RunTool(Concat(sim.TcpArgs(), {"--no-probe", "--json", "status"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("An error occurred trying to read from the serial port"), std::string::npos) << r.err;
    Json doc;
    ASSERT_TRUE(ParseJson(r.out, doc)) << r.out;
    for (const char* lamp : {"demod_lock", "reception", "decoder_lock"})
        EXPECT_EQ(doc["lamps"][lamp].type, Json::Null) << lamp;
    EXPECT_EQ(doc["packet_errors"].type, Json::Null);
    EXPECT_FALSE(doc["connected"].boolean);
}

TEST(ToolDump, ShowsEverySettingAsThePagesDo) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetValue("1ipf", "1.75");
    sim.Unit().SetValue("1pre", "000012.500");
    sim.Unit().SetValue("gfpg", "4660");
    sim.Unit().SetValue("zdes", "2");   // a placeholder number shows the next real option
    sim.Unit().SetValue("edef", "Bay \"7\"");

    RunResult r = RunTool(Concat(sim.TcpArgs(), {"--json", "dump"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Json doc;
    ASSERT_TRUE(ParseJson(r.out, doc)) << r.out;
    EXPECT_EQ(doc["slot"].number, sim.Unit().LastLoadedSlot());
    EXPECT_EQ(doc["mode"].number, sim.Unit().Mode() == 1 ? 1 : 0);
    EXPECT_EQ(doc["demod"].items.size(), 21u);
    EXPECT_EQ(doc["decoder"].items.size(), 28u);

    const Json* ipf = FindRow(doc["demod"], "1ipf");
    ASSERT_NE(ipf, nullptr);
    EXPECT_EQ((*ipf)["label"].text, "Input frequency (MHz)");
    EXPECT_EQ((*ipf)["value"].number, 1750);
    EXPECT_EQ((*FindRow(doc["demod"], "1pre"))["value"].number, 12.5);
    EXPECT_EQ((*FindRow(doc["demod"], "edef"))["value"].text, "Bay \"7\"");
    EXPECT_EQ((*FindRow(doc["decoder"], "gfpg"))["value"].text, "1234");
    EXPECT_EQ((*FindRow(doc["decoder"], "zdes"))["value"].text, "AES128");
    EXPECT_EQ((*FindRow(doc["decoder"], "zdes"))["label"].text, "Descrambling");

    r = RunTool(Concat(sim.SerialArgs(), {"dump"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Slot: " + std::to_string(sim.Unit().LastLoadedSlot()) + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("Input frequency (MHz): 1750.000\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FPGA version: 1234\n"), std::string::npos) << r.out;
}

TEST(ToolConfigFile, SaveHoldsBothModesAndLoadSendsBothRecords) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string file = folder.File("unit.cfg");
    const int mode = sim.Unit().Mode();
    sim.Unit().SetValue("1ipf", "1.75");
    const std::string name = "Saved name";
    sim.Unit().SetValue("edef", name);

    RunResult r = RunTool(Concat(sim.TcpArgs(), {"save-config", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Configuration saved to " + file), std::string::npos) << r.out;
    EXPECT_EQ(sim.Unit().Mode(), mode);   // visited the other mode and came back

    Json doc = InspectJson(file);
    EXPECT_TRUE(doc["valid"].boolean);
    ASSERT_EQ(doc["record_count"].number, 2);
    ASSERT_EQ(doc["records"].items.size(), 2u);
    const Json& first = doc["records"][0];
    const Json& second = doc["records"][1];
    EXPECT_EQ(first["mode"].number, mode);
    EXPECT_EQ(second["mode"].number, 1 - mode);
    EXPECT_EQ(first["slot"].number, sim.Unit().LastLoadedSlot());
    ASSERT_NE(FindItem(first, "1ipf"), nullptr);
    EXPECT_EQ((*FindItem(first, "1ipf"))["raw"].text, "1.750000");
    EXPECT_EQ((*FindItem(first, "edef"))["value"].text, name);
    // The other mode's record holds what the unit held in that mode.
    const Json* otherName = FindItem(second, "edef");
    ASSERT_NE(otherName, nullptr) << "second record carries no demodulator values";
    const std::string otherPrefix = mode == 1 ? "Narrowband" : "DVBT";
    EXPECT_EQ((*otherName)["value"].text.rfind(otherPrefix, 0), 0u) << (*otherName)["value"].text;

    // Load the file back: every item of both records is written, each in its
    // own mode, and the unit ends in the mode it started in.
    sim.Unit().ClearRequests();
    r = RunTool(Concat(sim.TcpArgs(), {"load-config", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Configuration loaded from " + file), std::string::npos) << r.out;
    EXPECT_EQ(sim.Unit().Mode(), mode);
    const auto requests = sim.Unit().Requests();
    std::string frame;
    BuildRequestFrame("\x02" "0001wedef;" + name + ";", frame);
    EXPECT_NE(std::find(requests.begin(), requests.end(), frame), requests.end());
    BuildRequestFrame("\x02" "0001w1ipf;1.750000;", frame);
    EXPECT_NE(std::find(requests.begin(), requests.end(), frame), requests.end());
    BuildRequestFrame("\x02" "0001wedef;" + (*otherName)["raw"].text + ";", frame);
    EXPECT_NE(std::find(requests.begin(), requests.end(), frame), requests.end()) << (*otherName)["raw"].text;
    BuildRequestFrame("\x02" "0001wgudm;" + std::to_string(1 - mode) + ";", frame);
    EXPECT_NE(std::find(requests.begin(), requests.end(), frame), requests.end());
}

TEST(ToolConfigFile, DamagedFileIsRefusedBeforeAnythingIsSent) {
    SimulatedUnit sim(true);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string file = folder.File("k840.cfg");
    RunResult r = RunTool(Concat(sim.SerialArgs(), {"save-config", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunTool({"inspect", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Records: 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Input frequency (MHz)"), std::string::npos) << r.out;

    std::string bytes = ReadFile(file);
    ASSERT_GT(bytes.size(), 40u);
    bytes[bytes.size() / 2] ^= 0x01;
    WriteFile(file, bytes);

    r = RunTool({"inspect", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Invalid checksum in file"), std::string::npos) << r.err;
    Json doc = InspectJson(file);
    EXPECT_FALSE(doc["valid"].boolean);
    EXPECT_FALSE(doc["checksum_ok"].boolean);
    EXPECT_EQ(doc["error"].text, "Invalid checksum in file");

    sim.Unit().ClearRequests();
    r = RunTool(Concat(sim.SerialArgs(), {"load-config", file}), kFastWaits);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Invalid checksum in file"), std::string::npos) << r.err;
    EXPECT_EQ(CountWrites(sim.Unit().Requests()), 0u);

    WriteFile(file, "abc");
    r = RunTool({"inspect", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Invalid checksum in file"), std::string::npos) << r.err;
}

TEST(ToolConfigSet, SaveAndLoadEverySlotOfAModelK840Unit) {
    SimulatedUnit sim(true);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string file = folder.File("set.cfg");
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"save-set", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Config set saved"), std::string::npos) << r.out;
    EXPECT_EQ(sim.Unit().LastLoadedSlot(), 1);

    Json doc = InspectJson(file);
    ASSERT_EQ(doc["record_count"].number, 8);
    ASSERT_EQ(doc["records"].items.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(doc["records"][size_t(i)]["slot"].number, i + 1);
        const Json* edef = FindItem(doc["records"][size_t(i)], "edef");
        ASSERT_NE(edef, nullptr);
        EXPECT_EQ((*edef)["value"].text, sim.Unit().SlotValue(sim.Unit().Mode(), i + 1, "edef"));
    }

    sim.Unit().ClearRequests();
    r = RunTool(Concat(sim.TcpArgs(), {"load-set", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Config set loaded"), std::string::npos) << r.out;
    // Each slot is loaded in turn and receives its record; slot 1 ends loaded.
    std::string frame;
    const auto requests = sim.Unit().Requests();
    for (int i = 1; i <= 8; ++i) {
        BuildRequestFrame("\x02" "0001wdloa;" + std::to_string(i) + ";", frame);
        EXPECT_NE(std::find(requests.begin(), requests.end(), frame), requests.end()) << i;
    }
    EXPECT_EQ(sim.Unit().LastLoadedSlot(), 1);
}

// Progress is for the operator at a terminal: one line on standard error,
// rewritten in place; never on standard output, never when standard error is
// redirected, and not with --quiet.
TEST(ToolConfigSet, ProgressShowsOnATerminalOnly) {
    SimulatedUnit sim(true);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string file = folder.File("set.cfg");
    const std::string done = "Config set saved\n";

    RunResult r = RunToolOnTerminal(Concat(sim.TcpArgs(), {"save-set", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, done);
    const std::string text = "Please wait while configs are read and saved...";
    for (int k = 0; k <= 10; ++k)
        EXPECT_NE(r.err.find("\r" + text + " " + std::to_string(k) + "/10"), std::string::npos) << k << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;   // one line, ended once

    r = RunToolOnTerminal(Concat(sim.TcpArgs(), {"--quiet", "save-set", file}), kFastWaits);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, done);
    EXPECT_EQ(r.err, "");

    r = RunTool(Concat(sim.TcpArgs(), {"load-set", file}), kFastWaits);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Config set loaded\n");
    EXPECT_EQ(r.err, "");
}

TEST(ToolConfigSet, TwoModeUnitSetHoldsSixteenRecordsAndShortSetIsRefused) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string file = folder.File("set16.cfg");
    const int mode = sim.Unit().Mode();
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"save-set", file}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Config set saved\n");

    Json doc = InspectJson(file);
    ASSERT_EQ(doc["records"].items.size(), 16u);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(doc["records"][i]["slot"].number, double(i % 8 + 1));
        EXPECT_EQ(doc["records"][i]["mode"].number, i < 8 ? mode : 1 - mode) << i;
    }

    // An eight-record set does not fit a two-mode unit.
    SimulatedUnit small(true);
    ASSERT_TRUE(small.Started()) << small.Error();
    const std::string file8 = folder.File("set8.cfg");
    r = RunTool(Concat(small.TcpArgs(), {"save-set", file8}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    sim.Unit().ClearRequests();
    r = RunTool(Concat(sim.TcpArgs(), {"load-set", file8}), kFastWaits);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Incorrect number of configs in file"), std::string::npos) << r.err;
    EXPECT_EQ(CountWrites(sim.Unit().Requests()), 0u);
}

TEST(ToolConfigFile, SaveAgainstAUnitThatFallsSilentFailsAndKeepsTheOldFile) {
    TempFolder folder;
    const std::string old = "the earlier file, byte for byte";
    // How many requests before the end: a set's last 53 reload slot 1 and
    // read it back after the file is written.
    const std::pair<const char*, int64_t> cases[] = {{"save-config", 6}, {"save-set", 60}};
    for (const auto& [command, early] : cases) {
        SimulatedUnit sim;
        ASSERT_TRUE(sim.Started()) << sim.Error();
        const std::string file = folder.File(std::string(command) + ".cfg");
        // A whole save first, to count its requests; then the unit falls
        // silent shortly before the end of the same save, while it is still
        // being read (each unanswered request costs the link's time-out).
        const std::string first = folder.File(std::string(command) + "-first.cfg");
        sim.Unit().ClearRequests();
        ASSERT_EQ(RunTool(Concat(sim.TcpArgs(), {command, first}), kFastWaits).exitCode, 0) << command;
        const size_t total = sim.Unit().Requests().size();
        ASSERT_GT(total, 20u);
        WriteFile(file, old);
        sim.Unit().SetSilentAfter(static_cast<int64_t>(total) - early);
        const RunResult r = RunTool(Concat(sim.TcpArgs(), {command, file}), kFastWaits);
        EXPECT_EQ(r.exitCode, 1) << command << r.out;
        // The silence lands on a read or, when the first save needed a retry
        // and so counted one request more, on the slot load before it.
        const bool readFailed = r.err.find("Unable to read config from demod") != std::string::npos;
        const bool loadFailed = r.err.find("Unable to switch config") != std::string::npos;
        EXPECT_TRUE(readFailed || loadFailed) << command << r.err;
        EXPECT_EQ(r.out.find("Configuration saved"), std::string::npos) << command << r.out;
        EXPECT_EQ(r.out.find("Config set saved"), std::string::npos) << command << r.out;
        EXPECT_EQ(ReadFile(file), old) << command;
    }
}

TEST(ToolConfigFile, FilesWithForbiddenCodesReachNeitherTheUnitNorInspect) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string good = folder.File("good.cfg");
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"save-config", good}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string bytes = ReadFile(good);
    // Put each code into the first record, just before its end mark, and
    // give the file a correct checksum again.
    const size_t end = bytes.find("----");
    ASSERT_NE(end, std::string::npos);
    for (const std::string code : {"ddef", "gadd", "zaes", "dlas"}) {
        std::string body = bytes.substr(0, end) + code + std::string("\x00\x04\x00\x00\x00", 5) + "0077" +
                           bytes.substr(end, bytes.size() - 4 - end);
        const uint32_t crc = ConfigFileCrc(body);
        for (int i = 0; i < 4; ++i) body.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
        const std::string file = folder.File(code + ".cfg");
        WriteFile(file, body);

        r = RunTool({"inspect", file});
        EXPECT_EQ(r.exitCode, 1) << code;
        EXPECT_NE(r.err.find("Invalid item in file: record 1, item "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("(" + code + "): not a parameter that can be set from a file"), std::string::npos)
            << r.err;
        EXPECT_FALSE(InspectJson(file)["valid"].boolean);

        sim.Unit().ClearRequests();
        r = RunTool(Concat(sim.TcpArgs(), {"load-config", file}), kFastWaits);
        EXPECT_EQ(r.exitCode, 1) << code;
        EXPECT_NE(r.err.find("Invalid item in file"), std::string::npos) << r.err;
        EXPECT_EQ(CountWrites(sim.Unit().Requests()), 0u) << code;
        EXPECT_EQ(sim.Unit().Address(), 1);
    }
}

// inspect says how a load takes a record's mode: by name, or as the number a
// load refuses (a mode item of 7 or 256 is no narrowband record).
TEST(ToolInspect, AModeALoadRefusesIsShownAsRefused) {
    const struct {
        uint32_t mode;
        const char* record;    // after "mode "
        const char* item;      // the mode item's value
        const char* takenAs;   // nullptr: JSON null
    } cases[] = {{1, "1 (DVBT)", "DVBT", "dvbt"},
                 {7, "7 (refused by a load)", "7 (refused by a load)", nullptr},
                 {256, "256 (refused by a load)", "256 (refused by a load)", nullptr}};
    TempFolder folder;
    for (const auto& c : cases) {
        std::string file;   // one record: the mode item and one option
        BeginConfigFile(file, 1);
        file += "DEM" + std::string("\x01\0\0\0gudm\x01", 9);
        AppendU32(file, c.mode);
        file += "tdat" + std::string("\x01\x01\0\0\0", 5) + "----";
        FinishConfigFile(file);
        WriteFile(folder.File("m.cfg"), file);
        const RunResult r = RunTool({"inspect", folder.File("m.cfg")});
        EXPECT_EQ(r.exitCode, c.takenAs ? 0 : 1) << r.err;
        EXPECT_NE(r.out.find("Record 1: DEM, slot 1, mode " + std::string(c.record) + "\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(std::string("Demod mode") + std::string(21, ' ') + c.item + "\n"), std::string::npos) << r.out;
        const Json record = InspectJson(folder.File("m.cfg"))["records"][0];
        EXPECT_EQ(record["mode"].number, c.mode);
        EXPECT_EQ(record["mode_taken_as"].type, c.takenAs ? Json::String : Json::Null);
        EXPECT_EQ(record["mode_taken_as"].text, c.takenAs ? c.takenAs : "");
    }
}
