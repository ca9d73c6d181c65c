// The addresses that may connect to the unit-protocol listeners (--allow):
// IPv4 ranges in CIDR form, checked whole when the bridge starts.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct AddressRange {
    uint32_t network = 0;   // host order, the bits past the prefix zero
    int prefix = 32;
    bool Contains(uint32_t address) const;
};

// "A.B.C.D/N" (N 0..32) or "A.B.C.D" (one address). Nothing, and `why`,
// for anything else, a range with bits set past its prefix included.
std::optional<AddressRange> ParseAddressRange(std::string_view text, std::string* why);

// No ranges: every address may connect.
bool AddressAllowed(const std::vector<AddressRange>& allowed, uint32_t address);
