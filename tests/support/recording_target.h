// A window as the core sees it: records every event told to it, from any
// thread, and can be waited on.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "link/unit_events.h"

namespace testsupport {

// The kind of an event, one per IUnitEvents call.
enum class Ev : uint8_t { Lamp, Value, Graph, UnitAlive, LinkLost, PollCycleDone, ConnectDone };

struct Posted {
    Ev ev;
    Lamp lamp = Lamp::DemodLock;            // Ev::Lamp
    LampState state = LampState::Grey;      // Ev::Lamp
    ValueTable table = ValueTable::Demod;   // Ev::Value
    const ParamEntry* row = nullptr;        // Ev::Value, Ev::Graph
    PollCycleReport report{};               // Ev::PollCycleDone
    ConnectResult result = ConnectResult::Connected;   // Ev::ConnectDone
    bool sent = false;                      // a sent event (waits) rather than a posted one
};

class RecordingTarget : public IUnitEvents {
public:
    void LampChanged(Lamp lamp, LampState state) override { Record({.ev = Ev::Lamp, .lamp = lamp, .state = state}); }
    void ValueUpdated(ValueTable table, const ParamEntry& row) override {
        Record({.ev = Ev::Value, .table = table, .row = &row});
    }
    void GraphSample(const ParamEntry& row) override { Record({.ev = Ev::Graph, .row = &row}); }
    void UnitAlive() override { Record({.ev = Ev::UnitAlive}); }
    void LinkLost() override { Record({.ev = Ev::LinkLost}); }
    void PollCycleDone(const PollCycleReport& report) override { Record({.ev = Ev::PollCycleDone, .report = report}); }
    void ConnectDone(ConnectResult result) override {
        Record({.ev = Ev::ConnectDone, .result = result, .sent = true});
    }
    bool WindowExists() const override { return exists.load(); }

    void Record(const Posted& p);
    // Everything received, in order.
    std::vector<Posted> Messages() const;
    // The events of kind `ev`, in order.
    std::vector<Posted> Of(Ev ev) const;
    int Count(Ev ev) const;
    void Clear();
    // Waits (up to `limit`) until `ev` has been received `count` times in all.
    bool WaitFor(Ev ev, int count, std::chrono::milliseconds limit);

    std::atomic<bool> exists{true};
    // Called for every event, under the recorder's lock, on the caller's thread.
    std::function<void(const Posted&)> onPost;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Posted> posted_;
};

}  // namespace testsupport
