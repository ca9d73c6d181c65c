// Descriptors 0, 1 and 2 as a program finds them at start. A program started
// with one of them closed would hand that number to the first file, socket or
// serial port it opens, and its own output would then go there (to the unit's
// line, a client's socket). Every program calls this first thing in main().
#pragma once

// Opens /dev/null on each of descriptors 0 to 2 that is closed; false when
// that cannot be done (the program should then stop).
bool OpenMissingStandardStreams();
