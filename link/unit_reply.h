// What one exchange with the unit brings back, all in one value: the result
// code, and on success the reply's status character and data text.
#pragma once
#include <string>

#include "link/result_codes.h"

struct UnitReply {
    ResultCode result = kResultOk;
    char status = 0;     // '1' or 'E' when result is 0
    std::string data;    // the reply's data text when result is 0

    // A reply was received and accepted (status '1' or 'E').
    bool Answered() const { return result == kResultOk; }
    // The unit took the request (status '1').
    bool Accepted() const { return result == kResultOk && status == '1'; }
    // A read that brought a value: status '1' and a data field that is not empty.
    bool HasValue() const { return Accepted() && !data.empty(); }
};

// The link's locks an exchange is made under. The link lock (LinkMutex) is
// held for exactly the exchange; the poll gate (PollGate) is taken before it.
enum class ExchangeLocks {
    Held,           // the caller holds the link lock (and whatever else it needs)
    Link,           // the link lock
    PollGateAndLink,
};
