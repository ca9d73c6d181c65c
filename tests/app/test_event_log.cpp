// The event log and the signal history's events: names, lines, the bounded
// file, and the lock and connection changes a run of samples makes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/event_log.h"
#include "app/signal_history.h"
#include "support/temp_folder.h"

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A sample with the three lock readings ("" = not read) and one SNR per input.
PollSample Sample(int64_t timeMs, bool connected, const char* demod, const char* errors, const char* decoder,
                  std::vector<const char*> snr = {}) {
    PollSample s;
    s.timeMs = timeMs;
    s.connected = connected;
    if (!connected) return s;
    s.values[kColDemodLock] = demod;
    s.values[kColPacketErrors] = errors;
    s.values[kColDecoderLock] = decoder;
    for (size_t i = 0; i < snr.size(); ++i) s.values[kColSnrA + i] = snr[i];
    return s;
}

std::vector<std::string> Names(const CEventLog& log) {
    std::vector<std::string> names;
    for (const EventRecord& e : log.Recent()) names.insert(names.begin(), EventName(e.kind));   // oldest first
    return names;
}

}  // namespace

TEST(EventNames, ShortLowerCaseWithHyphens) {
    const std::vector<std::pair<EventKind, std::string>> expected = {
        {EventKind::Connected, "connected"},
        {EventKind::ConnectionLost, "connection-lost"},
        {EventKind::ConnectionBack, "connection-back"},
        {EventKind::DemodLockLost, "demod-lock-lost"},
        {EventKind::DemodLockRegained, "demod-lock-regained"},
        {EventKind::ReceptionLost, "reception-lost"},
        {EventKind::ReceptionRegained, "reception-regained"},
        {EventKind::DecoderLockLost, "decoder-lock-lost"},
        {EventKind::DecoderLockRegained, "decoder-lock-regained"},
        {EventKind::SlotChanged, "slot-changed"},
        {EventKind::ModeChanged, "mode-changed"},
        {EventKind::ConfigFileLoaded, "config-file-loaded"},
        {EventKind::ConfigFileSaved, "config-file-saved"},
        {EventKind::ConfigSetLoaded, "config-set-loaded"},
        {EventKind::ConfigSetSaved, "config-set-saved"},
        {EventKind::DefaultsRestored, "defaults-restored"},
        {EventKind::KeyWritten, "key-written"},
        {EventKind::RecordingStarted, "recording-started"},
        {EventKind::RecordingStopped, "recording-stopped"},
        {EventKind::Disconnected, "disconnected"},
        {EventKind::AlarmRaised, "alarm-raised"},
        {EventKind::AlarmCleared, "alarm-cleared"},
        {EventKind::AlarmWithdrawn, "alarm-withdrawn"},
        {EventKind::AlarmAcknowledged, "alarm-acknowledged"},
    };
    for (const auto& [kind, name] : expected) EXPECT_EQ(EventName(kind), name);
}

TEST(EventLog, OneEventALineInTheFileAndNewestFirstInMemory) {
    testsupport::TempFolder folder;
    CEventLog log;
    log.SetFile(folder.File("tavrin_rx_ctrl_events.log"));
    std::vector<std::string> heard;
    log.SetListener([&](const EventRecord& e) { heard.push_back(EventName(e.kind)); });
    EXPECT_TRUE(log.Add(EventKind::Connected, "COM3", 1796766185123));
    EXPECT_TRUE(log.Add(EventKind::ConfigFileSaved, "a\tb\nc.cfg", 1796766186000));
    EXPECT_EQ(Slurp(folder.File("tavrin_rx_ctrl_events.log")),
              "2026-12-08T21:43:05.123Z\tconnected\tCOM3\n"
              "2026-12-08T21:43:06.000Z\tconfig-file-saved\ta b c.cfg\n");
    ASSERT_EQ(log.Recent().size(), 2u);
    EXPECT_EQ(log.Recent()[0].kind, EventKind::ConfigFileSaved);
    EXPECT_EQ(heard, (std::vector<std::string>{"connected", "config-file-saved"}));
}

