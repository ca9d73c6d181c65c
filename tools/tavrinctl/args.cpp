#include "tools/tavrinctl/args.h"


#include <CLI/CLI.hpp>
#include <map>
#include <optional>

#include "platform/net.h"
#include "platform/numbers.h"
#include "tools/tavrinctl/command_table.h"
#include "tools/tavrinctl/exit_status.h"
#include "platform/nearest_word.h"

namespace {

bool ParseInt(const std::string& text, long low, long high, long& value) {
    const std::optional<int64_t> v = ParseInteger(text);
    if (!v || *v < low || *v > high) return false;
    value = static_cast<long>(*v);
    return true;
}

bool IsDottedQuad(const std::string& text) {
    return text.size() <= 15 && IsIpv4Address(text);
}

// Only one way to reach the unit may be given.
std::string OneTransport(const ToolOptions& o) {
    return o.transport == Transport::None ? std::string() : "give only one of --serial, --com and --ip";
}

// ---- the options ------------------------------------------------------------

// "status, dump, watch and inspect": the commands `option` applies to.
std::string CommandNamesFor(const ToolOption& option) {
    std::vector<std::string> names;
    for (const ToolCommand& c : ToolCommands())
        if (OptionApplies(option, c)) names.push_back(c.name);
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

const ToolOption kOptions[] = {
    {"-s", "--serial", "PATH", true, OptionScope::Unit, "a serial device (tty) the unit is attached to",
     [](ToolOptions& o, const std::string& v) -> std::string {
         if (!OneTransport(o).empty()) return OneTransport(o);
         if (v.empty()) return "--serial needs a device path";
         o.transport = Transport::SerialPath;
         o.serialPath = v;
         return {};
     }},
    {"-c", "--com", "N", true, OptionScope::Unit,
     "COMn as the desktop program resolves it: a link\n"
     "named COMn in the program folder's \"ports\" folder\n"
     "(installed: ~/.config/tavrin_rx_ctrl/ports),\n"
     "else /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*",
     [](ToolOptions& o, const std::string& v) -> std::string {
         long n = 0;
         if (!OneTransport(o).empty()) return OneTransport(o);
         if (!ParseInt(v, 1, 256, n)) return "--com takes a port number from 1 to 256";
         o.transport = Transport::ComPort;
         o.comNumber = int(n);
         return {};
     }},
    {"-i", "--ip", "A.B.C.D", true, OptionScope::Unit, "the unit's IPv4 address (TCP port 9999)",
     [](ToolOptions& o, const std::string& v) -> std::string {
         if (!OneTransport(o).empty()) return OneTransport(o);
         if (!IsDottedQuad(v)) return "--ip takes an IPv4 address A.B.C.D";
         o.transport = Transport::Ethernet;
         o.ipAddress = v;
         return {};
     }},
    {"-b", "--baud", "N", false, OptionScope::Unit, "serial line speed (default 9600)",
     [](ToolOptions& o, const std::string& v) -> std::string {
         long n = 0;
         if (!ParseInt(v, 1, 4000000, n)) return "--baud takes a positive line speed";
         o.baudGiven = true;
         o.baudRate = unsigned(n);
         return {};
     }},
    {"-a", "--address", "N", false, OptionScope::Unit,
     "unit address to use (default: the address the unit\n"
     "reports to the any-unit probe; 1 with --no-probe)",
     [](ToolOptions& o, const std::string& v) -> std::string {
         long n = 0;
         if (!ParseInt(v, 0, 9999, n)) return "--address takes a unit address from 0 to 9999";
         o.addressGiven = true;
         o.address = int(n);
         return {};
     }},
    {"-l", "--log", "FILE", false, OptionScope::Unit, "write the transaction log to FILE",
     [](ToolOptions& o, const std::string& v) -> std::string {
         if (v.empty()) return "--log needs a file name";
         o.logFile = v;
         return {};
     }},
    {"", "--no-probe", nullptr, false, OptionScope::Unit, "do not send the any-unit probe after connecting",
     [](ToolOptions& o, const std::string&) -> std::string {
         o.noProbe = true;
         return {};
     }},
    {"", "--program-folder", "DIR", false, OptionScope::Unit,
     "use DIR as the program folder (COM port links in\n"
     "DIR/ports)",
     [](ToolOptions& o, const std::string& v) -> std::string {
         if (v.empty()) return "--program-folder needs a folder";
         o.programFolder = v;
         return {};
     }},
    {"", "--interval", "MS", false, OptionScope::Cycles,
     "watch, alarms: milliseconds from one poll cycle\nto the next (default 2000, at least 100)",
     [](ToolOptions& o, const std::string& v) -> std::string {
         long n = 0;
         if (!ParseInt(v, kWatchMinIntervalMs, kWatchMaxIntervalMs, n))
             return "--interval takes milliseconds from 100 to 86400000";
         o.watch.intervalMs = uint32_t(n);
         return {};
     }},
    {"", "--count", "N", false, OptionScope::Cycles, "watch, alarms: stop after N poll cycles",
     [](ToolOptions& o, const std::string& v) -> std::string {
         long n = 0;
         if (!ParseInt(v, 1, 1000000000L, n)) return "--count takes a number of cycles from 1 to 1000000000";
         o.watch.count = n;
         return {};
     }},
    {"", "--csv", "FILE", false, OptionScope::Watch, "watch: record every cycle to FILE as CSV (the\ndesktop program's recording columns)",
     [](ToolOptions& o, const std::string& v) -> std::string {
         if (v.empty()) return "--csv needs a file name";
         o.watch.csvFile = v;
         return {};
     }},
    {"", "--alarm-rules", "FILE", false, OptionScope::Alarms,
     "alarms: the rules from FILE (JSON, checked\nwhole), not the defaults",
     [](ToolOptions& o, const std::string& v) -> std::string {
         if (v.empty()) return "--alarm-rules needs a file name";
         o.alarmRulesFile = v;
         return {};
     }},
    {"-j", "--json", nullptr, false, OptionScope::Json,
     "print JSON: one document (probe, send, read,\n"
     "status, dump, inspect), one object a line (watch,\nalarms)",
     [](ToolOptions& o, const std::string&) -> std::string {
         o.json = true;
         return {};
     }},
    {"-q", "--quiet", nullptr, false, OptionScope::Any,
     "no progress on standard error (it is shown only\n"
     "when standard error is a terminal)",
     [](ToolOptions& o, const std::string&) -> std::string {
         o.quiet = true;
         return {};
     }},
    {"", "--pages", nullptr, false, OptionScope::Pages,
     "values as the pages show and take them (MHz,\n"
     "option texts), the unit named; write checks the\n"
     "value as the page does",
     [](ToolOptions& o, const std::string&) -> std::string {
         o.pages = true;
         return {};
     }},
    {"-h", "--help", nullptr, false, OptionScope::Any, "print this text (after a command: the command's)",
     [](ToolOptions& o, const std::string&) -> std::string {
         o.help = true;
         return {};
     }},
    {"-V", "--version", nullptr, false, OptionScope::Any, "print the version of tavrinctl",
     [](ToolOptions& o, const std::string&) -> std::string {
         o.version = true;
         return {};
     }},
};

std::vector<std::string> OptionNames() {
    std::vector<std::string> names;
    for (const ToolOption& o : kOptions) {
        if (*o.shortName) names.push_back(o.shortName);
        names.push_back(o.longName);
    }
    return names;
}

std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (const ToolCommand& c : ToolCommands()) names.push_back(c.name);
    return names;
}

// "unknown command 'stauts': did you mean 'status'?"; a word starting with
// '-' is compared with the options.
std::string UnknownCommand(const std::string& word) {
    return "unknown command '" + word + "'" + DidYouMean(word, word.rfind('-', 0) == 0 ? OptionNames() : CommandNames());
}

std::string UnknownOption(const std::string& word) {
    return "unknown option '" + word + "'" + DidYouMean(word, OptionNames());
}

const ToolOption* FindOption(const std::string& name) {
    if (name.empty()) return nullptr;
    for (const ToolOption& o : kOptions)
        if (name == o.shortName || name == o.longName) return &o;
    return nullptr;
}

// ---- what the parser is given -------------------------------------------------

// The command line as the parser takes it. The parser would read a word such
// as "-5", "-x" or "++" as an option or a marker, a second command name as a
// command and "--" differently before and after the command. Here, as it has
// always been, the first word that is no option (or option value) is the
// command and every later one an argument, however it starts, and every word
// after "--" is no option. Arguments go to the parser as stand-ins that it
// can only take as arguments, and come back through Restore().
class PreparedLine {
public:
    PreparedLine(int argc, const char* const* argv);

