// tavrinctl's commands, one row each: the name, the arguments it takes, its
// lines in the usage text, the check of its arguments and what runs it. The
// command line parser, the dispatch in main() and the usage text all read
// this table.
#pragma once
#include <cstdio>
#include <span>
#include <string>

#include "tools/tavrinctl/args.h"

class ToolContext;

// One form of a command in the usage text: its arguments and what it does
// (continuation lines start with '\n').
struct CommandForm {
    const char* arguments = nullptr;
    const char* help = nullptr;
};

// How a command's exchanges are watched for replies the unit sends unasked.
enum class UnitRun {
    Single,        // one exchange, or a cycle at a time (nothing to compare)
    Reads,         // reads only: made once more when one came, then a failure
    Changes,       // changes the unit: a failure when one came
    SelfChecked,   // the operation checks where it matters (before a file is written)
};

struct ToolCommand {
    const char* name;
    int minArgs;
    int maxArgs;    // -1: no limit
    bool json;      // prints one JSON document with --json
    UnitRun unitRun;
    // Checks the arguments before anything is opened or sent (and takes what
    // they leave to standard input): "" when they are fine, else the reason
    // (exit status 2). nullptr: nothing to check.
    std::string (*check)(ToolOptions& options);
    // Exactly one of the two runs the command: with a connected unit, or
    // without one.
    int (*run)(ToolContext& tool);
    int (*runWithoutUnit)(const ToolOptions& options, FILE* out, FILE* err);
    CommandForm forms[2];
    const char* example;   // a whole command line, for the command's help
};

std::span<const ToolCommand> ToolCommands();
// nullptr when there is no such command.
const ToolCommand* FindToolCommand(const std::string& name);
