#include "tools/tavrinctl/args.h"

#include <arpa/inet.h>

#include <optional>
#include <set>

#include "platform/numbers.h"

namespace {

bool ParseInt(const std::string& text, long low, long high, long& value) {
    const std::optional<int64_t> v = ParseInteger(text);
    if (!v || *v < low || *v > high) return false;
    value = static_cast<long>(*v);
    return true;
}

bool IsDottedQuad(const std::string& text) {
    in_addr parsed{};
    return text.size() <= 15 && inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

// The commands and how many arguments each takes (min, max; -1 = no limit).
struct CommandShape {
    const char* name;
    int minArgs;
    int maxArgs;
};

constexpr CommandShape kCommands[] = {
    {"probe", 0, 0},       {"send", 2, 2},        {"read", 1, -1},       {"write", 2, 2},
    {"key", 2, 3},         {"status", 0, 0},      {"dump", 0, 0},        {"save-config", 1, 1},
    {"load-config", 1, 1}, {"save-set", 1, 1},    {"load-set", 1, 1},    {"inspect", 1, 1},
};

const CommandShape* FindCommand(const std::string& name) {
    for (const CommandShape& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

ParseResult Fail(const std::string& why) { return ParseResult{false, why}; }

}  // namespace

std::string TakeKeyFromInput(ToolOptions& options, FILE* in) {
    if (options.command != "key" || options.args.size() < 2 || options.args[1] != "-") return {};
    if (options.args.size() > 2) return "give the upper half on standard input too, not after \"-\"";
    // A key is a few dozen hexadecimal digits; more input than this is no key.
    constexpr size_t kMaxInput = 1024;
    std::string text;
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        text.append(buffer, n);
        if (text.size() > kMaxInput) return "the key on standard input is too long";
    }
    if (std::ferror(in)) return "the key could not be read from standard input";
    std::vector<std::string> words;
    size_t pos = 0;
    const char* blanks = " \t\r\n";
    while ((pos = text.find_first_not_of(blanks, pos)) != std::string::npos) {
        const size_t end = text.find_first_of(blanks, pos);
        words.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end;
    }
    if (words.empty() || words.size() > 2) return "standard input must hold the key (and for aes256 its upper half)";
    options.args.resize(1);
    options.args.insert(options.args.end(), words.begin(), words.end());
    return {};
}

bool CommandNeedsUnit(const std::string& command) { return command != "inspect"; }

ParseResult ParseArguments(int argc, const char* const* argv, ToolOptions& options) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            if (!optionsEnded && arg == "--") {
                optionsEnded = true;
                continue;
            }
            positional.push_back(arg);
            continue;
        }
        // Options that take no value.
        if (arg == "--help") { options.help = true; continue; }
        if (arg == "--no-probe") { options.noProbe = true; continue; }
        if (arg == "--json") { options.json = true; continue; }

        static const std::set<std::string> withValue = {"--serial", "--com",     "--ip",
                                                        "--baud",   "--address", "--log",
                                                        "--program-folder"};
        std::string name = arg, value;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (!withValue.count(name)) return Fail("unknown option " + name);
        if (eq == std::string::npos) {
            if (i + 1 >= argc) return Fail(name + " needs a value");
            value = argv[++i];
        }

