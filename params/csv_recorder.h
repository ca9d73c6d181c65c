// Recording of poll samples to a CSV file: RFC 4180 (comma, CRLF, quotes
// where needed), UTF-8, one row per poll cycle, each row written to the file
// as soon as it is made so that a crash loses at most the row being written.
//
// Every row in the file is whole. A row that cannot be written completely (a
// full disk, a file size limit) is taken back: the file is cut to the end of
// the last whole row and the recording stops with a reason that says so.
// Before each row the recorder checks that its path still leads to the file it
// opened; a file that was deleted, renamed away or replaced by another file
// stops the recording with a reason that says which (no new file is started:
// the operator decides where the recording goes on). Both checks apply to
// regular files; a device or a FIFO is written as it is.
#pragma once
#include <cstdint>
#include <string>

#include "params/poll_sample.h"
#include "platform/files.h"

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
    // nothing is recording, a header written in part is taken back and
    // `error` is the system's reason.
    bool Start(const std::string& path, std::string& error);
    // Writes one row. A row that cannot be written whole, or a file that is
    // no longer at its path, stops the recording and returns false with
    // `error` set ("a row could not be written and was taken back: No space
    // left on device", "the recording file was deleted"); the whole rows
    // written before it stay in the file.
    bool Append(const PollSample& sample, std::string& error);
    void Stop();

    bool IsRecording() const { return file_.IsOpen(); }
    const std::string& Path() const { return path_; }
    uint64_t Rows() const { return rows_; }

private:
    bool WriteWhole(const std::string& text, std::string& error);
    // Why the path no longer leads to the open file; "" while it does.
    std::string FileGone() const;

    WrittenFile file_;
    std::string path_;
    uint64_t rows_ = 0;
    uint64_t end_ = 0;   // the end of the last whole row (or header) in the file
};