TEST(EventLog, AFileThatCannotBeWrittenIsReportedAndMemoryKeepsTheEvent) {
    testsupport::TempFolder folder;
    CEventLog log;
    log.SetFile(folder.File("no-such-folder/events.log"));
    EXPECT_FALSE(log.Add(EventKind::KeyWritten, "BISS"));
    log.SetFile(folder.Path());   // a folder, not a file
    EXPECT_FALSE(log.Add(EventKind::KeyWritten, "BISS"));
    EXPECT_EQ(log.Recent().size(), 2u);
}

TEST(EventLog, FileStaysBoundedAndKeepsTheNewestWholeLines) {
    testsupport::TempFolder folder;
    const std::string path = folder.File("events.log");
    CEventLog log;
    log.SetFile(path);
    const std::string detail(1000, 'x');
    const int count = static_cast<int>(kEventFileMaxBytes / 1000) + 500;
    for (int i = 0; i < count; ++i) ASSERT_TRUE(log.Add(EventKind::SlotChanged, std::to_string(i) + " " + detail));
    const std::string text = Slurp(path);
    EXPECT_LE(text.size(), kEventFileMaxBytes);
    EXPECT_GE(text.size(), kEventFileKeepBytes / 2);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) ASSERT_EQ(line.rfind("20", 0), 0u) << "a cut line: " << line.substr(0, 40);
    EXPECT_NE(lines.back().find("\t" + std::to_string(count - 1) + " "), std::string::npos);
    EXPECT_LE(log.Recent().size(), kEventMemoryCount);
}

TEST(SignalHistoryEvents, LockChangesAfterAConnect) {
    CSignalHistory history(100);
    history.OnPollSample(Sample(1000, true, "1", "0", "1"));   // before any Connect: a baseline only
    history.NoteConnected("COM1");
    history.OnPollSample(Sample(2000, true, "1", "0", "1"));   // first reading: no change
    history.OnPollSample(Sample(3000, true, "1", "5", "1"));   // packet errors
    history.OnPollSample(Sample(4000, true, "0", "5", "0"));
    history.OnPollSample(Sample(5000, true, "", "", ""));       // nothing read: no change
    history.OnPollSample(Sample(6000, true, "1", "0", "1"));
    EXPECT_EQ(Names(history.Events()),
              (std::vector<std::string>{"connected", "reception-lost", "demod-lock-lost", "decoder-lock-lost",
                                        "demod-lock-regained", "reception-regained", "decoder-lock-regained"}));
    EXPECT_EQ(history.Size(), 6u);
}

TEST(SignalHistoryEvents, ConnectionLostAndBackOnlyWhileConnected) {
    CSignalHistory history(100);
    history.OnPollSample(Sample(1000, false, "", "", ""));   // not connected yet: nothing lost
    history.NoteConnected("192.168.1.20");
    history.OnPollSample(Sample(2000, true, "1", "0", "1"));
    history.OnPollSample(Sample(3000, false, "", "", ""));
    history.OnPollSample(Sample(4000, false, "", "", ""));
    history.OnPollSample(Sample(5000, true, "0", "0", "1"));   // back, and the lock went meanwhile
    history.NoteDisconnected();
    history.OnPollSample(Sample(6000, false, "", "", ""));
    EXPECT_EQ(Names(history.Events()),
              (std::vector<std::string>{"connected", "connection-lost", "connection-back", "demod-lock-lost",
                                        "reception-lost", "disconnected"}));
    const std::vector<EventRecord> recent = history.Events().Recent();
    EXPECT_EQ(recent.back().detail, "192.168.1.20");
    EXPECT_EQ(recent[recent.size() - 2].timeMs, 3000);
}

