// The settings reader's ranges: a settings file whose numbers are drawn in and
// out of what the program's dialogs accept (near every bound, and anywhere) is
// read with every value in range: a value the dialog accepts is kept as it was
// written, any other takes its default. The ranges are written out here on
// their own, as the dialogs state them, so a row the reader does not hold to
// its range, or holds to the wrong one, fails the run.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "app/settings.h"
#include "fuzz/fuzz_common.h"
#include "params/sample_ring.h"

namespace {

struct Range {
    int64_t low;
    int64_t high;
    bool baud = false;   // one of the listed line speeds instead
};

bool InRange(const Range& range, int64_t value) {
    if (range.baud)
        return value >= 0 && value <= int64_t(UINT32_MAX) &&
               std::find(kSerialBaudRates.begin(), kSerialBaudRates.end(), uint32_t(value)) != kSerialBaudRates.end();
    return value >= range.low && value <= range.high;
}

constexpr int64_t kTyped = kLargestTypedNumber;
constexpr Range kComPort{-1, 255};        // COM1 to COM256, or none
constexpr Range kFlag{0, 1};
constexpr Range kBaud{0, 0, true};
constexpr Range kTimeout{0, kTyped};
constexpr Range kPollInterval{kMinPollIntervalMs, kTyped};
constexpr Range kLogoSize{-1, INT32_MAX};  // -1 is the default size
constexpr Range kConnection{0, 1};         // RS232, Ethernet

// A number near one of the range's bounds, or anywhere.
int32_t DrawInt32(FuzzedDataProvider& in, const Range& range) {
    const int64_t bounds[] = {range.baud ? int64_t(kSerialBaudRates[in.ConsumeIntegralInRange<size_t>(
                                               0, kSerialBaudRates.size() - 1)])
                                         : range.low,
                              range.high, 0, INT32_MIN, INT32_MAX};
    if (in.ConsumeBool()) return in.ConsumeIntegral<int32_t>();
    const int64_t near = bounds[in.ConsumeIntegralInRange<size_t>(0, std::size(bounds) - 1)] +
                         in.ConsumeIntegralInRange<int64_t>(-1, 1);
    return int32_t(std::clamp<int64_t>(near, INT32_MIN, INT32_MAX));
}

uint8_t DrawByte(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<uint8_t>(0, 2) : in.ConsumeIntegral<uint8_t>();
}

std::optional<std::string> DrawText(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return std::nullopt;
    return in.ConsumeRandomLengthString(64);
}

// The value read for one number: the written one when in range, else the default.
template <typename T>
void CheckNumber(T read, T written, T fallback, const Range& range) {
    FUZZ_CHECK(InRange(range, int64_t(read)));
    FUZZ_CHECK(read == (InRange(range, int64_t(written)) ? written : fallback));
}

}  // namespace

SeedList FuzzSeeds() {
    // Draws steered to every branch: all bytes 0 (in range, mostly), all 0xFF,
    // and a mix.
    SeedList seeds;
    seeds.emplace_back("zeros", std::string(160, '\0'));
    seeds.emplace_back("ones", std::string(160, '\xFF'));
    std::string mixed;
    for (int i = 0; i < 160; ++i) mixed.push_back(char((i * 37 + 11) & 0xFF));
    seeds.emplace_back("mixed", mixed);
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    AppSettingsData written;
    written.LastComPort = DrawInt32(in, kComPort);
    written.PollingEnabled = DrawByte(in);
    written.IconFile = DrawText(in);
    written.BaudRate = DrawInt32(in, kBaud);
    written.ReadIntervalTimeout = DrawInt32(in, kTimeout);
    written.ReadTotalTimeoutMultiplier = DrawInt32(in, kTimeout);
    written.ReadTotalTimeoutConstant = DrawInt32(in, kTimeout);
    written.WriteTotalTimeoutMultiplier = DrawInt32(in, kTimeout);
    written.WriteTotalTimeoutConstant = DrawInt32(in, kTimeout);
    written.PollIntervalMs = DrawInt32(in, kPollInterval);
    for (uint8_t& flag : written.PollItemFlags) flag = DrawByte(in);
    written.AppTitle = DrawText(in);
    written.LogoFile = DrawText(in);
    written.LogoWidth = DrawInt32(in, kLogoSize);
    written.LogoHeight = DrawInt32(in, kLogoSize);
    written.ConnectionType = DrawInt32(in, kConnection);
    written.LastIpAddress = DrawText(in);

    const AppSettingsData defaults;
    AppSettingsData read;
    FUZZ_CHECK(ReadSettingsBytes(SettingsBytes(written), read));

    CheckNumber(read.LastComPort, written.LastComPort, defaults.LastComPort, kComPort);
    CheckNumber(read.PollingEnabled, written.PollingEnabled, defaults.PollingEnabled, kFlag);
    CheckNumber(read.BaudRate, written.BaudRate, defaults.BaudRate, kBaud);
    CheckNumber(read.ReadIntervalTimeout, written.ReadIntervalTimeout, defaults.ReadIntervalTimeout, kTimeout);
    CheckNumber(read.ReadTotalTimeoutMultiplier, written.ReadTotalTimeoutMultiplier,
                defaults.ReadTotalTimeoutMultiplier, kTimeout);
    CheckNumber(read.ReadTotalTimeoutConstant, written.ReadTotalTimeoutConstant, defaults.ReadTotalTimeoutConstant,
                kTimeout);
    CheckNumber(read.WriteTotalTimeoutMultiplier, written.WriteTotalTimeoutMultiplier,
                defaults.WriteTotalTimeoutMultiplier, kTimeout);
    CheckNumber(read.WriteTotalTimeoutConstant, written.WriteTotalTimeoutConstant,
                defaults.WriteTotalTimeoutConstant, kTimeout);
    CheckNumber(read.PollIntervalMs, written.PollIntervalMs, defaults.PollIntervalMs, kPollInterval);
    for (size_t i = 0; i < std::size(read.PollItemFlags); ++i)
        CheckNumber(read.PollItemFlags[i], written.PollItemFlags[i], defaults.PollItemFlags[i], kFlag);
    CheckNumber(read.LogoWidth, written.LogoWidth, defaults.LogoWidth, kLogoSize);
    CheckNumber(read.LogoHeight, written.LogoHeight, defaults.LogoHeight, kLogoSize);
    CheckNumber(read.ConnectionType, written.ConnectionType, defaults.ConnectionType, kConnection);

    // Texts come back as written; a text that was absent is stored empty.
    FUZZ_CHECK(read.IconFile == written.IconFile.value_or(""));
    FUZZ_CHECK(read.AppTitle == written.AppTitle.value_or(""));
    FUZZ_CHECK(read.LogoFile == written.LogoFile.value_or(""));
    FUZZ_CHECK(read.LastIpAddress == written.LastIpAddress.value_or(""));
    return 0;
}
