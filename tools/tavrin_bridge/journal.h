// The bridge's lines on standard error. Under systemd, when JOURNAL_STREAM
// names standard error, each line starts with its priority ("<3>" .. "<7>")
// for journald; otherwise (a terminal, a test, a file) lines are plain.
#pragma once

enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// One message, "tavrin_bridge: " and the text; a text of several lines gives
// each line the prefix.
void Say(Priority priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

// True when JOURNAL_STREAM's "DEV:INODE" is standard error's (decided once;
// with systemd's service notification: never in a build without it).
bool StderrIsJournal();
