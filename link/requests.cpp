#include "link/requests.h"

#include <cstdio>
#include <initializer_list>

#include "link/frame.h"

namespace {

// "%04d" (no locale has a say in "%d").
std::string AddressText(int address) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", address);
    return text;
}

// STX when `framed`, the address, then `parts`: built in one string of the
// right size (every exchange builds one).
std::string Request(bool framed, int address, std::initializer_list<std::string_view> parts) {
    const std::string digits = AddressText(address);   // short: kept in place, not allocated
    size_t size = (framed ? 1 : 0) + digits.size();
    for (std::string_view part : parts) size += part.size();
    std::string request;
    request.reserve(size);
    if (framed) request += char(kStx);
    request += digits;
    for (std::string_view part : parts) request += part;
    return request;
}

std::string WriteNumber(int address, std::string_view code, int value) {
    return BuildWriteRequest(address, code, std::to_string(value));
}

}  // namespace

std::string AddressedRequest(int address, std::string_view body) { return Request(true, address, {body}); }

std::string TypedRequest(std::string_view address, std::string_view command) {
    std::string request(1, char(kStx));
    request += address;
    request += command;
    return request;
}

std::string BuildReadRequest(int address, std::string_view code) { return Request(true, address, {"r", code, ";;"}); }

std::string BuildWriteRequest(int address, std::string_view code, std::string_view value) {
    return Request(true, address, {"w", code, ";", value, ";"});
}

std::string UnitAddressReadRequest(int address) { return BuildReadRequest(address, "gadd"); }
std::string AnyUnitProbeRequest() { return UnitAddressReadRequest(kAnyUnitAddress); }
std::string SetUnitAddressRequest(int address, int newAddress) {
    return BuildWriteRequest(address, "gadd", AddressText(newAddress));
}

std::string SlotInUseReadRequest(int address) { return BuildReadRequest(address, "dlas"); }
std::string StoreSlotRequest(int address, int slot) { return WriteNumber(address, "dsto", slot); }
std::string LoadSlotRequest(int address, int slot) { return WriteNumber(address, "dloa", slot); }

std::string DemodModeReadRequest(int address) { return BuildReadRequest(address, "gudm"); }
std::string DemodModeRequest(int address, int mode) { return WriteNumber(address, "gudm", mode); }
std::string InputModeRequest(int address, int mode) { return WriteNumber(address, "gmod", mode); }

std::string RestoreDefaultsRequest(int address) { return WriteNumber(address, "ddef", 1); }

std::string LoSideRequest(int address, std::string_view side) { return BuildWriteRequest(address, "1los", side); }
std::string LoFrequencyRequest(int address, std::string_view ghz) { return BuildWriteRequest(address, "1dco", ghz); }
std::string InputFrequencyRequest(int address, std::string_view ghz) {
    return BuildWriteRequest(address, "1ipf", ghz);
}

std::string AbsKeyRequest(int address, std::string_view key) { return Request(false, address, {"wzebs;", key, ";"}); }
std::string AesKeyRequest(int address, std::string_view key) { return Request(false, address, {"wzaes;", key, ";"}); }
std::string Aes256UpperKeyRequest(int address, std::string_view key) {
    return Request(false, address, {"wza25;", key, ";"});
}