    const std::vector<std::string>& Words() const { return words_; }
    std::string Restore(const std::string& word) const {
        auto it = standIns_.find(word);
        return it == standIns_.end() ? word : it->second;
    }
    // The value option that ends the line without its value, or "".
    const std::string& MissingValue() const { return missingValue_; }
    // A switch given a value ("--json=1"), or "".
    const std::string& SwitchWithValue() const { return switchWithValue_; }

private:
    void Add(const std::string& word) { words_.push_back(word); }
    void AddPositional(const std::string& word, bool& commandSeen);
    void AddArgument(const std::string& word);

    std::string marker_;
    std::vector<std::string> words_;
    std::map<std::string, std::string> standIns_;
    std::string missingValue_;
    std::string switchWithValue_;
};

PreparedLine::PreparedLine(int argc, const char* const* argv) {
    // A marker no argument starts with: the stand-ins cannot collide with a
    // word that was given.
    marker_ = "\x1e";
    for (bool clash = true; clash;) {
        clash = false;
        for (int i = 1; i < argc && !clash; ++i) clash = std::string(argv[i]).rfind(marker_, 0) == 0;
        if (clash) marker_ += "\x1e";
    }

    bool commandSeen = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded) {
            AddPositional(word, commandSeen);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isLong = word.size() >= 3 && word.compare(0, 2, "--") == 0;
        const size_t eq = isLong ? word.find('=') : std::string::npos;
        const std::string name = word.substr(0, eq);
        const ToolOption* option = isLong || word.size() == 2 ? FindOption(name) : nullptr;
        if (option && option->valueName) {
            if (eq == std::string::npos && i + 1 == argc) {
                missingValue_ = option->longName;
                continue;
            }
            Add(name);
            AddArgument(eq != std::string::npos ? word.substr(eq + 1) : std::string(argv[++i]));
        } else if (option) {
            if (eq != std::string::npos && switchWithValue_.empty()) switchWithValue_ = name;
            Add(name);
        } else if (isLong) {
            Add(word);   // no option of ours: the parser reports it
        } else {
            AddPositional(word, commandSeen);
        }
    }
}

