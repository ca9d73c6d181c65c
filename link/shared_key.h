// The Blowfish key the link shares with the unit, fixed when the programs are
// built (TAVRIN_LINK_KEY_HEX). For the link's peers: the simulated unit, the
// bridge, the tests.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr size_t kLinkKeyLength = 52;

// The kLinkKeyLength bytes of the key.
const uint8_t* LinkKey();
