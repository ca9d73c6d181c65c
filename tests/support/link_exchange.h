// One exchange on the link as a caller makes it: the link's lock held, one
// attempt, the reply's data kept when asked for and the exchange went well.
#pragma once
#include <string>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"

namespace testsupport {

inline ResultCode Exchange(CFerritRemoteControl& link, const char* request, std::string* reply = nullptr) {
    int status = 0, length = 0;
    char data[kReceiveBufferSize + 1] = {};
    LinkGuard guard(link.LinkMutex());
    const ResultCode rc = link.Transact(request, &status, data, &length, 1);
    if (reply && rc == kResultOk) *reply = data;
    return rc;
}

}  // namespace testsupport