// The first word that is no option names the command; the parser sees it as
// it is when it is one of ours. Every later one is an argument.
void PreparedLine::AddPositional(const std::string& word, bool& commandSeen) {
    if (!commandSeen && FindToolCommand(word))
        Add(word);
    else
        AddArgument(word);
    commandSeen = true;
}

void PreparedLine::AddArgument(const std::string& word) {
    const std::string standIn = marker_ + std::to_string(standIns_.size());
    standIns_[standIn] = word;
    Add(standIn);
}

ParseResult Fail(const std::string& why) { return ParseResult{false, why}; }

}  // namespace

std::string TakeKeyFromInput(ToolOptions& options, FILE* in) {
    if (options.args.size() < 2 || options.args[1] != "-") return {};
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

ParseResult ParseArguments(int argc, const char* const* argv, ToolOptions& options) {
    const PreparedLine line(argc, argv);

    CLI::App app("tavrinctl", "tavrinctl");
    app.set_help_flag();   // --help is one of the tool's own options
    app.allow_extras();    // reported below in the tool's words
    app.require_subcommand(0, 1);
    std::map<const CLI::Option*, const ToolOption*> optionRows;
    for (const ToolOption& o : kOptions) {
        const std::string names = *o.shortName ? std::string(o.shortName) + "," + o.longName : o.longName;
        CLI::Option* added = o.valueName ? app.add_option(names)->take_all() : app.add_flag(names);
        optionRows[added] = &o;
    }
    std::map<const CLI::App*, const ToolCommand*> commandRows;
    std::map<const CLI::App*, std::vector<std::string>> commandArgs;
    for (const ToolCommand& c : ToolCommands()) {
        CLI::App* sub = app.add_subcommand(c.name);
        sub->fallthrough();     // the options may also follow the command
        sub->set_help_flag();
        // The number of arguments is checked below, in the tool's words.
        if (c.maxArgs != 0)
            sub->add_option("arguments", commandArgs[sub])->expected(0, CLI::detail::expected_max_vector_size);
        commandRows[sub] = &c;
    }

    std::vector<std::string> words(line.Words().rbegin(), line.Words().rend());
    try {
        app.parse(words);
    } catch (const CLI::ParseError& e) {
        return Fail(e.what());
    }

    // The options in the order they were given, each checked as it comes.
    std::map<const CLI::Option*, size_t> seen;
    std::vector<const ToolOption*> givenRows;
    std::string problem;
    for (const CLI::Option* given : app.parse_order()) {
        auto row = optionRows.find(given);
        if (row == optionRows.end()) continue;
        givenRows.push_back(row->second);
        const size_t occurrence = seen[given]++;
        std::string value;
        if (row->second->valueName && occurrence < given->results().size())
            value = line.Restore(given->results()[occurrence]);
        problem = row->second->apply(options, value);
        if (!problem.empty()) break;
    }

    // What the parser could not place: options not of ours, and arguments
    // beyond what the command takes (or the words of an unknown command).
    std::vector<std::string> extras;
    for (const std::string& word : app.remaining(true)) {
        if (word.size() >= 3 && word.compare(0, 2, "--") == 0)
            return Fail(UnknownOption(word.substr(0, word.find('='))));
        extras.push_back(line.Restore(word));
    }
    if (!line.SwitchWithValue().empty()) return Fail(UnknownOption(line.SwitchWithValue()));
    if (!problem.empty()) return Fail(problem);
    if (!line.MissingValue().empty()) return Fail(line.MissingValue() + " needs a value");

    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty() && !extras.empty()) return Fail(UnknownCommand(extras.front()));
    if (!chosen.empty()) options.command = commandRows.at(chosen.front())->name;
    // --help after a command is that command's help.
    if (options.help || options.version) return ParseResult{true, {}};
    if (chosen.empty()) return Fail("no command given");
    const ToolCommand& command = *commandRows.at(chosen.front());
    for (const std::string& word : commandArgs[chosen.front()]) options.args.push_back(line.Restore(word));
    const int count = int(options.args.size() + extras.size());
    if (count < command.minArgs || (command.maxArgs >= 0 && count > command.maxArgs))
        return Fail("wrong number of arguments for " + options.command);
    if (command.run && options.transport == Transport::None)
        return Fail(options.command + " needs one of --serial, --com or --ip");
    // An option meant for other commands is refused; the connection and link
    // options are taken (and left unused) by commands without a unit.
    for (const ToolOption* given : givenRows)
        if (given->scope != OptionScope::Unit && !OptionApplies(*given, command))
            return Fail(std::string(given->longName) + " applies to " + CommandNamesFor(*given) + " only");
    return ParseResult{true, {}};
}

