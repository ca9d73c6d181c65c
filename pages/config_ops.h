// Configuration files, configuration sets and restore defaults: the unit
// operations behind "Save config to file", "Load config from file", "Save
// config set", "Load config set" and "Restore defaults". The caller has already
// asked the operator (file dialog, downconverter dialog); these functions do
// the exchanges, tell the operator the outcome through the session's view and
// return whether the operation ran to its end.
#pragma once
#include <string>

#include "params/control_ids.h"

class CUnitSession;

// Saves the unit's configuration (1 record for a "K840" unit, 2 otherwise) to
// `path`. The file is built in memory and replaces any earlier file only when
// complete.
bool SaveConfigToFile(CUnitSession& session, const std::string& path);

// Sends the configuration(s) of `path` to the unit and reads everything back.
bool LoadConfigFromFile(CUnitSession& session, const std::string& path);

// Walks every slot (and, on a two-mode unit, both modes) and saves them all to
// `path`; ends with slot 1 loaded and "Config set saved".
bool SaveConfigSet(CUnitSession& session, const std::string& path);

// Sends every record of the set in `path` to its slot; ends with slot 1 loaded
// and "Config set loaded".
bool LoadConfigSet(CUnitSession& session, const std::string& path);

// One downconverter of the "Choose a downconverter type" dialog: its radio id,
// caption and the data of the three write requests sent into every slot.
struct DownconverterDefaults {
    int radioId;
    const char* caption;
    const char* loSide;       // 1los data
    const char* loFrequency;  // 1dco data (GHz)
    const char* inputFrequency;  // 1ipf data (GHz)
};
inline constexpr int kDownconverterChoiceCount = 12;
extern const DownconverterDefaults kDownconverters[kDownconverterChoiceCount];
inline constexpr int kDefaultDownconverterId = ids::restore_defaults::kUhf;

// The row of `radioId`, or null.
const DownconverterDefaults* FindDownconverter(int radioId);

// Restores the unit's factory defaults, fits downconverter `radioId` into
// every slot (both passes on a two-mode unit), loads slot 1 and reads it back.
// False (nothing sent) for an unknown radio id.
bool RestoreDefaults(CUnitSession& session, int radioId);
