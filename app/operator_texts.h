// Texts shown to the operator by the core and by the windows alike, written once.
#pragma once

// Error box when an operation needs the unit and there is no connection.
inline constexpr const char* kTextNoConnection = "No connection currently";

// Error boxes when a configuration file cannot be read or written.
inline constexpr const char* kTextCannotReadFile = "Unable to open file for reading";
inline constexpr const char* kTextCannotWriteFile = "Unable to open file for writing";
