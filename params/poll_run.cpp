#include "params/poll_run.h"

#include <atomic>

#include "link/remote_control.h"
#include "link/requests.h"
#include "params/codec.h"
#include "platform/clock.h"

namespace {

bool ItemOn(const PollRun& run, PollItem item) {
    if (item < 0 || run.itemFlags == nullptr) return true;
    return std::atomic_ref<const uint8_t>(run.itemFlags[item]).load(std::memory_order_relaxed) != 0;
}

bool EndsCycle(PollFailure onFailure, const UnitReply& reply) {
    if (reply.Answered()) return false;
    switch (onFailure) {
    case PollFailure::GoesOn: return false;
    case PollFailure::EndsCycle: return true;
    case PollFailure::EndsCycleWhenGone: return MeansNoReply(reply.result);
    }
    return false;
}

}  // namespace

namespace {

int RunPlanReads(const PollRun& run, PollSample& sample) {
    sample.itemsRead = 0;
    int exchanges = 0;
    const std::span<const PollRead> plan = run.plan;
    size_t row = 0;
    while (row < plan.size()) {
        // An item is the run of rows that share it.
        const PollItem item = plan[row].item;
        size_t end = row + 1;
        while (end < plan.size() && plan[end].item == item) ++end;
        if (!ItemOn(run, item)) {
            row = end;
            continue;
        }
        if (item >= 0) sample.itemsRead = static_cast<uint8_t>(sample.itemsRead | (1u << item));
        for (; row < end; ++row) {
            const PollRead& read = plan[row];
            const std::string request = BuildReadRequest(run.unitAddress, read.code);
            const UnitReply reply = run.exchange ? run.exchange(read, request)
                                                 : run.link->Exchange(request, 1, ExchangeLocks::PollGateAndLink);
            ++exchanges;
            if (reply.Answered()) sample.connected = true;
            const int column = SampleColumnOfCode(read.code);
            if (column >= 0 && reply.HasValue()) sample.values[column] = reply.data;
            if (run.onRead) run.onRead(row, reply);
            if (EndsCycle(run.onFailure, reply)) return exchanges;
            if (run.stop != nullptr && run.stop->IsSet()) {
                if (read.stop == PollStop::EndsCycle) return exchanges;
                break;
            }
        }
        row = end;
    }
    return exchanges;
}

}  // namespace

int RunPollPlan(const PollRun& run, PollSample& sample) {
    const uint64_t before = run.link ? run.link->UnrequestedReplies() : 0;
    const int exchanges = RunPlanReads(run, sample);
    if (run.link && run.link->UnrequestedReplies() != before) {
        // A reply came unasked before or during the cycle: any of its
        // readings may be its neighbour's. The cycle gains no wait for a
        // late copy: that shows before the next cycle's first request.
        sample.values = {};
        sample.itemsRead = 0;
        sample.shifted = true;
    }
    return exchanges;
}

const ParamEntry* PollValueRow(const UnitState& unit, const PollRead& read, bool* decoderTable) {
    const ParamEntry* row = FindParam(LiveDemodTable(unit), read.code);
    const bool decoder = row == nullptr;
    if (decoder) row = FindParam(DecoderTable, read.code);
    if (decoderTable != nullptr) *decoderTable = decoder;
    return row;
}
