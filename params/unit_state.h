// One unit's state: the values read from it (a slot per row of every
// parameter table, each with its own lock), its demodulator mode, model flag,
// downconverter reading, address and IP address. The owner of the unit's link
// holds one and passes it down; the tables themselves never change.
//
// Locking: a slot's lock is held only while its value is read or replaced,
// never across an exchange, and always last (after the link's PollGate and
// LinkMutex).
#pragma once
#include <array>
#include <map>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "params/param_table.h"

// A row's value and the lock that guards it.
struct ValueSlot {
    ParamValue value;          // guarded by lock
    mutable std::mutex lock;   // held only while value is read or replaced
};

class UnitState {
public:
    UnitState() = default;
    UnitState(const UnitState&) = delete;
    UnitState& operator=(const UnitState&) = delete;

    // The slot of `row`: a fixed one for a row of EveryParamTable, else one
    // made on first use (a table of the caller's own).
    ValueSlot& Slot(const ParamEntry& row);
    const ValueSlot& Slot(const ParamEntry& row) const;

    // Written on the thread that talks to the unit; the poll thread reads
    // demodMode.
    std::atomic<int32_t> demodMode{-1};       // 0 narrowband, 1 DVB-T, -1 unknown
    std::atomic<int32_t> modelFlag{0};        // 1 when the model token read "K840"
    std::atomic<int32_t> loSide{0};           // last LO side read
    std::atomic<double> loFrequencyMhz{0.0};  // last LO frequency read (MHz)
    std::atomic<int32_t> downconverterIndex{0};  // list entry last chosen by detection
    std::atomic<int> unitAddress{1};          // the address the operator's actions use; never saved
    // The unit's IP address as the operator typed it (dotted quad); used on
    // the user-interface thread only.
    std::string ipAddress = kNoIpAddress;

    static constexpr const char* kNoIpAddress = "0.0.0.0";

private:
    std::array<ValueSlot, kDemodTableRows> narrowband_;
    std::array<ValueSlot, kDemodTableRows> dvbt_;
    std::array<ValueSlot, kDecoderTableRows> decoder_;
    std::array<ValueSlot, kGraphListRows> snr_;
    std::array<ValueSlot, kGraphListRows> level_;
    // Rows of other tables; the lock guards the map, never a slot.
    mutable std::mutex otherLock_;
    mutable std::map<const ParamEntry*, ValueSlot> other_;
};

// The demod table of the unit's current mode: DvbtDemodTable when it is 1,
// else NarrowbandDemodTable.
const ParamEntry* LiveDemodTable(const UnitState& unit);

// A copy of the row's value, taken under its slot's lock.
ParamValue ReadParamValue(const UnitState& unit, const ParamEntry& row);
// Replaces the row's value under its slot's lock.
void StoreParamValue(UnitState& unit, const ParamEntry& row, const ParamValue& value);
// Forgets every stored value of every table (each slot under its lock).
void ForgetEveryValue(UnitState& unit);
// The stored combo index of an OptionList/OptionText row that has a value,
// else kNoParamIndex. Takes and releases the slot's lock.
uint32_t GetParamIndex(const UnitState& unit, const ParamEntry* table, const char* code);
