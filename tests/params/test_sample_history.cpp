// The history's pieces without a unit: sample columns, the bounded ring, the
// CSV text and the recorder's file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

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

// A full disk, as a file size limit of this process (SIGXFSZ ignored, so a
// write past it fails with EFBIG), in the middle of the header or of the
// third row or at its start: the file keeps whole rows only.
TEST(CsvRecorder, ARowThatCannotBeWrittenWholeIsTakenBack) {
    const std::string header = CsvHeaderLine(), twoRows = header + CsvRow(FullSample()) + CsvRow(FullSample());
    const struct {
        size_t limit;
        const char* outcome;
        std::string left;
    } cases[] = {
        {20, "not started: File too large", ""},
        {twoRows.size() + 30, "2 stopped: a row could not be written and was taken back: File too large", twoRows},
        {twoRows.size(), "2 stopped: a row could not be written and was taken back: File too large", twoRows},
    };
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    for (const auto& c : cases) {
        testsupport::TempFolder folder;
        CCsvRecorder recorder;
        std::string error, outcome = "not started: ";
        const rlimit limit{c.limit, old.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        if (recorder.Start(folder.File("rec.csv"), error)) {
            int rows = 0;
            while (rows < 3 && recorder.Append(FullSample(), error)) ++rows;
            outcome = std::to_string(rows) + (recorder.IsRecording() ? " recording: " : " stopped: ");
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(outcome + error, c.outcome) << c.limit;
        EXPECT_EQ(Slurp(folder.File("rec.csv")), c.left) << c.limit;
    }
    ::signal(SIGXFSZ, SIG_DFL);
}
