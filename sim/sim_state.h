// The unit's state and its answers to request frames; no I/O here.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "sim/sim_unit.h"

namespace sim {

// What the I/O side does with the next reply (taken from the fault setting).
struct ReplyFault {
    Fault fault = Fault::None;
    uint32_t delayMs = 0;
};

struct SimUnit::State {
    using Config = std::map<std::string, std::string>;

    explicit State(const SimOptions& opts);

    // Handles one frame under the lock; "" when the unit stays silent.
    std::string Handle(const std::string& frame);

    // All below take the lock themselves.
    void BeginRestart();
    bool IsRestarting() const;
    // Whether a TCP listener may be open: not in the first part of a restart.
    // The listener comes back a little before the silence ends, so that a
    // program that waits the restart time and then connects finds the unit
    // listening; frames stay unanswered until the restart is over.
    bool AcceptsConnections() const;
    bool TakeRestartPending();   // true once per restart: the I/O side drops TCP
    // Consumes one count of the current fault, when it applies to `frame`.
    ReplyFault TakeReplyFault(const std::string& frame);
    void SetFault(Fault fault, int count, uint32_t delayMs, const std::string& onlyCode);
    std::atomic<bool> floodStopped{false};
    void SetSilentAfter(int64_t replies);
    void SetRandomFaults(double rate, uint32_t maxDelayMs);
    void CountReply();
    void CountConnection();
    void CountSerialBytes(size_t in, size_t out);

    std::string Value(const std::string& code) const;
    void SetValue(const std::string& code, const std::string& wire);
    std::string SlotValue(int mode, int slot, const std::string& code) const;

    const SimOptions options;
    mutable std::mutex mutex;
    int address;
    int mode;
    Config working[2];
    Config slots[2][8];
    int lastLoaded[2] = {1, 1};
    Config unitValues;
    Config live;
    std::map<std::string, std::string> keys;
    std::vector<std::string> requests;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> requestLog{nullptr, &std::fclose};
    SimCounters counters;

private:
    void FactoryReset();                 // lock held
    void RestartLocked();                // lock held
    bool ReadLocked(const std::string& code, std::string* value);
    char WriteLocked(const std::string& code, const std::string& data, std::string* value);
    std::string BulkReadLocked();
    void DriftLocked(const std::string& code);
    ReplyFault TakeReplyFaultLocked(const std::string& frame);
    ReplyFault DrawRandomFaultLocked();   // sim_oracle.cpp
    std::string* FindValueLocked(const std::string& code);

    uint64_t restartUntil_ = 0;
    bool restartPending_ = false;
    Fault fault_ = Fault::None;
    int faultCount_ = 0;
    uint32_t faultDelayMs_ = 0;
    std::string faultCode_;      // "" = every reply
    int64_t silentAfter_ = -1;   // replies left before the unit falls silent; -1 none
    std::mt19937 rng_;
    double randomRate_ = 0.0;
    uint32_t randomMaxMs_ = 0;
    std::mt19937 faultRng_;
    uint32_t oracleCount_ = 0;   // running count of the oracle's reception values
};

}  // namespace sim
