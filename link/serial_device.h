// A serial device named by its path rather than by its COM number.
#pragma once
#include <string>

#include "link/result_codes.h"

class CFerritRemoteControl;

// Opens a tty by its path through the link's COM port naming: a private
// program folder whose ports/COM1 points at the device is used for the open
// and removed again; the program folder and its mode are then restored.
ResultCode OpenSerialDevice(CFerritRemoteControl& link, const std::string& devicePath);
