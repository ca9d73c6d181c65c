// What the core tells its listeners (the windows, tavrinctl, the bridge, the
// tests): typed events about the unit, the link and the poll cycle.
#pragma once
#include <cstdint>

// A row of the parameter tables (params/param_table.h). The link only passes
// it on: it travels from the poll thread and the value codec to the windows.
struct ParamEntry;

// The three reception lamps.
enum class Lamp : uint8_t { DemodLock, Reception, DecoderLock };
inline constexpr int kLampCount = 3;
inline constexpr Lamp kAllLamps[kLampCount] = {Lamp::DemodLock, Lamp::Reception, Lamp::DecoderLock};

// What a lamp shows: grey is "not known" (not read, or no answer).
enum class LampState : uint8_t { Grey, Green, Red };

// The table a polled value belongs to.
enum class ValueTable : uint8_t { Demod, Decoder };

enum class ConnectResult : uint8_t { Connected, Failed };

// What a poll cycle tells when it ends: whether any of its exchanges was
// answered, which poll items it read (bit 1 << PollItem, params/poll_plan.h)
// and which lamps the lamp rule made grey (bit 1 << Lamp): what a cycle did
// not read is not current any more.
struct PollCycleReport {
    bool answered = false;
    uint8_t itemsRead = 0;
    uint8_t greyLamps = 0;

    bool Read(int item) const { return (itemsRead & (1u << item)) != 0; }
    bool Greyed(Lamp lamp) const { return (greyLamps & (1u << int(lamp))) != 0; }
};

// The listener. Every call may come from any thread. All but ConnectDone are
// posted: a window queues them and the caller goes on, in the order called.
// ConnectDone is sent: it returns once the window has handled it (or has been
// shut down). A listener overrides what it hears; the rest does nothing.
class IUnitEvents {
public:
    virtual ~IUnitEvents() = default;
    // A reception lamp as the lamp rule gives it after a read.
    virtual void LampChanged(Lamp lamp, LampState state) { (void)lamp, (void)state; }
    // A polled value was stored in its row.
    virtual void ValueUpdated(ValueTable table, const ParamEntry& row) { (void)table, (void)row; }
    // A graphed value (SNR, input level) was stored in its graph row.
    virtual void GraphSample(const ParamEntry& row) { (void)row; }
    // An exchange of the poll thread was answered.
    virtual void UnitAlive() {}
    // The link closed a port or socket that failed.
    virtual void LinkLost() {}
    // A poll cycle that made an exchange has ended.
    virtual void PollCycleDone(const PollCycleReport& report) { (void)report; }
    // A connect thread's attempt has ended (sent: waits for the window).
    virtual void ConnectDone(ConnectResult result) { (void)result; }
    // Whether the window exists yet (the connect thread waits for its window).
    virtual bool WindowExists() const { return true; }
};
