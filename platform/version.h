// What the build fixed: the programs' version and where an installed tree
// keeps its mark.
#pragma once

// The one version of the programs, set in the top CMakeLists.txt ("2.3.5").
const char* ProgramVersion();

// Relative to the folder of an installed executable: the file whose presence
// says the program runs installed.
const char* InstalledMarkFromProgramFolder();
