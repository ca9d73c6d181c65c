// Texts shown to the operator by the core and by the windows alike, written once.
#pragma once

// Error box when an operation needs the unit and there is no connection.
inline constexpr const char* kTextNoConnection = "No connection currently";
