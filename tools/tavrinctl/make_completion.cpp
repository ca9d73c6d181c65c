// Writes tavrinctl's bash completion at build time: the shell code of
// packaging/completion/tavrinctl.in with its @WORDS@ filled in from the
// command table, the option table, the parameter tables and the key types,
// so that the completion never lists more or less than the tool takes.
//
//   tavrinctl_completion TEMPLATE OUTPUT
//   tavrinctl_completion --manual-lists     (the lists the manual page holds)
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pages/key_check.h"
#include "params/param_table.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"
#include "tools/tavrinctl/args.h"
#include "tools/tavrinctl/command_table.h"

namespace {

std::string Joined(const std::vector<std::string>& words, const char* between = " ") {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : between) + w;
    return text;
}

// Every code of the parameter tables once, in table order; `writableOnly`:
// those the unit takes writes for.
std::vector<std::string> Codes(bool writableOnly) {
    std::vector<std::string> codes;
    std::set<std::string> seen;
    for (const ParamEntry* const* table = EveryParamTable; *table; ++table)
        for (const ParamEntry* row = *table; row->code; ++row)
            if ((!writableOnly || row->writable) && seen.insert(row->code).second) codes.push_back(row->code);
    return codes;
}

std::vector<std::string> OptionNames(const ToolOption& o) {
    std::vector<std::string> names{o.longName};
    if (*o.shortName) names.push_back(o.shortName);
    return names;
}

// The options taking a value that `wanted` picks, as a bash case pattern.
std::string ValueOptions(bool (*wanted)(const ToolOption& option)) {
    std::vector<std::string> names;
    for (const ToolOption& o : ToolOptionTable())
        if (o.valueName && wanted(o))
            for (const std::string& n : OptionNames(o)) names.push_back(n);
    return names.empty() ? "--no-such-option" : Joined(names, " | ");
}

// Each command's options as a bash case: "    watch) options='...' ;;".
std::string CommandOptions() {
    std::string text;
    for (const ToolCommand& c : ToolCommands()) {
        std::vector<std::string> names;
        for (const ToolOption& o : ToolOptionTable())
            if (o.connection || OptionApplies(o, c))
                for (const std::string& n : OptionNames(o)) names.push_back(n);
        text += std::string("        ") + c.name + ") options=\"" + Joined(names) + "\" ;;\n";
    }
    return text;
}

// The device families COM n maps to, as "PREFIX:FIRST" (COM FIRST is
// PREFIX0), from the mapping itself with no ports folder in the way.
std::string PortFamilies() {
    SetProgramFolder("/nonexistent/tavrinctl-completion", FolderMode::Portable);
    std::vector<std::string> families;
    std::string lastPrefix;
    for (int index = 0; index < 256; ++index) {
        const std::string path = ComPortDevicePath(index);
        if (path.empty()) continue;
        size_t digits = path.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(path[digits - 1]))) --digits;
        const std::string prefix = path.substr(0, digits);
        if (prefix != lastPrefix && path.substr(digits) == "0")
            families.push_back(prefix + ":" + std::to_string(index + 1));
        lastPrefix = prefix;
    }
    return Joined(families);
}

std::map<std::string, std::string> Words() {
    std::vector<std::string> options, commands, keyTypes;
    for (const ToolOption& o : ToolOptionTable())
        for (const std::string& n : OptionNames(o)) options.push_back(n);
    for (const ToolCommand& c : ToolCommands()) commands.push_back(c.name);
    for (int type = 0; *KeyTypeName(type); ++type) {
        std::string name = KeyTypeName(type);
        for (char& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        keyTypes.push_back(name);
    }
    return {
        {"OPTIONS", Joined(options)},
        {"COMMANDS", Joined(commands)},
        {"READ_CODES", Joined(Codes(false))},
        {"WRITE_CODES", Joined(Codes(true))},
        {"KEY_TYPES", Joined(keyTypes)},
        {"VALUE_OPTIONS", ValueOptions([](const ToolOption&) { return true; })},
        {"FILE_OPTIONS", ValueOptions([](const ToolOption& o) {
             return std::string(o.valueName) == "FILE" || std::string(o.valueName) == "PATH";
         })},
        {"DIR_OPTIONS", ValueOptions([](const ToolOption& o) { return std::string(o.valueName) == "DIR"; })},
        {"COM_OPTIONS", ValueOptions([](const ToolOption& o) { return std::string(o.longName) == "--com"; })},
        {"COMMAND_OPTIONS", CommandOptions()},
        {"PORT_FAMILIES", PortFamilies()},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--manual-lists") {
        const auto words = Words();
        std::printf("commands: %s\nread codes: %s\nwrite codes: %s\n", words.at("COMMANDS").c_str(),
                    words.at("READ_CODES").c_str(), words.at("WRITE_CODES").c_str());
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: tavrinctl_completion TEMPLATE OUTPUT | --manual-lists\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    if (!in || text.empty()) {
        std::fprintf(stderr, "tavrinctl_completion: %s: cannot be read\n", argv[1]);
        return 1;
    }
    for (const auto& [name, value] : Words()) {
        const std::string marker = "@" + name + "@";
        if (text.find(marker) == std::string::npos) {
            std::fprintf(stderr, "tavrinctl_completion: %s: no %s\n", argv[1], marker.c_str());
            return 1;
        }
        for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size()))
            text.replace(at, marker.size(), value);
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "tavrinctl_completion: %s: cannot be written\n", argv[2]);
        return 1;
    }
    return 0;
}
