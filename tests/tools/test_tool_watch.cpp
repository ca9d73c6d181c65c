// tavrinctl watch against the simulated unit (pseudo-terminal and TCP): the
// lines, the JSON objects and the CSV recording compared value by value with
// the unit's own values; a signal in the middle of a run; a comma-decimal
// locale; a unit that goes away while it is watched.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "params/csv_recorder.h"
#include "params/poll_sample.h"
#include "platform/numbers.h"
#include "tool_harness.h"

using namespace tooltest;

namespace {

const char* const kHeader =
    "time_utc,connected,demod_lock,packet_errors,decoder_lock,snr_a_db,snr_b_db,snr_c_db,snr_d_db,"
    "level_a_dbm,level_b_dbm,level_c_dbm,level_d_dbm";

// Values with a fraction, a minus and leading zeros, as a unit may send them.
void SetDistinctValues(sim::SimUnit& unit) {
    unit.SetValue("1snr", "17.5");
    unit.SetValue("1mer", "9.25");
    unit.SetValue("1cer", "-3.0");
    unit.SetValue("1dnr", "21");
    unit.SetValue("1ina", "-61.25");
    unit.SetValue("1inb", "-47.5");
    unit.SetValue("1inc", "-90.0");
    unit.SetValue("1ind", "-33");
    unit.SetValue("1pkt", "000003");
}

// Lines of a text without their CRLF or LF ending; a last piece without an
// ending is returned too (and flagged by `complete`).
std::vector<std::string> Lines(const std::string& text, const std::string& end, bool* complete = nullptr) {
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t at; (at = text.find(end, from)) != std::string::npos; from = at + end.size())
        out.push_back(text.substr(from, at - from));
    if (complete) *complete = from == text.size();
    if (from < text.size()) out.push_back(text.substr(from));
    return out;
}

std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, ',')) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.push_back("");
    return cells;
}

bool LooksLikeUtcMs(const std::string& t) {
    // 2026-12-08T21:43:05.123Z
    if (t.size() != 24 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t[19] != '.' || t[23] != 'Z')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22})
        if (!IsAsciiDigit(t[i])) return false;
    return true;
}

// A JSON value equals the unit's text: the same number, or the same string.
void ExpectJsonValue(const Json& value, const std::string& unitText, const std::string& name) {
    const std::optional<double> number = ParseDecimal(unitText);
    if (number) {
        ASSERT_EQ(value.type, Json::Number) << name;
        EXPECT_DOUBLE_EQ(value.number, *number) << name;
    } else {
        ASSERT_EQ(value.type, Json::String) << name;
        EXPECT_EQ(value.text, unitText) << name;
    }
}

// A CSV recording whose data rows all carry the unit's current values.
void ExpectCsvOfUnit(const std::string& csv, const sim::SimUnit& unit, size_t rows) {
    bool complete = false;
    const std::vector<std::string> lines = Lines(csv, "\r\n", &complete);
    EXPECT_TRUE(complete) << "the file ends in the middle of a line";
    ASSERT_EQ(lines.size(), rows + 1) << csv;
    EXPECT_EQ(lines[0], kHeader);
    for (size_t r = 1; r < lines.size(); ++r) {
        const std::vector<std::string> cells = Cells(lines[r]);
        ASSERT_EQ(cells.size(), 13u) << lines[r];
        EXPECT_TRUE(LooksLikeUtcMs(cells[0])) << cells[0];
        EXPECT_EQ(cells[1], "1");
        for (int c = 0; c < kSampleColumnCount; ++c)
            EXPECT_EQ(cells[size_t(2 + c)], unit.Value(kSampleColumns[size_t(c)].code)) << kSampleColumns[size_t(c)].name;
    }
}

// The same for the JSON objects, one a line.
void ExpectJsonOfUnit(const std::string& out, const sim::SimUnit& unit, size_t rows) {
    const std::vector<std::string> lines = Lines(out, "\n");
    ASSERT_EQ(lines.size(), rows) << out;
    for (const std::string& line : lines) {
        Json doc;
        ASSERT_TRUE(ParseJson(line, doc)) << line;
        EXPECT_EQ(doc.members.size(), size_t(3 + kSampleColumnCount));
        EXPECT_TRUE(LooksLikeUtcMs(doc["time_utc"].text)) << line;
        EXPECT_EQ(doc["connected"].type, Json::Bool) << line;
        EXPECT_TRUE(doc["connected"].boolean) << line;
        for (const SampleColumnInfo& column : kSampleColumns)
            ExpectJsonValue(doc[column.name], unit.Value(column.code), column.name);
    }
}

