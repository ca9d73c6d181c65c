// The command line shared by the exchange-rate benchmarks:
// [--seconds S] [--rounds R], each round measuring for S seconds.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

struct BenchArgs {
    double seconds = 1.0;
    int rounds = 5;
};

// False (after printing the usage of `program`) for a duration or count that is not positive.
inline bool ParseBenchArgs(int argc, char** argv, const char* program, BenchArgs& args) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--seconds") args.seconds = std::atof(argv[i + 1]);
        if (a == "--rounds") args.rounds = std::atoi(argv[i + 1]);
    }
    if (args.seconds > 0 && args.rounds > 0) return true;
    std::fprintf(stderr, "usage: %s [--seconds S] [--rounds R]\n", program);
    return false;
}
