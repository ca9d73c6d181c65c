#include "pages/key_check.h"

#include "link/requests.h"
#include "platform/numbers.h"

int KeyDigits(int keyType) {
    switch (keyType) {
    case KeyTypeAbs: return 8;
    case KeyTypeAes128:
    case KeyTypeAes256: return 32;
    default: return 0;
    }
}

namespace {

bool AllHex(const std::string& text) {
    for (char c : text)
        if (!IsAsciiHexDigit(c)) return false;
    return true;
}

}  // namespace

KeyCheckResult CheckKeyFields(int keyType, const std::string& lower, const std::string& upper) {
    KeyCheckResult result;
    const int digits = KeyDigits(keyType);
    if (digits == 0) return result;   // no key type chosen: nothing happens

    const size_t need = size_t(digits);
    if (keyType == KeyTypeAbs && lower.size() < need) {
        result.message = "ABS key must be 8 hex digits";
        return result;
    }
    if (keyType == KeyTypeAes128 && lower.size() < need) {
        result.message = "AES key must be 32 hex digits";
        return result;
    }
    if (keyType == KeyTypeAes256 && (lower.size() < need || upper.size() < need)) {
        result.message = "AES key must be 32 hex digits in each field";
        return result;
    }

    result.lower = lower.substr(0, need);
    if (keyType == KeyTypeAes256) result.upper = upper.substr(0, need);
    if (!AllHex(result.lower) || (keyType == KeyTypeAes256 && !AllHex(result.upper))) {
        result.message = "Invalid characters in hex field";
        result.lower.clear();
        result.upper.clear();
        return result;
    }
    result.accepted = true;
    return result;
}

std::vector<std::string> KeyRequests(int keyType, int address, const std::string& lower,
                                     const std::string& upper) {
    std::vector<std::string> requests;
    switch (keyType) {
    case KeyTypeAbs:
        requests.push_back(AbsKeyRequest(address, lower));
        break;
    case KeyTypeAes128:
        requests.push_back(AesKeyRequest(address, lower));
        break;
    case KeyTypeAes256:
        requests.push_back(AesKeyRequest(address, lower));
        requests.push_back(Aes256UpperKeyRequest(address, upper));
        break;
    default: break;
    }
    return requests;
}

int KeyTypeForDescrambling(int position) {
    switch (position) {
    case 1: return KeyTypeAbs;
    case 2:
    case 3: return KeyTypeAes128;
    case 4:
    case 5: return KeyTypeAes256;
    case 0:
    case -1: return KeyTypeAbs;
    default: return position;
    }
}

const char* KeyTypeName(int keyType) {
    static constexpr const char* kNames[] = {"ABS", "AES128", "AES256"};   // by KeyType
    return keyType >= KeyTypeAbs && keyType <= KeyTypeAes256 ? kNames[keyType] : "";
}

int ParseKeyTypeName(const std::string& name) {
    const std::string lowered = AsciiLower(name);
    if (lowered == "abs") return KeyTypeAbs;
    if (lowered == "aes128") return KeyTypeAes128;
    if (lowered == "aes256") return KeyTypeAes256;
    return -1;
}
