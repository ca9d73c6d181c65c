// The program's settings: one record for the whole run, read from the binary
// settings file at start and written back at a normal exit.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The files' base name is fixed; it does not follow the program's version.
inline constexpr const char* kSettingsBaseName = "tavrin_rx_ctrl_v2.3.5";
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
    uint8_t AlarmSound = 1;               // a beep on a new critical or major alarm
};

// The line speeds Advanced options offers, in its order.
inline constexpr std::array<uint32_t, 15> kSerialBaudRates = {
    110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
// The interval and time-out edits take at most seven digits.
inline constexpr int32_t kLargestTypedNumber = 9999999;

enum class SettingsRowKind { Fixed, String };

// One row of the settings file; the table's order is the file's order.
// A fixed-size row holds one value, or `size / element` values of `element`
// bytes each (4 bytes are signed, 1 byte unsigned). A value read from the
// file outside [low, high], or not among `oneOf` when that is given, is
// replaced by the row's default.
struct SettingsRow {
    const char* name;
    SettingsRowKind kind;
    size_t size;                          // bytes of a fixed-size row
    void* storage;                        // the value, or a std::optional<std::string>
    int64_t low = 0;
    int64_t high = -1;                    // low > high: any value
    const uint32_t* oneOf = nullptr;
    size_t oneOfCount = 0;
    size_t element = 0;                   // 0: the whole row is one value
};

// The rows of `settings`, in file order (a fixed table: nothing is allocated).
inline constexpr size_t kSettingsRowCount = 18;
std::array<SettingsRow, kSettingsRowCount> SettingsRows(AppSettingsData& settings);

// Reads the file into `settings`. Rows from the first incomplete one on keep
// what they held; a value outside what its dialog accepts takes its default.
// Returns false when the file cannot be read (not a regular file, larger than
// any settings file can be): every row keeps what it held.
bool ReadSettingsFile(const std::string& path, AppSettingsData& settings);
bool ReadSettingsBytes(const std::string& bytes, AppSettingsData& settings);

// Serialises every row; written through a temporary file and a rename.
std::string SettingsBytes(const AppSettingsData& settings);
bool WriteSettingsFile(const std::string& path, const AppSettingsData& settings);

// Start-up defaults: a connection type other than 0 or 1 becomes 0; a title no
// row supplied becomes the default title.
void ApplyStartupDefaults(AppSettingsData& settings);
// The unit's IP address to start with: the last one, or kDefaultIpAddress.
std::string StartupIpAddress(const AppSettingsData& settings);

std::string SettingsFilePath(const std::string& programFolder);
std::string LogFilePath(const std::string& programFolder);
// The desktop's alarm rules file (params/alarm_rules.h): "alarm_rules.json"
// in the settings folder (the program folder when portable); "" when the run
// keeps no settings folder.
std::string AlarmRulesFilePath();

// Where this run keeps its files, as the About box shows it:
// "Settings: FILE\nLogs: FOLDER/" (the transaction log and the event log).
std::string FilePlacesText();

// The program's settings, the one process-wide record of the run.
extern AppSettingsData AppSettings;