TEST(SignalHistoryEvents, RecordingWritesEveryCycleAcrossADisconnection) {
    testsupport::TempFolder folder;
    CSignalHistory history(100);
    std::string error;
    ASSERT_TRUE(history.StartRecording(folder.File("r.csv"), error)) << error;
    EXPECT_TRUE(history.IsRecording());
    history.OnPollSample(Sample(1796766185123, true, "1", "0", "1", {"18.5"}));
    history.OnPollSample(Sample(1796766187123, false, "", "", ""));
    history.StopRecording();
    EXPECT_FALSE(history.IsRecording());
    const std::vector<std::string> lines = Lines(Slurp(folder.File("r.csv")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "2026-12-08T21:43:05.123Z,1,1,0,1,18.5,,,,,,,\r");
    EXPECT_EQ(lines[2], "2026-12-08T21:43:07.123Z,0,,,,,,,,,,,\r");
    EXPECT_EQ(Names(history.Events()), (std::vector<std::string>{"recording-started", "recording-stopped"}));
    EXPECT_NE(history.Events().Recent()[0].detail.find("(2 rows)"), std::string::npos);
    EXPECT_FALSE(history.StartRecording(folder.File("none/r.csv"), error));
    EXPECT_FALSE(history.IsRecording());
    EXPECT_EQ(history.Events().Recent().size(), 2u);
}

// The operator learns that a recording stopped by itself, where and why.
TEST(SignalHistoryEvents, ARecordingWhoseFileWasDeletedStopsWithAnEventSayingSo) {
    testsupport::TempFolder folder;
    CSignalHistory history(100);
    std::string error;
    ASSERT_TRUE(history.StartRecording(folder.File("r.csv"), error)) << error;
    ASSERT_EQ(::unlink(folder.File("r.csv").c_str()), 0);
    history.OnPollSample(Sample(2000, true, "1", "0", "1"));
    EXPECT_FALSE(history.IsRecording());
    EXPECT_EQ(history.Events().Recent()[0].detail, folder.File("r.csv") + " (0 rows): the recording file was deleted");
}

TEST(SignalHistoryAlignment, BestInputLiveAndItsPeakUntilReset) {
    CSignalHistory history(100);
    EXPECT_EQ(history.Alignment().bestInput, -1);
    history.OnPollSample(Sample(1000, true, "1", "0", "1", {"10.0", "12.5", "", "3"}));
    history.OnPollSample(Sample(2000, true, "1", "0", "1", {"9.0", "11.0", "11.5", "3"}));
    AlignmentReading a = history.Alignment();
    EXPECT_EQ(a.bestInput, 2);
    EXPECT_FLOAT_EQ(a.bestSnr, 11.5f);
    EXPECT_EQ(a.peakInput, 1);
    EXPECT_FLOAT_EQ(a.peakSnr, 12.5f);
    history.ResetPeak();
    EXPECT_FLOAT_EQ(history.Alignment().peakSnr, 11.5f);
    history.OnPollSample(Sample(3000, false, "", "", ""));
    a = history.Alignment();
    EXPECT_EQ(a.bestInput, -1);
    EXPECT_FLOAT_EQ(a.peakSnr, 11.5f);
}

// With alarm rules, a lock that flickers for less than its rule's delays
// gives no event: one "lost" once it stays off, one "regained" once it stays on.
TEST(SignalHistoryEvents, LockEventsWaitOutTheLockRulesDelays) {
    CSignalHistory history(100);
    AlarmRules rules = AlarmRules::Defaults();
    rules.Of(AlarmKind::DemodLockLost).enabled = false;   // the hold-off applies all the same
    history.SetAlarmRules(rules);   // demodulator lock: 5 s to raise, 5 s to clear
    history.NoteConnected("COM1");
    const char* demod = "11010000001011111111";   // one reading a second
    for (int64_t t = 0; demod[t]; ++t) history.Take(Sample(t * 1000, true, demod[t] == '1' ? "1" : "0", "0", "1"), kEveryPollItem, t * 1000);
    std::vector<std::pair<std::string, int64_t>> seen;
    for (const EventRecord& e : history.Events().Recent())
        if (std::string(EventName(e.kind)).rfind("demod-lock", 0) == 0) seen.insert(seen.begin(), {EventName(e.kind), e.timeMs});
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int64_t>>{{"demod-lock-lost", 9000}, {"demod-lock-regained", 17000}}));
}

