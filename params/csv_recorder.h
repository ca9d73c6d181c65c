// Recording of poll samples to a CSV file: RFC 4180 (comma, CRLF, quotes
// where needed), UTF-8, one row per poll cycle, each row written to the file
// as soon as it is made so that a crash loses at most the row being written.
#pragma once
#include <cstdint>
#include <string>

#include "params/poll_sample.h"

// "time_utc,connected,demod_lock,...,level_d_dbm" followed by CRLF.
std::string CsvHeaderLine();
// One row: the time as ISO 8601 UTC with milliseconds, 1/0 for connected and
// the values as the unit sent them (empty when not read), followed by CRLF.
std::string CsvRow(const PollSample& sample);
// A cell as RFC 4180 wants it: quoted when it holds a comma, a quote, CR or LF.
std::string CsvCell(const std::string& text);

class CCsvRecorder {
public:
    CCsvRecorder() = default;
    ~CCsvRecorder();
    CCsvRecorder(const CCsvRecorder&) = delete;
    CCsvRecorder& operator=(const CCsvRecorder&) = delete;

    // Creates (or empties) the file and writes the header line. On failure
    // nothing is recording and `error` says why.
    bool Start(const std::string& path, std::string& error);
    // Writes one row. A failed write (a full disk, a vanished folder) stops
    // the recording and returns false with `error` set; the rows written
    // before it stay in the file.
    bool Append(const PollSample& sample, std::string& error);
    void Stop();

    bool IsRecording() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    uint64_t Rows() const { return rows_; }

private:
    bool WriteAll(const std::string& text, std::string& error);

    int fd_ = -1;
    std::string path_;
    uint64_t rows_ = 0;
};
