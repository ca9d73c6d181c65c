// Scripted stand-ins for the unit on real pseudo-terminals and real loopback
// TCP, a recording window and temporary folders for the link tests.
#pragma once
#include "support/wait.h"
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/blowfish.h"
#include "link/unit_events.h"
#include "support/recording_target.h"
#include "support/temp_folder.h"

namespace linktest {

// A fresh folder, removed with everything in it.
using TempDir = testsupport::TempFolder;

std::string ReadFile(const std::string& path);
// STX + text + checksum + ETX, as a unit would answer.
std::string ReplyFrame(const std::string& textAfterStx);

// A window that records every event (`sent`: a sent event rather than a posted one).
using Message = testsupport::Posted;
using RecordingWindow = testsupport::RecordingTarget;
using testsupport::Ev;

// One scripted answer: the bytes to write back after a request arrived
// (empty = stay silent).
struct Step {
    std::string reply;
};

// The unit's side of a pseudo-terminal. The link opens the slave through a
// "ports/COMn" link in the program folder; the peer reads whole request frames
// (up to ETX) from the master and writes the scripted answers.
class PtyUnit {
public:
    PtyUnit();
    ~PtyUnit();
    const std::string& SlavePath() const { return slave_; }
    int MasterFd() const { return master_; }
    // Makes COM(index+1) resolve to the slave inside `programFolder`.
    void LinkAsComPort(const std::string& programFolder, int index) const;
    void Push(const std::string& reply);
    void PushSilence(int count = 1);
    // The next request is answered by closing the master: the device vanishes.
    void PushHangUp();
    std::vector<std::string> Requests() const;

private:
    void Run();
    std::atomic<int> master_{-1};
    std::string slave_;
    bool hangUpNext_ = false;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::deque<std::string> script_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// What the TCP unit does with one request.
struct TcpStep {
    enum Kind { Answer, Silence, Close, SplitHold, AnswerThenClose } kind = Answer;
    std::string reply;            // frame to wrap and encipher (Answer, SplitHold)
    size_t firstSegment = 8;      // SplitHold: bytes sent at once; the rest on ReleaseHeld()
};

// The unit's side of TCP port 9999 on a random 127.x.y.z address. Requests are
// deciphered and unwrapped; replies are wrapped and enciphered as a unit does.
class TcpUnit {
public:
    TcpUnit();
    ~TcpUnit();
    const std::string& Address() const { return address_; }
    void Push(const TcpStep& step);
    void PushAnswer(const std::string& frame) { Push({TcpStep::Answer, frame, 8}); }
    // Sends what a SplitHold step kept back, on the connection it came from.
    void ReleaseHeld();
    std::vector<std::string> Requests() const;      // frames, STX to ETX
    std::vector<std::string> Envelopes() const;     // enciphered bytes as received
    int Accepted() const { return accepted_.load(); }
    int Closed() const { return closed_.load(); }   // connections ended on the unit's side
    // Waits (bounded) until `count` requests have arrived.
    bool WaitForRequests(size_t count) const;

private:
    void Run();
    bool Serve(int fd, std::string& pending);   // false: close the connection
    Blowfish cipher_;
    int listener_ = -1;
    std::string address_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> closed_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<TcpStep> script_;
    std::vector<std::string> requests_;
    std::vector<std::string> envelopes_;
    std::string held_;
    int heldFd_ = -1;
    std::thread thread_;
};

std::string Encipher(const Blowfish& cipher, const std::string& plain);

// Collects the debug lines for the life of the object.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    std::vector<std::string> Lines() const;
    bool Has(const std::string& line) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

using testsupport::WaitUntil;

}  // namespace linktest
