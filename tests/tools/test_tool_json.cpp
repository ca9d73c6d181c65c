// One JSON style for every command that prints data: each command run with
// --json against the simulated unit, its output parsed with nlohmann-json and
// its keys (names, order and the types of their values) checked.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tool_harness.h"

using namespace tooltest;
using nlohmann::ordered_json;

namespace {

// "name:types", the types one or more of n(umber) s(tring) b(oolean) z (null)
// o(bject) a(rray).
using Keys = std::vector<std::string>;

// The object has exactly these keys, in this order, each of one of its types.
void ExpectKeys(const ordered_json& object, const Keys& keys, const std::string& where) {
    ASSERT_TRUE(object.is_object()) << where;
    std::vector<std::string> names;
    for (const auto& member : object.items()) names.push_back(member.key());
    ASSERT_EQ(names.size(), keys.size()) << where << ": " << object.dump();
    for (size_t i = 0; i < keys.size(); ++i) {
        const size_t colon = keys[i].find(':');
        EXPECT_EQ(names[i], keys[i].substr(0, colon)) << where;
        const ordered_json& value = object[names[i]];
        const char type = value.is_null() ? 'z' : value.type_name()[0];
        EXPECT_NE(keys[i].find(type, colon), std::string::npos) << where << ": " << names[i] << " is " << value.dump();
    }
}

const Keys kCycleKeys = {"time_utc:s",      "connected:b",   "lamps:o",       "demod_lock:n",   "packet_errors:n",
                         "decoder_lock:n",  "snr_a_db:n",    "snr_b_db:n",    "snr_c_db:n",     "snr_d_db:n",
                         "level_a_dbm:n",   "level_b_dbm:n", "level_c_dbm:n", "level_d_dbm:n"};
const Keys kLampKeys = {"demod_lock:bz", "reception:bz", "decoder_lock:bz"};
const Keys kDumpRowKeys = {"code:s", "label:s", "status:s", "value:nsz"};

struct JsonCase {
    std::vector<std::string> args;   // after the connection; "@file" is a saved configuration
    bool perLine;                    // one object a line (watch)
    Keys keys;
    const char* rowsKey;             // an array of objects in the document, or nullptr
    Keys rowKeys;
};

const JsonCase kCases[] = {
    {{"probe"}, false, {"address:n"}, nullptr, {}},
    {{"send", "0001", "r1ipf;;"}, false, {"request:s", "reply:s", "status:s", "data:s"}, nullptr, {}},
    {{"read", "1ipf", "1wid", "edef"}, false, {"address:n", "values:a"}, "values",
     {"code:s", "status:s", "value:ns"}},
    {{"--pages", "read", "1ipf", "1wid"}, false, {"address:n", "values:a"}, "values",
     {"code:s", "label:s", "status:s", "value:ns", "unit:sz"}},
    {{"status"}, false, kCycleKeys, "lamps", {}},
    {{"watch", "--count", "2", "--interval", "100"}, true, kCycleKeys, nullptr, {}},
    {{"dump"}, false, {"address:n", "slot:n", "mode:n", "mode_name:s", "demod:a", "decoder:a", "ok:b"}, "demod",
     kDumpRowKeys},
    {{"--pages", "dump"}, false, {"address:n", "slot:n", "mode:n", "mode_name:s", "demod:a", "decoder:a", "ok:b"},
     "decoder", {"code:s", "label:s", "status:s", "value:nsz", "unit:sz"}},
    {{"inspect", "@file"}, false,
     {"file:s", "size:n", "valid:b", "checksum_ok:b", "stored_crc:s", "computed_crc:s", "record_count:n",
      "end_mark_ok:b", "error:z", "records:a"},
     "records", {"type:s", "slot:n", "mode:n", "mode_taken_as:sz", "complete:b", "items:a"}},
};

}  // namespace

TEST(ToolJson, EveryCommandThatPrintsDataHasOneStyle) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string file = folder.File("unit.cfg");
    ASSERT_EQ(RunTool(Concat(sim.TcpArgs(), {"save-config", file}), kFastWaits).exitCode, 0);

    for (const JsonCase& c : kCases) {
        std::vector<std::string> args = {"--json"};
        for (const std::string& a : c.args) args.push_back(a == "@file" ? file : a);
        if (c.args[0] != "inspect") args = Concat(sim.TcpArgs(), args);
        const std::string where = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : std::string());
        const RunResult r = RunTool(args);
        ASSERT_EQ(r.exitCode, 0) << where << "\n" << r.err;
        std::vector<std::string> lines;
        for (size_t begin = 0, end; (end = r.out.find('\n', begin)) != std::string::npos; begin = end + 1)
            lines.push_back(r.out.substr(begin, end - begin));
        ASSERT_EQ(lines.size(), c.perLine ? 2u : 1u) << where << "\n" << r.out;
        for (const std::string& line : lines) {
            const ordered_json doc = ordered_json::parse(line, nullptr, false);
            ASSERT_FALSE(doc.is_discarded()) << where << "\n" << line;
            ExpectKeys(doc, c.keys, where);
            if (c.keys == kCycleKeys) ExpectKeys(doc["lamps"], kLampKeys, where + " lamps");
            if (!c.rowsKey || c.rowKeys.empty()) continue;
            ASSERT_FALSE(doc[c.rowsKey].empty()) << where;
            for (const ordered_json& row : doc[c.rowsKey]) ExpectKeys(row, c.rowKeys, where + " row");
        }
    }
}

TEST(ToolJson, NumbersAsTheUnitSentThemTextsAsTexts) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetValue("gser", "000123");
    sim.Unit().SetValue("1pkt", "000003");
    const RunResult r = RunTool(Concat(sim.TcpArgs(), {"--json", "read", "gser", "1pkt", "zzzz"}));
    EXPECT_EQ(r.exitCode, 3) << r.err;   // zzzz is refused
    const ordered_json values = ordered_json::parse(r.out)["values"];
    EXPECT_EQ(values[0]["value"], "000123");   // a serial number keeps its zeros
    EXPECT_EQ(values[1]["value"], 3);
    EXPECT_EQ(values[2]["status"], "E");
    EXPECT_TRUE(values[2]["value"].is_null());
}
