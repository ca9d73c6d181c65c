// Standard output as tavrinctl writes it: a stream on descriptor 1 that keeps
// the system's reason for the first write that failed, so that a run whose
// output was lost (a full disk, a pipe whose reader has gone while SIGPIPE is
// ignored) ends as a failure that says why.
#pragma once
#include <cstdio>

class CheckedOutput {
public:
    CheckedOutput();
    ~CheckedOutput();
    CheckedOutput(const CheckedOutput&) = delete;
    CheckedOutput& operator=(const CheckedOutput&) = delete;

    FILE* Stream() const { return stream_; }
    // Flushes the stream and closes descriptor 1: 0 when everything was
    // written, else the errno of the first failure.
    int Close();

private:
    FILE* stream_ = nullptr;
    bool own_ = false;     // false: the stream is stdout itself
    int error_ = 0;        // the first failed write's errno
};
