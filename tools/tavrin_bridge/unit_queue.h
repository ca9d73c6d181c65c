// The one worker that owns the link to the unit: it runs the queued exchanges
// of all clients in the order they came, one at a time, and the poll cycle
// that feeds the metrics through the same queue.
#pragma once
#include <atomic>
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
#include "params/lamps.h"

class CFerritRemoteControl;
class BridgeMetrics;

// Bound on queued exchanges (each client has at most one queued at a time).
inline constexpr size_t kMaxQueuedExchanges = 64;

class UnitQueue {
public:
    // The reply frame (STX..ETX) on success; nothing when the exchange failed.
    using Done = std::function<void(std::optional<std::string> replyFrame)>;

    // `address`: the unit address for the poll reads, or nothing to ask the
    // unit for it (the any-unit probe). `pollIntervalMs` 0: no poll cycle.
    UnitQueue(CFerritRemoteControl& link, BridgeMetrics& metrics, std::optional<int> address,
              uint32_t pollIntervalMs);
    ~UnitQueue();
    UnitQueue(const UnitQueue&) = delete;
    UnitQueue& operator=(const UnitQueue&) = delete;

    void Start();
    // Ends the worker after the exchange in progress; queued ones are dropped.
    void Stop();

    // Queues one request text for the link's Exchange. `cancelled`, when set by the time
    // its turn comes, skips it. False when the queue is full.
    bool Submit(std::string request, std::shared_ptr<std::atomic<bool>> cancelled, Done done);

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

    CFerritRemoteControl& link_;
    BridgeMetrics& metrics_;
    const std::optional<int> givenAddress_;
    const uint32_t intervalMs_;
    std::optional<int> address_;   // worker only
    bool infoKnown_ = false;       // worker only; read again after any failure
    uint64_t unrequestedSeen_ = 0;  // worker only: the link's unrequested-reply count last looked at
    LampMemory lamps_;             // worker only

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool pollQueued_ = false;
    bool stop_ = false;
    std::thread worker_;
};