namespace {

// "  NAME" padded to the help column, then the help; continuation lines are
// indented to the same column.
void AddUsageRow(std::string& text, const std::string& name, const char* help, size_t column) {
    std::string row = "  " + name;
    row += row.size() + 1 > column ? "\n" + std::string(column, ' ') : std::string(column - row.size(), ' ');
    for (const char* p = help; *p; ++p) {
        row += *p;
        if (*p == '\n') row += std::string(column, ' ');
    }
    text += row + "\n";
}

std::string OptionName(const ToolOption& o) {
    std::string name = *o.shortName ? std::string(o.shortName) + ", " : "    ";
    name += o.longName;
    if (o.valueName) name += std::string(" ") + o.valueName;
    return name;
}

std::string BuildUsageText() {
    constexpr size_t kOptionColumn = 28;
    constexpr size_t kCommandColumn = 33;
    std::string text =
        "Usage: tavrinctl CONNECTION [OPTIONS] COMMAND [ARGUMENTS]\n"
        "       tavrinctl [--json] inspect FILE\n"
        "\n"
        "Connection (one of):\n";
    for (const ToolOption& o : kOptions)
        if (o.connection) AddUsageRow(text, OptionName(o), o.help, kOptionColumn);
    text += "Options:\n";
    for (const ToolOption& o : kOptions)
        if (!o.connection) AddUsageRow(text, OptionName(o), o.help, kOptionColumn);
    AddUsageRow(text, "--", "ends the options (for a TEXT or VALUE beginning \"-\")", kOptionColumn);
    text += "Commands:\n";
    for (const ToolCommand& c : ToolCommands())
        for (const CommandForm& form : c.forms)
            if (form.help)
                AddUsageRow(text, *form.arguments ? std::string(c.name) + " " + form.arguments : c.name, form.help,
                            kCommandColumn);
    text +=
        "Environment:\n"
        "  TAVRIN_WAIT_SCALE=F   multiply the fixed waits after a mode change (7,000 ms)\n"
        "                        or a slot load (1,000 ms) by F; a test and training\n"
        "                        aid for the simulated unit, never for a real one\n"
        "  TAVRIN_DEBUG=1        also show the link's diagnostic lines on standard error\n"
        "Exit status:\n";
    for (const ExitStatusRow& row : kExitStatusTable) AddUsageRow(text, std::to_string(row.status), row.meaning, 6);
    return text;
}

}  // namespace

