#include "platform/program_arguments.h"

ProgramArguments::ProgramArguments(int argc, char** argv) : words_(argv, argv + argc) { Point(); }

void ProgramArguments::Point() {
    for (const std::string& w : words_) pointers_.push_back(w.c_str());
}
