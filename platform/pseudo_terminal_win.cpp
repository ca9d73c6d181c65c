// Windows has no pseudo-terminals: the simulated unit offers TCP alone there.
#include "platform/pseudo_terminal.h"

bool PseudoTerminal::Open(std::string& error) {
    error = "no pseudo-terminal on Windows: use the TCP listener";
    return false;
}

void PseudoTerminal::Close() {}
long PseudoTerminal::Read(void*, size_t) { return -1; }
long PseudoTerminal::Write(const void*, size_t) { return -1; }

bool PlaceLink(const std::string&, const std::string&, std::string& error) {
    error = "no symbolic links to terminals on Windows";
    return false;
}

void RemoveLinkTo(const std::string&, const std::string&) {}
