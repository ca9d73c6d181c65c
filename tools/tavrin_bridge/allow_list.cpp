#include "tools/tavrin_bridge/allow_list.h"

#include <arpa/inet.h>

#include "platform/numbers.h"

namespace {

uint32_t PrefixMask(int prefix) { return prefix == 0 ? 0 : ~uint32_t(0) << (32 - prefix); }

std::string DottedQuad(uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

}  // namespace

bool AddressRange::Contains(uint32_t address) const { return (address & PrefixMask(prefix)) == network; }

std::optional<AddressRange> ParseAddressRange(std::string_view text, std::string* why) {
    const size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    in_addr a{};
    if (::inet_pton(AF_INET, address.c_str(), &a) != 1) {
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
    const uint32_t host = ntohl(a.s_addr);
    range.network = host & PrefixMask(range.prefix);
    if (range.network != host) {
        *why = "bits set past the prefix length (the range is " + DottedQuad(range.network) + "/" +
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
