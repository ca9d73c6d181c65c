// The shared simulator-plus-link rig as the fault tests use it: the link's
// flags and time-outs as the desktop program sets them, short serial read
// time-outs and a unit that is away a while after a restart.
#pragma once
#include <chrono>

#include "faults/fault_support.h"
#include "params/codec.h"
#include "params/poll_thread.h"
#include "support/sim_rig.h"

using testsupport::Exchange;
using testsupport::Transport;
using testsupport::TransportName;

class UnitRig : public testsupport::SimRig {
public:
    // Short serial read time-outs keep the silent cases quick; the bounds
    // (AttemptBound) are derived from whatever is configured.
    static constexpr uint32_t kReadConstantMs = 300;
    static constexpr uint32_t kReadMultiplierMs = 1;
    static constexpr uint32_t kRestartMs = 1200;
    // Slack on top of the protocol's own bound: scheduling on a busy machine.
    static constexpr std::chrono::milliseconds kSlack{2000};

    explicit UnitRig(Transport transport) : SimRig(Options(transport)) {}

private:
    static testsupport::SimRigOptions Options(Transport transport) {
        testsupport::SimRigOptions o;
        o.transport = transport;
        o.restartMs = kRestartMs;
        o.readConstantMs = kReadConstantMs;
        o.readMultiplierMs = kReadMultiplierMs;
        return o;
    }
};

// The rig plus a running poll thread posting to the rig's window.
class Polling {
public:
    explicit Polling(UnitRig& rig, uint32_t intervalMs) {
        unit.demodMode = 0;
        params.window = &rig.window;
        params.link = rig.link.get();
        params.unit = &unit;
        params.interval = intervalMs;
        params.unitAddress = 1;
        params.pollingEnabled = &enabled;
        params.pollItemFlags = items;
    }
    ~Polling() { Stop(); }
    bool Start() { return thread.Start(params); }
    // True when the thread ended within the stop bound.
    bool Stop() { return !thread.IsRunning() || !thread.Stop(); }

    UnitState unit;
    uint8_t enabled = 1;
    uint8_t items[4] = {1, 1, 1, 1};
    PollThreadParams params;
    CPollThread thread;
};
