// Runs a command with a unit, watching its exchanges for replies the unit
// sends unasked (UnitRun in the command table says how).
#pragma once

struct ToolCommand;
class ToolContext;

// The command's exit status; 1 with a message when the unit sent unrequested
// replies (a run of reads is made once more first, its output held back until
// it is known to be whole).
int RunUnitCommand(const ToolCommand& command, ToolContext& tool);
