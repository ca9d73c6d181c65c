#include "link/unrequested.h"

UnrequestedWatch::UnrequestedWatch(CFerritRemoteControl& link) : link_(link) {
    outermost_ = link_.BeginUnrequestedWatch();
    Restart();
}

UnrequestedWatch::~UnrequestedWatch() { link_.EndUnrequestedWatch(); }

void UnrequestedWatch::Restart() {
    link_.ExpectQuiet(0);
    start_ = link_.UnrequestedReplies();
}

bool UnrequestedWatch::Clean(Listen listen) {
    const bool listens = listen == Listen::Always || (listen == Listen::WhenOutermost && outermost_);
    link_.ExpectQuiet(listens && link_.ExchangesSinceQuiet() != 0 ? kQuietCheckMs : 0);
    return link_.UnrequestedReplies() == start_;
}
