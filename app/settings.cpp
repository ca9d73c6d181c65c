#include "app/settings.h"

#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "params/sample_ring.h"
#include "platform/program_folder.h"
#include "platform/user_folders.h"

AppSettingsData AppSettings;

std::array<SettingsRow, kSettingsRowCount> SettingsRows(AppSettingsData& s) {
    using K = SettingsRowKind;
    constexpr int64_t kLargest = kLargestTypedNumber;
    constexpr int64_t kAnyInt = INT32_MAX;
    const uint32_t* rates = kSerialBaudRates.data();
    const size_t rateCount = kSerialBaudRates.size();
    return {{
        {"LastComPort", K::Fixed, 4, &s.LastComPort, -1, 255},  // COM1 to COM256, or none
        {"PollingEnabled", K::Fixed, 1, &s.PollingEnabled, 0, 1},
        {"IconFile", K::String, 0, &s.IconFile},
        {"BaudRate", K::Fixed, 4, &s.BaudRate, 0, -1, rates, rateCount},
        {"ReadIntervalTimeout", K::Fixed, 4, &s.ReadIntervalTimeout, 0, kLargest},
        {"ReadTotalTimeoutMultiplier", K::Fixed, 4, &s.ReadTotalTimeoutMultiplier, 0, kLargest},
        {"ReadTotalTimeoutConstant", K::Fixed, 4, &s.ReadTotalTimeoutConstant, 0, kLargest},
        {"WriteTotalTimeoutMultiplier", K::Fixed, 4, &s.WriteTotalTimeoutMultiplier, 0, kLargest},
        {"WriteTotalTimeoutConstant", K::Fixed, 4, &s.WriteTotalTimeoutConstant, 0, kLargest},
        {"PollIntervalMs", K::Fixed, 4, &s.PollIntervalMs, kMinPollIntervalMs, kLargest},
        {"PollItemFlags", K::Fixed, 4, &s.PollItemFlags, 0, 1, nullptr, 0, 1},
        {"AppTitle", K::String, 0, &s.AppTitle},
        {"LogoFile", K::String, 0, &s.LogoFile},
        // -1 stands for the default size; the window cuts larger sizes to its logo area.
        {"LogoWidth", K::Fixed, 4, &s.LogoWidth, -1, kAnyInt},
        {"LogoHeight", K::Fixed, 4, &s.LogoHeight, -1, kAnyInt},
        {"ConnectionType", K::Fixed, 4, &s.ConnectionType, 0, 1},
        {"LastIpAddress", K::String, 0, &s.LastIpAddress},
        {"AlarmSound", K::Fixed, 1, &s.AlarmSound, 0, 1},
    }};
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

bool Accepts(const SettingsRow& row, int64_t value) {
    if (row.oneOf) {
        for (size_t i = 0; i < row.oneOfCount; ++i)
            if (value == int64_t(row.oneOf[i])) return true;
        return false;
    }
    return row.low > row.high || (value >= row.low && value <= row.high);
}

// Puts the row's default back in place of every value it does not accept.
void HoldToRange(const SettingsRow& row, const SettingsRow& defaults) {
    const size_t element = row.element ? row.element : row.size;
    for (size_t at = 0; at + element <= row.size; at += element) {
        char* value = static_cast<char*>(row.storage) + at;
        const int64_t number =
            element == 4 ? int64_t(int32_t(LoadLe32(value))) : int64_t(static_cast<unsigned char>(*value));
        if (!Accepts(row, number)) std::memcpy(value, static_cast<const char*>(defaults.storage) + at, element);
    }
}

// The text of a string row; a row without one is written as an empty text.
std::string_view RowText(const SettingsRow& row) {
    const auto* text = static_cast<const std::optional<std::string>*>(row.storage);
    return *text ? std::string_view(**text) : std::string_view();
}

}  // namespace

bool ReadSettingsBytes(const std::string& bytes, AppSettingsData& settings) {
    static AppSettingsData defaults;   // only read: the defaults of out-of-range values
    static const auto defaultRows = SettingsRows(defaults);
    const auto rows = SettingsRows(settings);
    size_t pos = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        const SettingsRow& row = rows[r];
        if (pos >= bytes.size()) break;
        const size_t left = bytes.size() - pos;
        if (row.kind == SettingsRowKind::Fixed) {
            if (left < row.size) break;  // an incomplete row keeps its value; reading stops
            std::memcpy(row.storage, bytes.data() + pos, row.size);
            HoldToRange(row, defaultRows[r]);
            pos += row.size;
        } else {
            if (left < 4) break;
            const uint32_t count = LoadLe32(bytes.data() + pos);
            // A count larger than what remains is a truncated row, never read past the end.
            if (count > left - 4) break;
            auto* text = static_cast<std::optional<std::string>*>(row.storage);
            if (*text)
                (*text)->assign(bytes, pos + 4, count);
            else
                text->emplace(bytes, pos + 4, count);
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
    // The rows are only read here.
    const auto rows = SettingsRows(const_cast<AppSettingsData&>(settings));
    size_t total = 0;
    for (const SettingsRow& row : rows) total += row.kind == SettingsRowKind::Fixed ? row.size : 4 + RowText(row).size();
    std::string out;
    out.reserve(total);
    for (const SettingsRow& row : rows) {
        if (row.kind == SettingsRowKind::Fixed) {
            out.append(static_cast<const char*>(row.storage), row.size);
        } else {
            const std::string_view text = RowText(row);
            AppendLe32(out, uint32_t(text.size()));
            out += text;
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
}

std::string StartupIpAddress(const AppSettingsData& settings) {
    return settings.LastIpAddress && !settings.LastIpAddress->empty() ? *settings.LastIpAddress : kDefaultIpAddress;
}

std::string SettingsFilePath(const std::string& programFolder) {
    return programFolder + "/" + kSettingsBaseName + ".ini";
}

std::string LogFilePath(const std::string& programFolder) {
    return programFolder + "/" + kSettingsBaseName + ".log";
}

std::string AlarmRulesFilePath() {
    const std::string folder = SettingsFolder();
    return folder.empty() ? std::string() : folder + "/alarm_rules.json";
}

std::string FilePlacesText() {
    const std::string settings = SettingsFolder();
    const std::string state = StateFolder();
    const char* none = "not kept (no home folder)";
    return "Settings: " + (settings.empty() ? std::string(none) : SettingsFilePath(settings)) +
           "\nLogs: " + (state.empty() ? std::string(none) : state + "/");
}
