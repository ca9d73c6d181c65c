// The history's pieces without a unit: sample columns, the bounded ring, the
// CSV text and the recorder's file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "params/csv_recorder.h"
#include "params/poll_sample.h"
#include "params/sample_ring.h"
#include "platform/clock.h"
#include "support/scoped_locale.h"
#include "support/temp_folder.h"

namespace {

HistoryPoint PointAt(int64_t timeMs) {
    PollSample sample;
    sample.timeMs = timeMs;
    sample.connected = true;
    sample.values[kColSnrA] = std::to_string(timeMs % 1000);
    return ToHistoryPoint(sample);
}

PollSample FullSample() {
    PollSample s;
    s.timeMs = 1796766185123;   // 2026-12-08T21:43:05.123Z
    s.connected = true;
    const char* values[kSampleColumnCount] = {"1", "0", "0", "18.5", "17.9", "", "-3", "-45.6", "-47.2", "-50", "-61.25"};
    for (int i = 0; i < kSampleColumnCount; ++i) s.values[i] = values[i];
    return s;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(UtcTime, IsoMillisecondsWithZ) {
    EXPECT_EQ(FormatUtcMs(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(FormatUtcMs(1796766185123), "2026-12-08T21:43:05.123Z");
    EXPECT_EQ(FormatUtcMs(1796766185007), "2026-12-08T21:43:05.007Z");
    EXPECT_EQ(FormatUtcMs(-1), "1969-12-31T23:59:59.999Z");
    testsupport::ScopedLocale comma(testsupport::kCommaLocale);
    EXPECT_EQ(FormatUtcMs(1796766185123), "2026-12-08T21:43:05.123Z");
}

TEST(SampleRing, HoldsADayAtTheFastestIntervalAndNeverMore) {
    EXPECT_GE(kHistoryCapacity * kMinPollIntervalMs, 24u * 3600 * 1000);
    CSampleRing ring(5);
    for (int64_t t = 1; t <= 12; ++t) ring.Push(PointAt(t * 1000 + t));
    ASSERT_EQ(ring.Size(), 5u);
    EXPECT_EQ(ring.At(0).timeMs, 8 * 1000 + 8);    // the oldest kept
    EXPECT_EQ(ring.Newest().timeMs, 12 * 1000 + 12);
    EXPECT_FLOAT_EQ(ring.Newest().series[0], 12.0f);
    EXPECT_EQ(ring.StorageBytes(), 5 * sizeof(HistoryPoint));
}

TEST(SampleRing, StorageGrowsWithItsPointsUpToTheCapacityOnly) {
    CSampleRing ring(100000);
    EXPECT_EQ(ring.StorageBytes(), 0u);
    for (int64_t t = 0; t < 3000; ++t) ring.Push(PointAt(t));
    EXPECT_LT(ring.StorageBytes(), 10000 * sizeof(HistoryPoint));
    for (int64_t t = 3000; t < 250000; ++t) ring.Push(PointAt(t));
    EXPECT_EQ(ring.Size(), 100000u);
    EXPECT_EQ(ring.StorageBytes(), 100000 * sizeof(HistoryPoint));
    EXPECT_EQ(ring.At(0).timeMs, 150000);
    ring.Clear();
    EXPECT_TRUE(ring.Empty());
    EXPECT_EQ(ring.StorageBytes(), 0u);
}

TEST(SampleRing, LowerBoundFindsASpanAcrossTheWrap) {
    CSampleRing ring(7);
    for (int64_t t = 0; t < 10; ++t) ring.Push(PointAt(t * 100));   // keeps 300..900
    EXPECT_EQ(ring.LowerBound(0), 0u);
    EXPECT_EQ(ring.LowerBound(300), 0u);
    EXPECT_EQ(ring.LowerBound(301), 1u);
    EXPECT_EQ(ring.LowerBound(650), 4u);
    EXPECT_EQ(ring.At(ring.LowerBound(650)).timeMs, 700);
    EXPECT_EQ(ring.LowerBound(901), ring.Size());
}

TEST(HistoryPoints, NumbersLocksAndReception) {
    testsupport::ScopedLocale comma(testsupport::kCommaLocale);
    const HistoryPoint p = ToHistoryPoint(FullSample());
    EXPECT_FLOAT_EQ(p.series[0], 18.5f);          // read with '.', whatever the locale
    EXPECT_TRUE(std::isnan(p.series[2]));          // not received
    EXPECT_FLOAT_EQ(p.series[7], -61.25f);
    EXPECT_EQ(p.locks[kBandDemodLock], LockState::On);
    EXPECT_EQ(p.locks[kBandReception], LockState::On);
    EXPECT_EQ(p.locks[kBandDecoderLock], LockState::Off);

    PollSample s = FullSample();
    s.values[kColPacketErrors] = "12";
    s.values[kColSnrB] = "n/a";
    EXPECT_EQ(ToHistoryPoint(s).locks[kBandReception], LockState::Off);
    EXPECT_TRUE(std::isnan(ToHistoryPoint(s).series[1]));
    s.values[kColPacketErrors] = "";
    s.values[kColDecoderLock] = "";
    EXPECT_EQ(ToHistoryPoint(s).locks[kBandReception], LockState::Unknown);
    EXPECT_EQ(ToHistoryPoint(s).locks[kBandDecoderLock], LockState::Unknown);
}

TEST(CsvText, HeaderAndRowsAsRecorded) {
    EXPECT_EQ(CsvHeaderLine(),
              "time_utc,connected,demod_lock,packet_errors,decoder_lock,snr_a_db,snr_b_db,snr_c_db,snr_d_db,"
              "level_a_dbm,level_b_dbm,level_c_dbm,level_d_dbm\r\n");
    testsupport::ScopedLocale comma(testsupport::kCommaLocale);
    EXPECT_EQ(CsvRow(FullSample()), "2026-12-08T21:43:05.123Z,1,1,0,0,18.5,17.9,,-3,-45.6,-47.2,-50,-61.25\r\n");
    PollSample lost;
    lost.timeMs = 1796766187123;
    EXPECT_EQ(CsvRow(lost), "2026-12-08T21:43:07.123Z,0,,,,,,,,,,,\r\n");
    // A value the unit sent with a comma or a quote stays one cell.
    EXPECT_EQ(CsvCell("1,5"), "\"1,5\"");
    EXPECT_EQ(CsvCell("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvCell("a\r\nb"), "\"a\r\nb\"");
}

TEST(CsvRecorder, EveryRowIsInTheFileAsSoonAsItIsAppended) {
    testsupport::TempFolder folder;
    const std::string path = folder.File("rec.csv");
    {
        std::ofstream old(path);
        old << "old contents\n";
    }
    CCsvRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Start(path, error)) << error;
    EXPECT_EQ(Slurp(path), CsvHeaderLine());
    ASSERT_TRUE(recorder.Append(FullSample(), error));
    // Read while still recording: nothing waits in a buffer.
    EXPECT_EQ(Slurp(path), CsvHeaderLine() + CsvRow(FullSample()));
    EXPECT_EQ(recorder.Rows(), 1u);
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(recorder.Append(FullSample(), error));
    EXPECT_EQ(Slurp(path), CsvHeaderLine() + CsvRow(FullSample()));
}

TEST(CsvRecorder, FailuresAreReportedNotSwallowed) {
    testsupport::TempFolder folder;
    CCsvRecorder recorder;
    std::string error;
    EXPECT_FALSE(recorder.Start(folder.File("missing/rec.csv"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(recorder.IsRecording());
    // A full disk: the header itself cannot be written.
    error.clear();
    EXPECT_FALSE(recorder.Start("/dev/full", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(recorder.IsRecording());
}

namespace {

// What befalls a recording after its second row.
enum class Mishap { None, Deleted, Renamed, Replaced };
// What a file holds afterwards: the header and two rows, nothing, another
// file's text, or there is no such file.
enum class Left { Rows, Empty, Another, Nothing };

struct RecorderCase {
    const char* name;
    long limit;            // the file size limit past the header and two rows, in bytes; kNoLimit for none
    Mishap mishap;
    const char* outcome;   // rows appended, whether still recording, the reason
    const char* file;      // the file looked at afterwards
    Left left;
};
constexpr long kNoLimit = 1L << 40;

// Runs a case in a child process, so that its file size limit stays there:
// Start, two rows, the mishap, a third row. Returns the outcome.
std::string RunRecorderCase(const RecorderCase& c, const std::string& path) {
    const std::string header = CsvHeaderLine(), row = CsvRow(FullSample());
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        ::signal(SIGXFSZ, SIG_IGN);   // past the limit a write fails with EFBIG
        const long limit = long(header.size() + 2 * row.size()) + c.limit;
        const rlimit size{rlim_t(limit), rlim_t(limit)};
        if (c.limit != kNoLimit) ::setrlimit(RLIMIT_FSIZE, &size);
        CCsvRecorder recorder;
        std::string error, outcome;
        int appended = 0;
        if (recorder.Start(path, error)) {
            while (appended < 2 && recorder.Append(FullSample(), error)) ++appended;
            if (c.mishap == Mishap::Deleted) ::unlink(path.c_str());
            if (c.mishap == Mishap::Renamed) ::rename(path.c_str(), (path + ".moved").c_str());
            if (c.mishap == Mishap::Replaced) {
                std::ofstream(path + ".new") << "another file\n";
                ::rename((path + ".new").c_str(), path.c_str());
            }
            if (appended == 2 && recorder.Append(FullSample(), error)) ++appended;
            outcome = std::to_string(appended) + (recorder.IsRecording() ? " recording: " : " stopped: ") + error;
        } else {
            outcome = "not started: " + error;
        }
        const bool sent = ::write(pipeFds[1], outcome.data(), outcome.size()) == ssize_t(outcome.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string outcome;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) outcome.append(buffer, size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? outcome : "the child failed";
}

}  // namespace

// Every row in the file is whole, and a file that is no longer at its path
// stops the recording: a full disk (a file size limit) at a row's end, in the
// middle of a row or of the header, and a file deleted, renamed or replaced.
TEST(CsvRecorder, RowsStayWholeAndAVanishedFileStopsTheRecording) {
    const std::string rows = CsvHeaderLine() + CsvRow(FullSample()) + CsvRow(FullSample());
    const long headerLimit = -long(rows.size()) + 20;   // 20 bytes: within the header
    const RecorderCase cases[] = {
        {"full at a row's end", 0, Mishap::None, "2 stopped: a row could not be written and was taken back: File too large",
         "rec.csv", Left::Rows},
        {"full in a row", 40, Mishap::None, "2 stopped: a row could not be written and was taken back: File too large",
         "rec.csv", Left::Rows},
        {"full in the header", headerLimit, Mishap::None, "not started: File too large", "rec.csv", Left::Empty},
        {"deleted", kNoLimit, Mishap::Deleted, "2 stopped: the recording file was deleted", "rec.csv", Left::Nothing},
        {"renamed", kNoLimit, Mishap::Renamed, "2 stopped: the recording file was renamed or moved", "rec.csv.moved",
         Left::Rows},
        {"replaced", kNoLimit, Mishap::Replaced, "2 stopped: the recording file was replaced by another file",
         "rec.csv", Left::Another},
    };
    const std::string texts[] = {rows, "", "another file\n"};
    for (const RecorderCase& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempFolder folder;
        EXPECT_EQ(RunRecorderCase(c, folder.File("rec.csv")), c.outcome);
        const std::string file = folder.File(c.file);
        EXPECT_EQ(::access(file.c_str(), F_OK) == 0, c.left != Left::Nothing);
        if (c.left != Left::Nothing) {
            EXPECT_EQ(Slurp(file), texts[int(c.left)]);
        }
    }
}
