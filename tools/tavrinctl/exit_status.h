// tavrinctl's exit statuses, in one table: the commands return them, the
// usage text lists them, and the manual page's EXIT STATUS section says the
// same.
#pragma once

enum ToolExit : int {
    kExitSuccess = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitRefused = 3,
};

struct ExitStatusRow {
    ToolExit status;
    const char* meaning;   // continuation lines start with '\n'
};

inline constexpr ExitStatusRow kExitStatusTable[] = {
    {kExitSuccess,
     "every exchange succeeded and all output was written\n"
     "(watch: it ran to its end, its rows say whether the\n"
     "unit answered; send: a reply came, 'E' included)"},
    {kExitFailure,
     "failure: no reply or a bad one, replies the unit sent\n"
     "unasked, a file or standard output that could not be\n"
     "read or written (the reason on standard error)"},
    {kExitUsage, "bad arguments"},
    {kExitRefused,
     "the unit refused a read, write or key (status 'E'):\n"
     "the refusal on standard error, the other codes as usual"},
};

// Two outcomes as one: a failure wins over a refusal, a refusal over success.
inline int WorseExit(int a, int b) {
    if (a == kExitFailure || b == kExitFailure) return kExitFailure;
    if (a == kExitRefused || b == kExitRefused) return kExitRefused;
    return a != kExitSuccess ? a : b;
}
