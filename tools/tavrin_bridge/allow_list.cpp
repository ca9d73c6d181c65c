#include "tools/tavrin_bridge/allow_list.h"

#include "platform/net.h"
#include "platform/numbers.h"

namespace {

uint32_t PrefixMask(int prefix) { return prefix == 0 ? 0 : ~uint32_t(0) << (32 - prefix); }

}  // namespace

bool AddressRange::Contains(uint32_t address) const { return (address & PrefixMask(prefix)) == network; }

std::optional<AddressRange> ParseAddressRange(std::string_view text, std::string* why) {
    const size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    const std::optional<uint32_t> parsed = ParseIpv4(address);
    if (!parsed) {
        *why = "not an IPv4 address or range (A.B.C.D or A.B.C.D/N)";
        return std::nullopt;
    }
    AddressRange range;
    if (slash != std::string_view::npos) {
        const std::string bits(text.substr(slash + 1));
        const std::optional<int64_t> prefix = ParseInteger(bits);
        if (bits.empty() || bits.front() < '0' || bits.front() > '9' || !prefix || *prefix > 32) {
            *why = "the prefix length after '/' must be 0 to 32";
            return std::nullopt;
        }
        range.prefix = int(*prefix);
    }
    const uint32_t host = *parsed;
    range.network = host & PrefixMask(range.prefix);
    if (range.network != host) {
        *why = "bits set past the prefix length (the range is " + Ipv4Text(range.network) + "/" +
               std::to_string(range.prefix) + ")";
        return std::nullopt;
    }
    return range;
}

bool AddressAllowed(const std::vector<AddressRange>& allowed, uint32_t address) {
    if (allowed.empty()) return true;
    for (const AddressRange& r : allowed)
        if (r.Contains(address)) return true;
    return false;
}
