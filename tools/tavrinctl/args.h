// tavrinctl's command line: the connection options, the command and its
// arguments, and the usage text.
#pragma once
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

enum class Transport { None, SerialPath, ComPort, Ethernet };

// watch's options.
struct WatchOptions {
    uint32_t intervalMs = 2000;  // --interval
    long count = 0;              // --count; 0: until stopped
    std::string csvFile;         // --csv
};

inline constexpr uint32_t kWatchMinIntervalMs = 100;
inline constexpr uint32_t kWatchMaxIntervalMs = 86400000;   // a day

struct ToolOptions {
    Transport transport = Transport::None;
    std::string serialPath;      // --serial
    int comNumber = 0;           // --com N (COMn, 1-based)
    std::string ipAddress;       // --ip
    bool baudGiven = false;
    unsigned baudRate = 9600;    // --baud
    bool addressGiven = false;
    int address = 1;             // --address
    std::string logFile;         // --log
    bool noProbe = false;        // --no-probe
    bool json = false;           // --json
    bool pages = false;          // --pages: read, write and dump in the pages' form
    std::string programFolder;   // --program-folder
    bool help = false;           // --help
    bool quiet = false;          // --quiet: no progress
    bool version = false;        // --version
    WatchOptions watch;
    std::string alarmRulesFile;  // --alarm-rules (alarms); empty: the defaults

    std::string command;
    std::vector<std::string> args;
};

struct ToolCommand;

// The commands an option applies to.
enum class OptionScope {
    Unit,    // those that talk to a unit (the connection and the link)
    Cycles,  // watch and alarms (the poll cycle again and again)
    Watch,   // watch
    Alarms,  // alarms
    Json,    // those that print JSON (the command table's `json`)
    Pages,   // read, write and dump (values in the pages' form)
    Any,     // every command
};

// Checks an option's value and stores it: "" when it is fine, else the reason.
using ApplyOption = std::string (*)(ToolOptions&, const std::string& value);

// One row of the option table, which the parser, the usage texts and the
// bash completion read.
struct ToolOption {
    const char* shortName;   // "" when there is none
    const char* longName;
    const char* valueName;   // nullptr for a switch without a value
    bool connection;         // one of the ways to reach the unit
    OptionScope scope;
    const char* help;        // continuation lines start with '\n'
    ApplyOption apply;
};

std::span<const ToolOption> ToolOptionTable();
bool OptionApplies(const ToolOption& option, const ToolCommand& command);

struct ParseResult {
    bool ok = false;
    std::string error;   // why the command line was refused
};

// Parses the command line with the option and command tables. An argument
// counts as an option only when it starts with "--" or is one of the short
// options (-j, -s PATH, ...); anything else starting with '-' (a negative
// value, a raw text) is an argument. "--" ends the options.
ParseResult ParseArguments(int argc, const char* const* argv, ToolOptions& options);

// `key TYPE -`: takes the key from `in` (one or, for aes256, two words: the
// lower and the upper half) in place of the "-", so that it never stands on
// the command line. Returns an empty text, or why the input was refused.
std::string TakeKeyFromInput(ToolOptions& options, FILE* in);

// The usage text (--help); its first paragraph holds the forms of the
// command line.
const std::string& UsageText();

// One command's usage, the options that apply to it and an example
// (`COMMAND --help`, `help COMMAND`).
std::string CommandHelpText(const ToolCommand& command);

// `help [COMMAND]`: the command must be one of ours.
std::string CheckHelpArguments(const ToolOptions& options);
int RunHelp(const ToolOptions& options, FILE* out, FILE* err);
