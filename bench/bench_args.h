// The command line shared by the exchange-rate benchmarks:
// [--seconds S] [--rounds R], each round measuring for S seconds.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <memory>
#include <string>

#include "sim/sim_unit.h"

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

// A loopback address of its own (127.x.y.z), so that runs beside each other
// and beside the tests never share a listener.
inline std::string RandomBenchAddress() {
    std::mt19937 random(unsigned(::getpid()) ^
                        unsigned(std::chrono::steady_clock::now().time_since_epoch().count()));
    return "127." + std::to_string(1 + random() % 250) + "." + std::to_string(random() % 250) + "." +
           std::to_string(2 + random() % 250);
}

// A fresh folder /tmp/PREFIX.XXXXXX with an empty "ports" folder in it (for
// the simulated unit's COM1 link); "" when it cannot be made.
inline std::string MakeBenchFolder(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + ".XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    ::mkdir((pattern + "/ports").c_str(), 0700);
    return pattern;
}

// A simulated unit with its COM1 link in FOLDER/ports (and a TCP listener on
// `tcpAddress` when given), its values steady; null (after printing why) when
// it cannot start.
inline std::unique_ptr<sim::SimUnit> StartBenchUnit(const std::string& folder, const std::string& tcpAddress = {}) {
    sim::SimOptions options;
    options.ptyLinkPath = folder + "/ports/COM1";
    if (!tcpAddress.empty()) options.tcpAddress = tcpAddress;
    options.drift = false;
    auto unit = std::make_unique<sim::SimUnit>(options);
    std::string error;
    if (!unit->Start(&error)) {
        std::fprintf(stderr, "simulated unit: %s\n", error.c_str());
        return nullptr;
    }
    return unit;
}
