// Every request text the program sends to the unit, built by name in one place.
//
// A request is STX, the unit address as four digits ("%04d"), then a body:
//   "r<code>;;"          reads a parameter (a code is four characters, "1loc")
//   "w<code>;<value>;"   writes one
// The link frames the text (checksum, ETX) and puts STX in front of a text
// that lacks one, so a text without STX makes the same frame. Numbers in a
// request never depend on the locale.
#pragma once
#include <string>
#include <string_view>

// STX, `address` as "%04d", then `body`.
std::string AddressedRequest(int address, std::string_view body);
// STX, then the address and the command exactly as the operator typed them
// (the engineering window's and the tool's raw send).
std::string TypedRequest(std::string_view address, std::string_view command);

// Reads and writes of one parameter.
std::string BuildReadRequest(int address, std::string_view code);
std::string BuildWriteRequest(int address, std::string_view code, std::string_view value);

// "rgadd;;": the unit's address. At the any-unit address 9999 this is the
// probe that finds a unit whatever its address.
std::string UnitAddressReadRequest(int address);
std::string AnyUnitProbeRequest();
// "wgadd;%04d;": gives the unit a new address.
std::string SetUnitAddressRequest(int address, int newAddress);

// Configuration slots 1..8: "rdlas;;" the slot in use, "wdsto;N;" stores the
// settings in slot N, "wdloa;N;" loads slot N.
std::string SlotInUseReadRequest(int address);
std::string StoreSlotRequest(int address, int slot);
std::string LoadSlotRequest(int address, int slot);

// Demodulator mode (0 narrowband, 1 DVB-T; the unit restarts): "rgudm;;" and
// "wgudm;N;". Decoder input mode (8 chaining, 0 not): "wgmod;N;".
std::string DemodModeReadRequest(int address);
std::string DemodModeRequest(int address, int mode);
std::string InputModeRequest(int address, int mode);

// "wddef;1;": the unit restores its factory defaults (and restarts).
std::string RestoreDefaultsRequest(int address);

// The downconverter: local oscillator side ("0" or "1"), its frequency and the
// input frequency (GHz texts as the unit takes them, e.g. "1.750000").
std::string LoSideRequest(int address, std::string_view side);
std::string LoFrequencyRequest(int address, std::string_view ghz);
std::string InputFrequencyRequest(int address, std::string_view ghz);

// Decryption keys, as hex digits: "wzebs;" an ABS key, "wzaes;" an AES-128 key
// or the lower half of an AES-256 key, "wza25;" the upper half. These texts
// carry no STX (the key dialog and the tool read the code at offsets 5..8).
std::string AbsKeyRequest(int address, std::string_view key);
std::string AesKeyRequest(int address, std::string_view key);
std::string Aes256UpperKeyRequest(int address, std::string_view key);
