// Runs a poll plan once: the one poll cycle of the desktop's poll thread,
// tavrinctl status and watch, and the bridge's metrics.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "link/unit_reply.h"
#include "params/param_table.h"
#include "params/poll_plan.h"
#include "params/poll_sample.h"

class CFerritRemoteControl;
class UnitState;
class StopFlag;

// What a failed exchange (no accepted reply) does to the rest of the cycle.
enum class PollFailure {
    GoesOn,              // the next read is made (the desktop)
    EndsCycle,           // nothing more is read (the bridge: its clients wait for one failure, not eleven)
    EndsCycleWhenGone,   // nothing more once the unit gave no reply at all (MeansNoReply; tavrinctl status)
};

struct PollRun {
    std::span<const PollRead> plan = kPollPlan;
    int unitAddress = 0;
    // Four bytes by PollItem, read as each item starts; null: every item.
    const uint8_t* itemFlags = nullptr;
    // Looked at after each read (PollRead::stop says what it ends); null: none.
    const StopFlag* stop = nullptr;
    PollFailure onFailure = PollFailure::GoesOn;
    // Makes one read's exchange; its request is the read request of the row's
    // code at unitAddress. Null: the link's Exchange under its PollGate and
    // LinkMutex (log level 1).
    std::function<UnitReply(const PollRead& read, const std::string& request)> exchange;
    // For the default exchange, and for the count of replies the unit sent
    // unasked (a cycle that met one keeps no values).
    CFerritRemoteControl* link = nullptr;
    // After each read, in plan order: the row's index in `plan` and its reply.
    // The sample already holds the read's value.
    std::function<void(size_t row, const UnitReply& reply)> onRead;
};

// Runs the plan's reads in order, each item only when its flag is set. Fills
// `sample`: the value of each read that brought one (a '1' reply with a field
// that is not empty) in its column, `connected` when any reply was accepted
// (a refusal too), `itemsRead` with every item started. The sample's time and
// lampsBefore are the caller's. When the link counted a reply the unit sent
// unasked during the cycle, the sample keeps no values, counts no item as read
// (so every lamp shows grey) and is marked `shifted`. Returns the number of exchanges made.
int RunPollPlan(const PollRun& run, PollSample& sample);

// The parameter row a read's value is stored in: the live demodulator table's
// row of its code (by the unit's mode), else the decoder table's; `decoderTable`
// says which (the table of its ValueUpdated event). Null when neither has the code.
const ParamEntry* PollValueRow(const UnitState& unit, const PollRead& read, bool* decoderTable = nullptr);
