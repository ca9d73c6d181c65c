#include "app/settings.h"

#include <bit>
#include <cstring>

#include "platform/program_folder.h"

AppSettingsData AppSettings;
std::string UnitIpAddress = kDefaultIpAddress;
std::atomic<int> CurrentUnitAddress{1};

std::vector<SettingsRow> SettingsRows(AppSettingsData& s) {
    using K = SettingsRowKind;
    return {
        {"LastComPort", K::Fixed, 4, &s.LastComPort},
        {"PollingEnabled", K::Fixed, 1, &s.PollingEnabled},
        {"IconFile", K::String, 0, &s.IconFile},
        {"BaudRate", K::Fixed, 4, &s.BaudRate},
        {"ReadIntervalTimeout", K::Fixed, 4, &s.ReadIntervalTimeout},
        {"ReadTotalTimeoutMultiplier", K::Fixed, 4, &s.ReadTotalTimeoutMultiplier},
        {"ReadTotalTimeoutConstant", K::Fixed, 4, &s.ReadTotalTimeoutConstant},
        {"WriteTotalTimeoutMultiplier", K::Fixed, 4, &s.WriteTotalTimeoutMultiplier},
        {"WriteTotalTimeoutConstant", K::Fixed, 4, &s.WriteTotalTimeoutConstant},
        {"PollIntervalMs", K::Fixed, 4, &s.PollIntervalMs},
        {"PollItemFlags", K::Fixed, 4, &s.PollItemFlags},
        {"AppTitle", K::String, 0, &s.AppTitle},
        {"LogoFile", K::String, 0, &s.LogoFile},
        {"LogoWidth", K::Fixed, 4, &s.LogoWidth},
        {"LogoHeight", K::Fixed, 4, &s.LogoHeight},
        {"ConnectionType", K::Fixed, 4, &s.ConnectionType},
        {"LastIpAddress", K::String, 0, &s.LastIpAddress},
    };
}

namespace {

// Fixed-size values are little-endian in the file, as they are in memory here.
static_assert(std::endian::native == std::endian::little, "settings rows are stored little-endian");

uint32_t LoadLe32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void AppendLe32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

}  // namespace

bool ReadSettingsBytes(const std::string& bytes, AppSettingsData& settings) {
    size_t pos = 0;
    for (const SettingsRow& row : SettingsRows(settings)) {
        if (pos >= bytes.size()) break;
        const size_t left = bytes.size() - pos;
        if (row.kind == SettingsRowKind::Fixed) {
            if (left < row.size) break;  // an incomplete row keeps its value; reading stops
            std::memcpy(row.storage, bytes.data() + pos, row.size);
            pos += row.size;
        } else {
            if (left < 4) break;
            const uint32_t count = LoadLe32(bytes.data() + pos);
            // A count larger than what remains is a truncated row, never read past the end.
            if (count > left - 4) break;
            auto* text = static_cast<std::optional<std::string>*>(row.storage);
            *text = bytes.substr(pos + 4, count);
            pos += 4 + count;
        }
    }
    return true;
}

bool ReadSettingsFile(const std::string& path, AppSettingsData& settings) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return false;
    return ReadSettingsBytes(bytes, settings);
}

std::string SettingsBytes(const AppSettingsData& settings) {
    AppSettingsData copy = settings;
    std::string out;
    for (const SettingsRow& row : SettingsRows(copy)) {
        if (row.kind == SettingsRowKind::Fixed) {
            out.append(static_cast<const char*>(row.storage), row.size);
        } else {
            const auto* text = static_cast<const std::optional<std::string>*>(row.storage);
            const std::string value = text->value_or(std::string());
            AppendLe32(out, uint32_t(value.size()));
            out += value;
        }
    }
    return out;
}

bool WriteSettingsFile(const std::string& path, const AppSettingsData& settings) {
    return ReplaceFileAtomically(path, SettingsBytes(settings));
}

void ApplyStartupDefaults(AppSettingsData& settings) {
    if (settings.ConnectionType != 0 && settings.ConnectionType != 1) settings.ConnectionType = 0;
    if (!settings.AppTitle) settings.AppTitle = kDefaultAppTitle;
    UnitIpAddress = settings.LastIpAddress && !settings.LastIpAddress->empty() ? *settings.LastIpAddress
                                                                               : kDefaultIpAddress;
}

std::string SettingsFilePath(const std::string& programFolder) {
    return programFolder + "/" + kSettingsBaseName + ".ini";
}

std::string LogFilePath(const std::string& programFolder) {
    return programFolder + "/" + kSettingsBaseName + ".log";
}
