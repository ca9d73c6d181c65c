#include "link/shared_key.h"

#include "link/link_key.h"

static_assert(sizeof kLinkKey == kLinkKeyLength);

const uint8_t* LinkKey() { return kLinkKey; }
