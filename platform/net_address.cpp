// IPv4 addresses as text and as numbers, the same on both systems: only the
// header that declares the calls differs.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include "platform/net.h"

bool IsIpv4Address(const std::string& text) { return ParseIpv4(text).has_value(); }

std::optional<uint32_t> ParseIpv4(const std::string& text) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return std::nullopt;
    return ntohl(parsed.s_addr);
}

std::string Ipv4Text(uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}
