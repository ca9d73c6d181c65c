// The settings file reader: any file gives a settings record that writes back
// and reads again to the same record; string counts never reach past the file.
#include "app/settings.h"
#include "fuzz/fuzz_common.h"

SeedList FuzzSeeds() {
    SeedList seeds;
    AppSettingsData defaults;
    seeds.emplace_back("defaults", SettingsBytes(defaults));

    AppSettingsData full;
    full.LastComPort = 3;
    full.PollingEnabled = 0;
    full.IconFile = "/home/operator/icons/unit.ico";
    full.BaudRate = 115200;
    full.ReadIntervalTimeout = 100;
    full.ReadTotalTimeoutMultiplier = 2;
    full.ReadTotalTimeoutConstant = 900;
    full.WriteTotalTimeoutMultiplier = 3;
    full.WriteTotalTimeoutConstant = 400;
    full.PollIntervalMs = 500;
    full.PollItemFlags[1] = 0;
    full.AppTitle = "Station receiver";
    full.LogoFile = "/home/operator/logo.bmp";
    full.LogoWidth = 120;
    full.LogoHeight = 40;
    full.ConnectionType = 1;
    full.LastIpAddress = "10.0.0.17";
    const std::string fullBytes = SettingsBytes(full);
    seeds.emplace_back("full", fullBytes);

    // The 16-row layout of older files: everything but the last string row.
    const std::string sixteen = SettingsBytes(defaults);
    seeds.emplace_back("sixteen_rows", sixteen.substr(0, sixteen.size() - 4));
    seeds.emplace_back("short", fullBytes.substr(0, 37));
    AppSettingsData emptyTitle;
    emptyTitle.AppTitle = "";
    emptyTitle.ConnectionType = 2;
    seeds.emplace_back("empty_title", SettingsBytes(emptyTitle));
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    AppSettingsData read;
    FUZZ_CHECK(ReadSettingsBytes(bytes, read));

    // Every string that was read came from the file.
    for (const auto* text : {&read.IconFile, &read.AppTitle, &read.LogoFile, &read.LastIpAddress})
        if (*text) FUZZ_CHECK(text->value().size() <= size);

    // What was read writes back and reads again unchanged: the same record
    // writes the same bytes (`written` is what was read, written once).
    const std::string written = SettingsBytes(read);
    AppSettingsData again;
    FUZZ_CHECK(ReadSettingsBytes(written, again));
    FUZZ_CHECK(SettingsBytes(again) == written);
    // Bytes after the last row are not read.
    AppSettingsData trailing;
    FUZZ_CHECK(ReadSettingsBytes(written + bytes, trailing));
    FUZZ_CHECK(SettingsBytes(trailing) == written);

    // Every value read is one its dialog accepts.
    FUZZ_CHECK(read.PollIntervalMs >= 1 && read.PollIntervalMs <= kLargestTypedNumber);
    FUZZ_CHECK(read.ReadTotalTimeoutConstant >= 0 && read.ReadTotalTimeoutConstant <= kLargestTypedNumber);
    FUZZ_CHECK(read.LogoWidth >= -1 && read.LogoHeight >= -1);

    ApplyStartupDefaults(read);
    FUZZ_CHECK(read.ConnectionType == 0 || read.ConnectionType == 1);
    FUZZ_CHECK(read.AppTitle.has_value());
    return 0;
}
