// The program's settings: one record for the whole run, read from the binary
// settings file at start and written back at a normal exit.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kSettingsBaseName = "tavrin_rx_ctrl_v2.3.5";
inline constexpr const char* kAppVersionText = "2.3.5";
inline constexpr const char* kDefaultAppTitle = "Tavrin receiver control";
inline constexpr const char* kDefaultIpAddress = "0.0.0.0";

struct AppSettingsData {
    int32_t LastComPort = -1;             // 0-based index of the last serial port; -1 none
    uint8_t PollingEnabled = 1;           // read by the poll thread (std::atomic_ref)
    std::optional<std::string> IconFile;
    int32_t BaudRate = 9600;
    int32_t ReadIntervalTimeout = 500;
    int32_t ReadTotalTimeoutMultiplier = 1;
    int32_t ReadTotalTimeoutConstant = 2500;
    int32_t WriteTotalTimeoutMultiplier = 1;
    int32_t WriteTotalTimeoutConstant = 1000;
    int32_t PollIntervalMs = 2000;
    uint8_t PollItemFlags[4] = {1, 1, 1, 1};  // Demod lock, Decoder lock, SNR, Input levels
    std::optional<std::string> AppTitle;
    std::optional<std::string> LogoFile;
    int32_t LogoWidth = -1;               // -1 means 70
    int32_t LogoHeight = -1;
    int32_t ConnectionType = 0;           // 0 RS232, 1 Ethernet
    std::optional<std::string> LastIpAddress;  // the unit's last IP address
};

enum class SettingsRowKind { Fixed, String };

// One row of the settings file; the table's order is the file's order.
struct SettingsRow {
    const char* name;
    SettingsRowKind kind;
    size_t size;                          // bytes of a fixed-size row
    void* storage;                        // the value, or a std::optional<std::string>
};

// The rows of `settings`, in file order.
std::vector<SettingsRow> SettingsRows(AppSettingsData& settings);

// Reads the file into `settings`. Rows from the first incomplete one on keep
// what they held. Returns false when the file cannot be opened (all defaults).
bool ReadSettingsFile(const std::string& path, AppSettingsData& settings);
bool ReadSettingsBytes(const std::string& bytes, AppSettingsData& settings);

// Serialises every row; written through a temporary file and a rename.
std::string SettingsBytes(const AppSettingsData& settings);
bool WriteSettingsFile(const std::string& path, const AppSettingsData& settings);

// Start-up defaults: a connection type other than 0 or 1 becomes 0; a title no
// row supplied becomes the default title; UnitIpAddress takes the last address.
void ApplyStartupDefaults(AppSettingsData& settings);

std::string SettingsFilePath(const std::string& programFolder);
std::string LogFilePath(const std::string& programFolder);

// Process-wide state of the run.
extern AppSettingsData AppSettings;
extern std::string UnitIpAddress;         // dotted quad, "0.0.0.0" at start
extern std::atomic<int> CurrentUnitAddress;  // 1 at start, never saved
