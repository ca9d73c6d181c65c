// Where the program keeps its files (Linux names below; on Windows the
// settings and the COM port aliases are under %APPDATA%\tavrin_rx_ctrl\ and the
// logs under %LOCALAPPDATA%\tavrin_rx_ctrl\). A portable copy (a build folder, or any
// folder the program can write) keeps everything in the program folder, as it
// always has. An installed copy (a tree made by the install step, which marks
// it, or a program folder the user cannot write) never writes into that tree:
//   settings          $XDG_CONFIG_HOME/tavrin_rx_ctrl/   (~/.config/tavrin_rx_ctrl/)
//   COM port links    $XDG_CONFIG_HOME/tavrin_rx_ctrl/ports/
//   logs              $XDG_STATE_HOME/tavrin_rx_ctrl/    (~/.local/state/tavrin_rx_ctrl/)
// An unset, empty or relative XDG variable is ignored (the default applies).
#pragma once
#include <string>

// The event log's file name, beside the transaction log.
inline constexpr const char* kEventLogFileName = "tavrin_rx_ctrl_events.log";
// The folder name under the user's configuration and state folders.
inline constexpr const char* kUserFolderName = "tavrin_rx_ctrl";

// Whether the program keeps its files in the user's folders: the mode given
// to SetProgramFolder, or, when that is Detect, whether the program folder
// carries the installed tree's mark or cannot be written (access(2): root can
// write any folder of a writable file system, so for root only the mark and a
// read-only file system count).
bool RunsInstalled();

// The folders below are computed anew on each call from the program folder
// and the environment; none of them is created here. In an installed copy
// they are empty when the user has no home folder (no HOME, no password entry):
// callers then write nothing.
std::string SettingsFolder();   // the settings file
std::string StateFolder();      // the transaction log and the event log
std::string PortsFolder();      // COM port links "COMn"
std::string EventLogFilePath(); // StateFolder() + "/tavrin_rx_ctrl_events.log"
std::string HomeFolder();       // $HOME, else the password entry's; "" if neither (Windows: the profile)
// The system's base folders for the user's settings and state: Linux
// $XDG_CONFIG_HOME (~/.config) and $XDG_STATE_HOME (~/.local/state); Windows
// %APPDATA% and %LOCALAPPDATA% (SHGetKnownFolderPath). "" when there is none.
std::string UserSettingsBase();
std::string UserStateBase();
// Whether this user may create files in `folder`.
bool FolderWritable(const std::string& folder);

// SettingsFolder() and StateFolder(), created first (0700) when the program
// runs installed; "" when there is none or it cannot be made. A portable
// program folder is used as it is.
std::string EnsureSettingsFolder();
std::string EnsureStateFolder();

// Creates `folder` and any missing parents with mode 0700 (the folders the
// program makes for the user are private). True when it exists as a folder.
bool MakePrivateFolder(const std::string& folder);
