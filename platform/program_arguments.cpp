#include "platform/program_arguments.h"

ProgramArguments::ProgramArguments(int argc, char** argv) : words_(argv, argv + argc) { Point(); }
