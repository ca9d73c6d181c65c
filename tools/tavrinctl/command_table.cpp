#include "tools/tavrinctl/command_table.h"

#include "tools/tavrinctl/commands.h"

namespace {

template <std::string (*check)(const ToolOptions&)>
std::string Check(ToolOptions& options) {
    return check(options);
}

// `key TYPE -` first takes the key from standard input.
std::string CheckKeyInputAndArguments(ToolOptions& options) {
    const std::string problem = TakeKeyFromInput(options, stdin);
    return problem.empty() ? CheckKeyArguments(options) : problem;
}

constexpr ToolCommand kCommands[] = {
    {"probe", 0, 0, true, UnitRun::Single, nullptr, RunProbe, nullptr, {{"", "print the unit's address"}},
     "tavrinctl --serial /dev/ttyUSB0 probe"},
    {"send", 2, 2, true, UnitRun::Single, Check<CheckSendArguments>, RunSend, nullptr,
     {{"ADDR TEXT",
       "send STX, the four address characters and\n"
       "TEXT as typed (e.g. r1loc;;); show both frames"}}, "tavrinctl --ip 192.0.2.10 send 0001 'r1loc;;'"},
    {"read", 1, -1, true, UnitRun::Reads, Check<CheckReadArguments>, RunRead, nullptr,
     {{"CODE...", "read each code; print code, status and data"}}, "tavrinctl --ip 192.0.2.10 read 1loc 1snr"},
    {"write", 2, 2, false, UnitRun::Single, Check<CheckWriteArguments>, RunWrite, nullptr,
     {{"CODE VALUE", "write one value; print the status"}}, "tavrinctl --com 1 write 1ipf 1.4500"},
    {"key", 2, 3, false, UnitRun::Changes, CheckKeyInputAndArguments, RunKey, nullptr,
     {{"abs|aes128|aes256 HEX [UPPERHEX]", "write a decryption key (AES256: lower, upper)"},
      {"abs|aes128|aes256 -",
       "the same, the key (and the upper half) read\n"
       "from standard input, e.g. < FILE; a key on\n"
       "the command line is visible to other users\n"
       "in the process list"}}, "tavrinctl --ip 192.0.2.10 key aes128 - < key.txt"},
    {"status", 0, 0, true, UnitRun::Reads, nullptr, RunStatus, nullptr, {{"", "one poll cycle: lamps, SNR and levels"}}, "tavrinctl --ip 192.0.2.10 status --json"},
    {"dump", 0, 0, true, UnitRun::Reads, nullptr, RunDump, nullptr,
     {{"",
       "slot, mode and every demodulator and decoder\n"
       "setting as the pages show it"}}, "tavrinctl --com 1 dump"},
    {"save-config", 1, 1, false, UnitRun::SelfChecked, nullptr, RunSaveConfig, nullptr,
     {{"FILE", "save the unit's configuration to FILE"}}, "tavrinctl --ip 192.0.2.10 save-config unit.cfg"},
    {"load-config", 1, 1, false, UnitRun::SelfChecked, nullptr, RunLoadConfig, nullptr,
     {{"FILE", "send a configuration file to the unit"}}, "tavrinctl --ip 192.0.2.10 load-config unit.cfg"},
    {"save-set", 1, 1, false, UnitRun::SelfChecked, nullptr, RunSaveSet, nullptr, {{"FILE", "save every slot of the unit to FILE"}}, "tavrinctl --ip 192.0.2.10 save-set unit.set"},
    {"load-set", 1, 1, false, UnitRun::SelfChecked, nullptr, RunLoadSet, nullptr,
     {{"FILE", "send a configuration set file to the unit"}}, "tavrinctl --ip 192.0.2.10 load-set unit.set"},
    {"watch", 0, 0, true, UnitRun::Single, nullptr, RunWatch, nullptr,
     {{"",
       "the poll cycle every --interval until --count\n"
       "cycles or Ctrl+C/SIGTERM (exit status 0): one\n"
       "line a cycle (lamps, SNR A-D, levels A-D), or\n"
       "with --json one object a line: time_utc,\n"
       "connected and lamps (true/false) and the\n"
       "--csv column names;\n"
       "a value is a number when the unit sent a plain\n"
       "number, else a string, null when not received;\n"
       "a cycle without an answer is a row with\n"
       "connected 0 and the watch goes on (with --com N\n"
       "a device plugged back is opened again)"}}, "tavrinctl --ip 192.0.2.10 watch --interval 500 --csv signal.csv"},
    {"alarms", 0, 0, true, UnitRun::Single, nullptr, RunAlarms, nullptr,
     {{"",
       "the alarm rules (the defaults, or --alarm-rules\n"
       "FILE) over the poll cycle of watch: one line\n"
       "per alarm raised or cleared (time, raise or\n"
       "clear, alarm, severity, value), or with --json\n"
       "one object a line: time_utc, event, alarm,\n"
       "severity, value; until --count cycles or\n"
       "Ctrl+C/SIGTERM (exit status 0)"}}, "tavrinctl --ip 192.0.2.10 alarms --alarm-rules rules.json --json"},
    {"inspect", 1, 1, true, UnitRun::Single, nullptr, nullptr, RunInspect,
     {{"FILE",
       "check a configuration or set file and print\n"
       "its records (needs no unit)"}}, "tavrinctl inspect unit.cfg"},
    {"help", 0, 1, false, UnitRun::Single, Check<CheckHelpArguments>, nullptr, RunHelp,
     {{"[COMMAND]", "print this text, or COMMAND's usage, options\nand an example (as COMMAND --help does)"}},
     "tavrinctl help save-set"},
};

}  // namespace

std::span<const ToolCommand> ToolCommands() { return kCommands; }

const ToolCommand* FindToolCommand(const std::string& name) {
    for (const ToolCommand& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}
