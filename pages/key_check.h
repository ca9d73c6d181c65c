// The decryption key: its three types, the checks made before a key is sent
// and the request texts that carry it. Shared by the key dialog and tavrinctl.
#pragma once
#include <string>
#include <vector>

enum KeyType : int { KeyTypeAbs = 0, KeyTypeAes128 = 1, KeyTypeAes256 = 2 };

struct KeyCheckResult {
    bool accepted = false;   // true: lower/upper hold the digits to send
    std::string message;     // the operator message of a refused key; empty when
                             // nothing is to be shown (accepted, or no key type)
    std::string lower;       // the single or lower key, cut to 8 or 32 digits
    std::string upper;       // AES256 only: the upper key, cut to 32 digits
};

// Number of digits a field of this type holds (8 or 32); 0 for no valid type.
int KeyDigits(int keyType);

// Checks the typed fields in the order the operator expects: type, length,
// then the characters (lower before upper). A type outside 0..2 is refused
// without a message.
KeyCheckResult CheckKeyFields(int keyType, const std::string& lower, const std::string& upper);

// The request texts (without STX, the link adds it) that write an accepted key
// to the unit at `address`: one for ABS and AES128, lower then upper for AES256.
std::vector<std::string> KeyRequests(int keyType, int address, const std::string& lower,
                                     const std::string& upper);

// The key type the dialog opens with for the stored "Descrambling" combo
// position: ABS 1 -> 0, AES128(+) 2,3 -> 1, AES256(+) 4,5 -> 2, Off or unknown
// (-1) -> 0; any other position is returned unchanged (no type selected).
int KeyTypeForDescrambling(int position);

// "ABS", "AES128" or "AES256" as the key dialog lists them; "" for no valid type.
const char* KeyTypeName(int keyType);

// Parses "abs", "aes128" or "aes256" (any case); -1 for anything else.
int ParseKeyTypeName(const std::string& name);