// The poll cycle's eleven reads, in order, per cycle (the probe before them).
void ExpectPollCycles(const sim::SimUnit& unit, size_t cycles) {
    const std::vector<std::string> requests = unit.Requests();
    ASSERT_EQ(requests.size(), 1 + 11 * cycles);
    const char* const order[] = {"r1loc;;", "r1pkt;;", "reloc;;", "r1snr;;", "r1mer;;", "r1cer;;",
                                 "r1dnr;;", "r1ina;;", "r1inb;;", "r1inc;;", "r1ind;;"};
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].substr(5, requests[i].size() - 7), order[(i - 1) % 11]) << i;
}

class ToolWatch : public ::testing::TestWithParam<bool> {
protected:
    std::vector<std::string> Connection() const { return GetParam() ? unit.TcpArgs() : unit.SerialArgs(); }
    SimulatedUnit unit;
    TempFolder folder;
};

TEST_P(ToolWatch, JsonAndCsvCarryTheUnitsValues) {
    ASSERT_TRUE(unit.Started()) << unit.Error();
    SetDistinctValues(unit.Unit());
    const std::string csv = folder.File("watch.csv");
    RunResult r = RunTool(Concat(Connection(), {"--json", "watch", "--count", "3", "--interval", "100", "--csv", csv}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectJsonOfUnit(r.out, unit.Unit(), 3);
    ExpectCsvOfUnit(ReadFile(csv), unit.Unit(), 3);
    ExpectPollCycles(unit.Unit(), 3);
}

TEST_P(ToolWatch, TextLinesShowLampsSnrAndLevels) {
    ASSERT_TRUE(unit.Started()) << unit.Error();
    SetDistinctValues(unit.Unit());
    RunResult r = RunTool(Concat(Connection(), {"watch", "--count", "2", "--interval", "100"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out, "\n");
    ASSERT_EQ(lines.size(), 2u) << r.out;
    for (const std::string& line : lines) {
        EXPECT_TRUE(LooksLikeUtcMs(line.substr(0, 24))) << line;
        // 3 packet errors: locked, but no clean reception.
        EXPECT_NE(line.find("demod lock green, reception red, decoder lock green"), std::string::npos) << line;
        EXPECT_NE(line.find("SNR A-D (dB) 17.5 9.25 -3.0 21"), std::string::npos) << line;
        EXPECT_NE(line.find("levels A-D (dBm) -61.25 -47.5 -90.0 -33"), std::string::npos) << line;
    }
}

TEST_P(ToolWatch, CommaDecimalLocaleKeepsPoints) {
    ASSERT_TRUE(unit.Started()) << unit.Error();
    SetDistinctValues(unit.Unit());
    const std::string csv = folder.File("de.csv");
    RunResult r = RunTool(Concat(Connection(), {"-j", "watch", "--count", "1", "--interval", "100", "--csv", csv}),
                          {"LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"snr_a_db\":17.5,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"level_a_dbm\":-61.25,"), std::string::npos) << r.out;
    EXPECT_NE(ReadFile(csv).find(",17.5,9.25,-3.0,21,-61.25,-47.5,-90.0,-33\r\n"), std::string::npos) << ReadFile(csv);
    ExpectCsvOfUnit(ReadFile(csv), unit.Unit(), 1);
}

// SIGTERM or SIGINT while cycles run, the unit answering slowly so that the
// signal meets an exchange under way: exit status 0, and a file of whole rows.
TEST_P(ToolWatch, ASignalEndsTheRunWithWholeRows) {
    ASSERT_TRUE(unit.Started()) << unit.Error();
    for (int signal : {SIGTERM, SIGINT}) {
        const std::string csv = folder.File("signal" + std::to_string(signal) + ".csv");
        ToolProcess tool(Concat(Connection(), {"watch", "--interval", "100", "--csv", csv}));
        ASSERT_TRUE(tool.Started());
        bool twoRows = false;
        for (int i = 0; i < 2000 && !twoRows; ++i) {
            twoRows = Lines(ReadFile(csv), "\r\n").size() >= 3;
            if (!twoRows) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(twoRows) << "no rows recorded";
        unit.Unit().SetFault(sim::Fault::SlowReply, -1, 150);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        tool.Signal(signal);
        const RunResult r = tool.Wait();
        unit.Unit().ClearFault();
        EXPECT_EQ(r.exitCode, 0) << "signal " << signal << ": " << r.err;
        bool complete = false;
        const std::vector<std::string> lines = Lines(ReadFile(csv), "\r\n", &complete);
        EXPECT_TRUE(complete) << "the recording ends in the middle of a row";
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], kHeader);
        for (size_t i = 1; i < lines.size(); ++i) {
            EXPECT_EQ(Cells(lines[i]).size(), 13u) << lines[i];
            EXPECT_TRUE(LooksLikeUtcMs(lines[i].substr(0, 24))) << lines[i];
        }
        // One printed line a recorded row.
        EXPECT_EQ(Lines(r.out, "\n").size(), lines.size() - 1) << r.out;
    }
}

// The unit goes away while it is watched: the run goes on, its rows say
// "not connected" with empty values, and it ends as asked.
TEST_P(ToolWatch, AUnitThatStopsAnsweringGivesNotConnectedRows) {
    ASSERT_TRUE(unit.Started()) << unit.Error();
    const std::string csv = folder.File("gone.csv");
    ToolProcess tool(Concat(Connection(), {"--json", "watch", "--interval", "100", "--count", "8", "--csv", csv}));
    ASSERT_TRUE(tool.Started());
    bool firstRow = false;
    for (int i = 0; i < 2000 && !firstRow; ++i) {
        firstRow = Lines(ReadFile(csv), "\r\n").size() >= 2;
        if (!firstRow) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(firstRow);
    unit.Unit().Stop();
    const RunResult r = tool.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(ReadFile(csv), "\r\n");
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(Cells(lines[1])[1], "1");
    const std::vector<std::string> last = Cells(lines[8]);
    ASSERT_EQ(last.size(), 13u) << lines[8];
    EXPECT_EQ(last[1], "0") << lines[8];
    for (size_t c = 2; c < last.size(); ++c) EXPECT_EQ(last[c], "") << lines[8];
    const std::vector<std::string> objects = Lines(r.out, "\n");
    ASSERT_EQ(objects.size(), 8u);
    Json doc;
    ASSERT_TRUE(ParseJson(objects.back(), doc)) << objects.back();
    EXPECT_EQ(doc["connected"].type, Json::Bool);
    EXPECT_FALSE(doc["connected"].boolean);
    EXPECT_EQ(doc["snr_a_db"].type, Json::Null);
}

INSTANTIATE_TEST_SUITE_P(Transports, ToolWatch, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Tcp" : "Pty"; });

// Waits (bounded) until `done` holds for the recording's lines.
bool WaitForCsv(const std::string& csv, const std::function<bool(const std::vector<std::string>&)>& done) {
    for (int i = 0; i < 3000; ++i) {
        bool complete = false;
        std::vector<std::string> lines = Lines(ReadFile(csv), "\r\n", &complete);
        if (!complete && !lines.empty()) lines.pop_back();
        if (done(lines)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool LastRowConnected(const std::vector<std::string>& lines, const char* connected) {
    return lines.size() >= 2 && Cells(lines.back()).size() == 13 && Cells(lines.back())[1] == connected;
}

// Watching COM1: the unit is unplugged (its pseudo-terminal and the ports/COM1
// link go) and a new one appears at the same link, at another address; the
// watch finds it and picks it up.
TEST(ToolWatchCom, AComPortWhoseUnitComesBackIsWatchedAgain) {
    SimulatedUnit unit;
    ASSERT_TRUE(unit.Started()) << unit.Error();
    const std::string csv = unit.ProgramFolder() + "/back.csv";
    ToolProcess tool({"--program-folder", unit.ProgramFolder(), "--com", "1", "watch", "--interval", "100", "--csv",
                      csv});
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(WaitForCsv(csv, [](const auto& lines) { return LastRowConnected(lines, "1"); }));
    unit.Unit().Stop();
    ASSERT_TRUE(WaitForCsv(csv, [](const auto& lines) { return LastRowConnected(lines, "0"); }));

    sim::SimOptions options;
    options.ptyLinkPath = unit.ProgramFolder() + "/ports/COM1";
    options.drift = false;
    options.address = 7;
    sim::SimUnit back(options);
    std::string error;
    ASSERT_TRUE(back.Start(&error)) << error;
    back.SetValue("1snr", "23.5");   // a value only the new unit gives
    auto fromNewUnit = [](const std::string& line) {
        const std::vector<std::string> cells = Cells(line);
        return cells.size() == 13 && cells[1] == "1" && cells[2 + kColSnrA] == "23.5";
    };
    EXPECT_TRUE(WaitForCsv(csv, [&](const auto& lines) { return !lines.empty() && fromNewUnit(lines.back()); }))
        << "the unit was not watched again";
    tool.Signal(SIGTERM);
    const RunResult r = tool.Wait();
    back.Stop();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Rows from the first unit, then rows without one, then rows from the new one.
    const std::vector<std::string> lines = Lines(ReadFile(csv), "\r\n");
    ASSERT_GE(lines.size(), 4u);
    size_t row = 1;
    while (row < lines.size() && Cells(lines[row])[1] == "1") ++row;
    EXPECT_GT(row, 1u);
    const size_t gap = row;
    while (row < lines.size() && Cells(lines[row])[1] == "0") ++row;
    EXPECT_GT(row, gap);
    ASSERT_LT(row, lines.size());
    EXPECT_TRUE(std::any_of(lines.begin() + long(row), lines.end(), fromNewUnit));
    EXPECT_FALSE(back.Requests().empty());
}

// A watch's recording meets a full disk (a file size limit) at a row's end or
// in the middle of a row, or loses its file once it holds two rows: the watch
// says so and stops with status 1, and the file holds whole rows only.
TEST(ToolWatchRecording, RowsStayWholeAndALostFileStopsTheWatch) {
    using Mishap = int (*)(const std::string& csv);
    const struct {
        long limit;   // bytes allowed past the header and two rows; -1 for none
        Mishap mishap;
        const char* reason;
    } cases[] = {
        {0, nullptr, "a row could not be written and was taken back: File too large"},
        {30, nullptr, "a row could not be written and was taken back: File too large"},
        {-1, [](const std::string& csv) { return ::unlink(csv.c_str()); }, "the recording file was deleted"},
        {-1, [](const std::string& csv) { return ::rename(csv.c_str(), (csv + ".old").c_str()); },
         "the recording file was renamed or moved"},
        {-1,
         [](const std::string& csv) {
             WriteFile(csv + ".new", "another file\n");
             return ::rename((csv + ".new").c_str(), csv.c_str());
         },
         "the recording file was replaced by another file"},
    };
    SimulatedUnit unit;
    ASSERT_TRUE(unit.Started()) << unit.Error();
    PollSample sample;
    for (int c = 0; c < kSampleColumnCount; ++c) sample.values[c] = unit.Unit().Value(kSampleColumns[c].code);
    const size_t twoRows = CsvHeaderLine().size() + 2 * CsvRow(sample).size();
    TempFolder folder;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const std::string csv = folder.File(std::to_string(i) + ".csv");
        const long limit = cases[i].limit;
        ToolProcess tool(Concat(unit.TcpArgs(), {"watch", "--interval", "100", "--count", "30", "--csv", csv}), {},
                         nullptr, "/dev/null", limit < 0 ? 0 : twoRows + size_t(limit));
        ASSERT_TRUE(tool.Started());
        if (cases[i].mishap) {
            ASSERT_TRUE(WaitForCsv(csv, [](const auto& lines) { return lines.size() >= 3; }));
            ASSERT_EQ(cases[i].mishap(csv), 0);
        }
        const RunResult r = tool.Wait();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "tavrinctl: " + csv + ": recording stopped: " + cases[i].reason + "\n");
        if (!cases[i].mishap) ExpectCsvOfUnit(ReadFile(csv), unit.Unit(), 2);
    }
}

TEST(ToolWatchLine, IntervalCountAndCsvAreCheckedAndBelongToWatch) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--ip", "127.0.0.1", "watch", "--interval", "99"}, "--interval takes milliseconds from 100 to 86400000"},
        {{"--ip", "127.0.0.1", "watch", "--interval", "1,5"}, "--interval takes milliseconds from 100 to 86400000"},
        {{"--ip", "127.0.0.1", "watch", "--count", "0"}, "--count takes a number of cycles from 1 to 1000000000"},
        {{"--ip", "127.0.0.1", "--count", "3", "status"}, "--count applies to watch and alarms only"},
        {{"--ip", "127.0.0.1", "--csv", "x.csv", "read", "1loc"}, "--csv applies to watch only"},
        {{"--ip", "127.0.0.1", "--csv", "x.csv", "alarms"}, "--csv applies to watch only"},
        {{"--ip", "127.0.0.1", "--alarm-rules", "r.json", "watch"}, "--alarm-rules applies to alarms only"},
        {{"--ip", "127.0.0.1", "watch", "extra"}, "wrong number of arguments for watch"},
    };
    for (const auto& [args, reason] : cases) {
        const RunResult r = RunTool(args);
        EXPECT_EQ(r.exitCode, 2) << reason;
        EXPECT_NE(r.err.find("tavrinctl: " + reason + "\n"), std::string::npos) << r.err;
    }
}

TEST(ToolWatchLine, ARecordingThatCannotStartRunsNoCycle) {
    SimulatedUnit unit;
    ASSERT_TRUE(unit.Started()) << unit.Error();
    const RunResult r =
        RunTool(Concat(unit.TcpArgs(), {"watch", "--count", "1", "--csv", "/nonexistent-folder/x.csv"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "tavrinctl: /nonexistent-folder/x.csv: Unable to open file for writing: No such file or directory\n");
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(unit.Unit().Requests().size(), 1u) << "only the probe";
}

}  // namespace
