#include "platform/version.h"

#include "platform/build_info.h"

const char* ProgramVersion() { return kProgramVersion; }

const char* InstalledMarkFromProgramFolder() { return kInstalledMarkFromProgramFolder; }
