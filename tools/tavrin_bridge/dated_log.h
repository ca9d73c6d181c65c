// The bridge's transaction log file: the link writes into it as into any
// stream; each line gets the date and time in front ("2026-12-10
// 07:30:01.123 ", UTC), the file is rotated at a size (FILE.1 .. FILE.<kept>),
// and it is reopened by name on request (after a site's logrotate moved it).
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <streambuf>
#include <string>

inline constexpr uint64_t kDefaultLogMaxBytes = 10u << 20;
inline constexpr int kKeptLogFiles = 3;

class DatedLog : public std::streambuf {
public:
    DatedLog(std::string path, uint64_t maxBytes);
    ~DatedLog() override;
    DatedLog(const DatedLog&) = delete;
    DatedLog& operator=(const DatedLog&) = delete;
    // Opens (appends to) the file; false with `error` set when it cannot.
    bool Open(std::string* error);
    // Closes the file and opens the file of that name again (SIGHUP); in the
    // middle of a line, before the next line begins.
    bool Reopen(std::string* error);
    const std::string& Path() const { return path_; }

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Before the first byte of a line: rotation when the file is full, the stamp.
    void StartLine();
    void Rotate();
    bool OpenHeld(std::string* error);

    const std::string path_;
    const uint64_t maxBytes_;
    std::mutex lock_;
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    bool lineStart_ = true;
    bool reopen_ = false;   // at the next line's start
};
