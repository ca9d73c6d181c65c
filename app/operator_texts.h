// Texts shown to the operator by the core and by the windows alike, written once.
#pragma once

// Error box when an operation needs the unit and there is no connection.
inline constexpr const char* kTextNoConnection = "No connection currently";

// Notice when the unit that answers again is another unit than the one the
// pages were read from (its model or serial number differ): model and serial
// number of the unit before, then of the one now.
inline constexpr const char* kTextAnotherUnit =
    "Another unit answers: model %s, serial number %s before; model %s, serial number %s now. "
    "Its settings are read afresh; nothing has been sent to it.";

// Error boxes when a configuration file cannot be read or written.
inline constexpr const char* kTextCannotReadFile = "Unable to open file for reading";
inline constexpr const char* kTextCannotWriteFile = "Unable to open file for writing";