// Raise, acknowledge, clear and withdraw in the event log, and only after a Connect.
TEST(SignalHistoryEvents, AlarmsGoToTheEventLog) {
    CSignalHistory history(100);
    AlarmRules rules = AlarmRules::Defaults();
    for (AlarmRule& rule : rules.rules) rule.raiseDelayMs = rule.clearDelayMs = 0;
    history.SetAlarmRules(rules);
    history.Take(Sample(1000, false, "", "", ""), kEveryPollItem, 1000);   // before a Connect: not watched
    EXPECT_TRUE(history.Alarms().active.empty());
    history.NoteConnected("COM1");
    struct Step {
        PollSample sample;
        std::function<void()> then;
        std::vector<std::string> events;   // "name detail", added by the step
        std::optional<AlarmSeverity> highest;
    };
    const auto first = [&] { return history.Alarms().active.at(0).serial; };
    AlarmRules snrOff = rules;
    snrOff.Of(AlarmKind::SnrLow).enabled = false;
    const std::vector<Step> steps = {
        {Sample(2000, true, "1", "0", "1", {"20"}), {}, {}, std::nullopt},
        {Sample(3000, false, "", "", ""), {}, {"connection-lost ", "alarm-raised unit_silent (critical)"}, AlarmSeverity::Critical},
        {Sample(4000, false, "", "", ""), [&] { EXPECT_TRUE(history.AcknowledgeAlarm(first())); },
         {"alarm-acknowledged unit_silent (critical)"}, AlarmSeverity::Critical},
        {Sample(5000, false, "", "", ""), [&] { EXPECT_EQ(history.AcknowledgeAllAlarms(), 0); }, {}, AlarmSeverity::Critical},
        {Sample(6000, true, "1", "0", "1", {"7.5"}), {},
         {"connection-back ", "alarm-cleared unit_silent (critical)", "alarm-raised snr_low_a (minor), value 7.5"},
         AlarmSeverity::Minor},
        {Sample(7000, true, "1", "0", "1", {"7.5"}), [&] { history.SetAlarmRules(snrOff); }, {}, AlarmSeverity::Minor},
        {Sample(8000, true, "1", "0", "1", {"7.5"}), {}, {"alarm-withdrawn snr_low_a (minor), value 7.5"}, std::nullopt},
    };
    for (const Step& step : steps) {
        const size_t before = history.Events().Recent().size();
        history.Take(step.sample, kEveryPollItem, step.sample.timeMs);
        if (step.then) step.then();
        std::vector<std::string> added;
        const std::vector<EventRecord> recent = history.Events().Recent();
        for (size_t i = recent.size() - before; i-- > 0;) added.push_back(std::string(EventName(recent[i].kind)) + " " + recent[i].detail);
        EXPECT_EQ(added, step.events) << "at " << step.sample.timeMs;
        EXPECT_EQ(history.Alarms().highest, step.highest) << "at " << step.sample.timeMs;
    }
    EXPECT_EQ(history.Alarms().recent.size(), 2u);
    EXPECT_TRUE(history.Alarms().recent.back().acknowledged);
    const uint8_t noLevels = uint8_t(kEveryPollItem & ~(1u << PollItemLevels));   // their poll item switched off
    history.Take(Sample(9000, true, "1", "0", "1"), noLevels, 9000);
    EXPECT_EQ(history.Alarms().notEvaluated, (std::vector<AlarmId>{{AlarmKind::LevelOutOfRange, 0}}));
}
