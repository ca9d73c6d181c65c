#include "tools/tavrin_bridge/client_protocol.h"

#include <algorithm>
#include <cstdint>

#include "link/envelope.h"
#include "link/frame.h"

std::optional<std::string> RequestTextOfFrame(std::string_view frame) {
    // STX, at least one byte of text, checksum, ETX.
    if (frame.size() < 4 || frame.size() > kMaxFrameLength) return std::nullopt;
    if (uint8_t(frame.front()) != kStx || uint8_t(frame.back()) != kEtx) return std::nullopt;
    const std::string_view text = frame.substr(1, frame.size() - 3);
    if (text.size() > kMaxRequestText) return std::nullopt;
    for (const char c : text)
        if (c == char(kStx) || c == char(kEtx) || c == '\0') return std::nullopt;
    const uint8_t sum = ComputeChecksum(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (uint8_t(frame[frame.size() - 2]) != sum) return std::nullopt;
    return std::string(frame.substr(0, frame.size() - 2));
}

ClientBytes ReadClientBytes(const Blowfish& cipher, std::string_view pending, size_t maxRequests) {
    ClientBytes out;
    while (out.requests.size() < maxRequests) {
        const EnvelopeTake take = TakeEnvelope(cipher, pending.substr(out.used));
        if (take.read == EnvelopeRead::NeedMore) break;
        if (take.read == EnvelopeRead::Bad) {
            // Nothing tells where the next envelope starts: drop one block.
            ++out.badFrames;
            out.used += 8;
            continue;
        }
        out.used += take.used;
        if (std::optional<std::string> text = RequestTextOfFrame(take.frame)) {
            out.requests.push_back(std::move(*text));
        } else {
            ++out.badFrames;
        }
    }
    return out;
}

bool IsKeyRequest(std::string_view text) {
    // STX, four address characters, 'w', the code.
    if (text.size() < 10 || text[5] != 'w') return false;
    const std::string_view code = text.substr(6, 4);
    return code == "zebs" || code == "zaes" || code == "za25";
}

namespace {

// Offsets in a request text that starts with STX.
constexpr size_t kOperationAt = 5;
constexpr size_t kCodeAt = 6;
constexpr size_t kCodeLength = 4;
constexpr size_t kDataAt = kCodeAt + kCodeLength + 1;

bool HasDigitAddress(std::string_view text) {
    return text.size() > kOperationAt &&
           std::all_of(text.begin() + 1, text.begin() + kOperationAt, [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

RequestKind KindOfRequest(std::string_view text) {
    if (text.size() < kDataAt + 1 || uint8_t(text.front()) != kStx || !HasDigitAddress(text))
        return RequestKind::Unknown;
    const std::string_view code = text.substr(kCodeAt, kCodeLength);
    const bool codeOk = std::all_of(code.begin(), code.end(), [](char c) { return c > ' ' && c < 0x7F && c != ';'; });
    if (!codeOk || text[kDataAt - 1] != ';' || text.back() != ';') return RequestKind::Unknown;
    const std::string_view data = text.substr(kDataAt, text.size() - kDataAt - 1);
    if (data.find(';') != std::string_view::npos) return RequestKind::Unknown;
    if (text[kOperationAt] == 'r' && data.empty()) return RequestKind::Read;
    if (text[kOperationAt] == 'w') return RequestKind::Write;
    return RequestKind::Unknown;
}

std::string RequestCode(std::string_view text) {
    std::string code;
    for (const char c : text.substr(std::min(text.size(), kCodeAt), kCodeLength))
        if (c > ' ' && c < 0x7F && c != ';') code.push_back(c);
    return code.empty() ? "?" : code;
}

std::string RefusalReplyFrame(std::string_view text) {
    std::string frame(1, char(kStx));
    frame += HasDigitAddress(text) ? std::string(text.substr(1, 4)) : std::string("0000");
    frame += "E;";
    frame.push_back(char(ComputeChecksum(reinterpret_cast<const uint8_t*>(frame.data()) + 1, frame.size() - 1)));
    frame.push_back(char(kEtx));
    return frame;
}
