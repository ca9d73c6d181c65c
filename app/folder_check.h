// The folders the desktop program writes into, looked at once at its start:
// one that cannot be written loses settings or logs, and the operator is told
// which and why (the program goes on with what works).
#pragma once
#include <string>
#include <vector>

struct FolderProblem {
    std::string folder;   // "" when there is none at all (no home folder)
    std::string keeps;    // what it would keep ("the settings", ...)
    std::string reason;   // the system's reason
};

// The settings folder, and the folder of the transaction and event logs, each
// made when missing and tried with a file of its own.
std::vector<FolderProblem> UnwritableFolders();

// The operator's text for `problems` ("" when there are none).
std::string FolderProblemsText(const std::vector<FolderProblem>& problems);
