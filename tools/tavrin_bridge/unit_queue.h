// The one worker that owns the link to the unit: it runs the queued exchanges
// of all clients in the order they came, one at a time, and the poll cycle
// that feeds the metrics through the same queue.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "link/result_codes.h"
#include "link/unit_reply.h"
#include "params/alarms.h"
#include "params/lamps.h"

class CFerritRemoteControl;
class BridgeMetrics;

// Bound on queued exchanges (each client has at most one queued at a time).
inline constexpr size_t kMaxQueuedExchanges = 64;
// While the unit's serial device is gone, it is looked for this often.
inline constexpr uint32_t kLostDeviceLookMs = 500;

struct UnitQueueSetup {
    // The unit address for the poll reads, or nothing to ask the unit for it
    // (the any-unit probe).
    std::optional<int> address;
    uint32_t pollIntervalMs = 0;   // 0: no poll cycle
    // The connection as the operator knows it ("/dev/ttyUSB0", "COM3",
    // "10.0.0.5 port 9999"), for the lines that tell the unit went or came.
    std::string connection;
    // Opens a serial unit whose device vanished again, once it is back; true
    // when it is open. Nothing for a unit over TCP (the link reconnects).
    std::function<bool()> reopen;
    // Called from the worker at least every `pingEvery` while it is free to
    // take the next job (the service watchdog): a job that does not end stops
    // the pings. Zero: none.
    std::chrono::microseconds pingEvery{0};
    std::function<void()> ping;
    // The unit's state in words, each time it changes ("unit answering").
    std::function<void(const std::string&)> status;
    // Each alarm raised, cleared or withdrawn (the SNMP notifications).
    std::function<void(const AlarmEvent&)> alarm;
};

class UnitQueue {
public:
    // The reply frame (STX..ETX) on success; nothing when the exchange failed.
    using Done = std::function<void(std::optional<std::string> replyFrame)>;

    UnitQueue(CFerritRemoteControl& link, BridgeMetrics& metrics, UnitQueueSetup setup);
    ~UnitQueue();
    UnitQueue(const UnitQueue&) = delete;
    UnitQueue& operator=(const UnitQueue&) = delete;

    // Called on the worker when a job leaves a queue that has refused a
    // request since: there is room again. Set before Start.
    void OnRoom(std::function<void()> room) { onRoom_ = std::move(room); }
    void Start();
    // Ends the worker after the exchange in progress; queued ones are dropped.
    void Stop();

    // Queues one request text for the link's Exchange. `cancelled`, when set by the time
    // its turn comes, skips it. False when the queue is full.
    bool Submit(std::string request, std::shared_ptr<std::atomic<bool>> cancelled, Done done);
    // Takes the jobs whose `cancelled` is set out of the queue (their clients
    // have gone), so that they hold no place.
    void DropCancelled();

private:
    struct Job {
        bool poll = false;
        std::string request;
        std::shared_ptr<std::atomic<bool>> cancelled;
        Done done;
    };
    void Run();
    // The link's Exchange, timed and counted. On success `frame` (when
    // given) holds the reply frame, STX to ETX.
    UnitReply Exchange(const std::string& request, std::string* frame = nullptr);
    // A read of `code`: its data text when the unit answered with status '1'.
    std::optional<std::string> Read(int address, const char* code);
    void PollCycle();
    bool ReadUnitInfo(int address);
    // While the serial device is gone: looks for it, at most once per
    // kLostDeviceLookMs; after a reopen the address and identity are learnt
    // again.
    void LookForLostDevice();
    void NoteAnswer(ResultCode result);

    CFerritRemoteControl& link_;
    BridgeMetrics& metrics_;
    const UnitQueueSetup setup_;
    std::function<void()> onRoom_;
    std::optional<int> address_;   // worker only
    bool infoKnown_ = false;       // worker only; read again after any failure
    uint64_t unrequestedSeen_ = 0;  // worker only: the link's unrequested-reply count last looked at
    LampMemory lamps_;             // worker only
    std::optional<bool> answering_;                     // worker only: the last exchange's outcome
    std::chrono::steady_clock::time_point nextLook_{};  // worker only

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool pollQueued_ = false;
    bool refused_ = false;   // a request was refused since the last job left
    bool stop_ = false;
    std::thread worker_;
};