const std::string& UsageText() {
    static const std::string text = BuildUsageText();
    return text;
}

std::span<const ToolOption> ToolOptionTable() { return kOptions; }

bool OptionApplies(const ToolOption& option, const ToolCommand& command) {
    switch (option.scope) {
        case OptionScope::Unit: return command.run != nullptr;
        case OptionScope::Cycles: return std::string(command.name) == "watch" || std::string(command.name) == "alarms";
        case OptionScope::Watch: return std::string(command.name) == "watch";
        case OptionScope::Alarms: return std::string(command.name) == "alarms";
        case OptionScope::Json: return command.json;
        case OptionScope::Pages: {
            const std::string name = command.name;
            return name == "read" || name == "write" || name == "dump";
        }
        case OptionScope::Any: return true;
    }
    return false;
}

std::string CommandHelpText(const ToolCommand& command) {
    constexpr size_t kOptionColumn = 28;
    const std::string head = std::string("tavrinctl ") + (command.run ? "CONNECTION " : "") + "[OPTIONS] " + command.name;
    std::string text;
    for (const CommandForm& form : command.forms)
        if (form.help) text += (text.empty() ? "Usage: " : "       ") + head + (*form.arguments ? " " : "") + form.arguments + "\n";
    for (const CommandForm& form : command.forms) {
        if (!form.help) continue;
        text += "\n  ";
        for (const char* p = form.help; *p; ++p) text += *p == '\n' ? std::string("\n  ") : std::string(1, *p);
        text += "\n";
    }
    text += "\n";
    if (command.run) {
        text += "Connection (one of):\n";
        for (const ToolOption& o : kOptions)
            if (o.connection) AddUsageRow(text, OptionName(o), o.help, kOptionColumn);
    }
    text += "Options:\n";
    for (const ToolOption& o : kOptions)
        if (!o.connection && OptionApplies(o, command)) AddUsageRow(text, OptionName(o), o.help, kOptionColumn);
    text += std::string("Example:\n  ") + command.example + "\n";
    return text;
}

std::string CheckHelpArguments(const ToolOptions& options) {
    if (options.args.empty() || FindToolCommand(options.args[0])) return {};
    return UnknownCommand(options.args[0]);
}

int RunHelp(const ToolOptions& options, FILE* out, FILE*) {
    const std::string text = options.args.empty() ? UsageText() : CommandHelpText(*FindToolCommand(options.args[0]));
    std::fputs(text.c_str(), out);
    return kExitSuccess;
}
