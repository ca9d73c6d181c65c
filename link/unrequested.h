// Operations of several exchanges and the replies a unit sends unasked.
//
// Replies carry no request number: a copy of a reply that arrives after the
// next request has gone out is taken as that request's answer, and from there
// every exchange of the run takes its predecessor's reply. The shift cannot
// be seen while it happens, but it leaves one reply too many: stale bytes
// before a later request, or a reply after the last one. An operation
// therefore notes the link's count of unrequested replies when it starts and
// looks again after its last exchange, having listened a moment for a late
// copy. A run of reads that met one is made once more; anything else fails.
#pragma once
#include <cstdint>

#include "link/remote_control.h"

// How long the link listens after an operation's last exchange: a delayed TCP
// acknowledgement can hold a copy back about 40 ms.
inline constexpr uint32_t kQuietCheckMs = 100;

inline constexpr char kTextUnrequestedReplies[] =
    "The unit sent replies that were not asked for; values may be shifted";

// One operation's watch. Watches nest (a configuration save reads the unit's
// tables on its way): only the outermost listens at its end unless told to,
// so that an operation gains one quiet check, not one per step.
class UnrequestedWatch {
public:
    // Throws away what is already waiting (it belongs to what came before)
    // and notes the count.
    explicit UnrequestedWatch(CFerritRemoteControl& link);
    ~UnrequestedWatch();
    UnrequestedWatch(const UnrequestedWatch&) = delete;
    UnrequestedWatch& operator=(const UnrequestedWatch&) = delete;

    enum class Listen { Never, WhenOutermost, Always };
    // After the operation's last exchange: listens kQuietCheckMs for a late
    // copy (when exchanges were made since the link last listened; Never:
    // only what already waits), then true when the unit sent nothing unasked
    // since the start.
    bool Clean(Listen listen = Listen::WhenOutermost);
    // Starts counting afresh (before a run is made again).
    void Restart();

private:
    CFerritRemoteControl& link_;
    uint64_t start_ = 0;
    bool outermost_ = false;
};

// Runs `run` (true when it ran to its end) under a watch. A run of reads that
// met an unrequested reply is made once more. Returns false when `run` failed
// (it has said why) or the unit sent unrequested replies again; `unrequested`
// tells whether the last attempt met one (a run that failed is not made
// again, but its watch is still read: the failure may be the shift's doing).
template <class Run>
bool RunReadsWatched(CFerritRemoteControl& link, Run&& run, bool& unrequested) {
    UnrequestedWatch watch(link);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool ran = run();
        // Its values are used next (shown, or written to a file by an
        // operation around it): the run listens for a late copy itself,
        // nested or not, so that the copy is counted against it.
        unrequested = !watch.Clean(UnrequestedWatch::Listen::Always);
        if (!ran) return false;
        if (!unrequested) return true;
        watch.Restart();
    }
    return false;
}