        long n = 0;
        if (name == "--serial" || name == "--com" || name == "--ip") {
            if (options.transport != Transport::None)
                return Fail("give only one of --serial, --com and --ip");
        }
        if (name == "--serial") {
            if (value.empty()) return Fail("--serial needs a device path");
            options.transport = Transport::SerialPath;
            options.serialPath = value;
        } else if (name == "--com") {
            if (!ParseInt(value, 1, 256, n)) return Fail("--com takes a port number from 1 to 256");
            options.transport = Transport::ComPort;
            options.comNumber = int(n);
        } else if (name == "--ip") {
            if (!IsDottedQuad(value)) return Fail("--ip takes an IPv4 address A.B.C.D");
            options.transport = Transport::Ethernet;
            options.ipAddress = value;
        } else if (name == "--baud") {
            if (!ParseInt(value, 1, 4000000, n)) return Fail("--baud takes a positive line speed");
            options.baudGiven = true;
            options.baudRate = unsigned(n);
        } else if (name == "--address") {
            if (!ParseInt(value, 0, 9999, n)) return Fail("--address takes a unit address from 0 to 9999");
            options.addressGiven = true;
            options.address = int(n);
        } else if (name == "--log") {
            if (value.empty()) return Fail("--log needs a file name");
            options.logFile = value;
        } else if (name == "--program-folder") {
            if (value.empty()) return Fail("--program-folder needs a folder");
            options.programFolder = value;
        }
    }

    if (options.help) return ParseResult{true, {}};
    if (positional.empty()) return Fail("no command given");
    options.command = positional[0];
    options.args.assign(positional.begin() + 1, positional.end());
    const CommandShape* shape = FindCommand(options.command);
    if (!shape) return Fail("unknown command " + options.command);
    const int count = int(options.args.size());
    if (count < shape->minArgs || (shape->maxArgs >= 0 && count > shape->maxArgs))
        return Fail("wrong number of arguments for " + options.command);
    if (CommandNeedsUnit(options.command) && options.transport == Transport::None)
        return Fail(options.command + " needs one of --serial, --com or --ip");
    if (options.json && options.command != "status" && options.command != "dump" &&
        options.command != "inspect")
        return Fail("--json applies to status, dump and inspect only");
    return ParseResult{true, {}};
}

const char* UsageText() {
    return "Usage: tavrinctl CONNECTION [OPTIONS] COMMAND [ARGUMENTS]\n"
           "       tavrinctl [--json] inspect FILE\n"
           "\n"
           "Connection (one of):\n"
           "  --serial PATH         a serial device (tty) the unit is attached to\n"
           "  --com N               COMn as the desktop program resolves it: a link named\n"
           "                        COMn in the program folder's \"ports\" folder, else\n"
           "                        /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*\n"
           "  --ip A.B.C.D          the unit's IPv4 address (TCP port 9999)\n"
           "Options:\n"
           "  --baud N              serial line speed (default 9600)\n"
           "  --address N           unit address to use (default: the address the unit\n"
           "                        reports to the any-unit probe; 1 with --no-probe)\n"
           "  --log FILE            write the transaction log to FILE\n"
           "  --no-probe            do not send the any-unit probe after connecting\n"
           "  --program-folder DIR  use DIR as the program folder (COM port links in\n"
           "                        DIR/ports)\n"
           "  --json                print one JSON document (status, dump, inspect)\n"
           "  --help                print this text\n"
           "  --                    ends the options (for a TEXT or VALUE beginning \"--\")\n"
           "Commands:\n"
           "  probe                          print the unit's address\n"
           "  send ADDR TEXT                 send STX, the four address characters and\n"
           "                                 TEXT as typed (e.g. r1loc;;); show both frames\n"
           "  read CODE...                   read each code; print code, status and data\n"
           "  write CODE VALUE               write one value; print the status\n"
           "  key abs|aes128|aes256 HEX [UPPERHEX]\n"
           "                                 write a decryption key (AES256: lower, upper)\n"
           "  key abs|aes128|aes256 -        the same, the key (and the upper half) read\n"
           "                                 from standard input, e.g. < FILE; a key on\n"
           "                                 the command line is visible to other users\n"
           "                                 in the process list\n"
           "  status                         one poll cycle: lamps, SNR and levels\n"
           "  dump                           slot, mode and every demodulator and decoder\n"
           "                                 setting as the pages show it\n"
           "  save-config FILE               save the unit's configuration to FILE\n"
           "  load-config FILE               send a configuration file to the unit\n"
           "  save-set FILE                  save every slot of the unit to FILE\n"
           "  load-set FILE                  send a configuration set file to the unit\n"
           "  inspect FILE                   check a configuration or set file and print\n"
           "                                 its records (needs no unit)\n"
           "Environment:\n"
           "  TAVRIN_WAIT_SCALE=F   multiply the fixed waits after a mode change (7,000 ms)\n"
           "                        or a slot load (1,000 ms) by F; a test and training\n"
           "                        aid for the simulated unit, never for a real one\n"
           "  TAVRIN_DEBUG=1        also show the link's diagnostic lines on standard error\n"
           "Exit status: 0 every exchange succeeded; 1 an exchange or file failed (the\n"
           "reason on standard error); 2 bad arguments.\n";
}
