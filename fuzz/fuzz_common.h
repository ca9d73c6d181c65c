// Shared by the fuzz targets: invariant checks that stop the run, and the seed
// writer. A target run with TAVRIN_FUZZ_WRITE_SEEDS=<folder> writes its seed
// inputs (made by the program's own code: real request and reply frames, real
// settings and configuration files) into that folder and exits; fuzz/run.sh
// uses this to refresh fuzz/corpus/<target>/.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

// An input that breaks a rule of the code under test: report it and let the
// fuzzer record the input as a crash.
#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

using SeedList = std::vector<std::pair<std::string, std::string>>;  // name, bytes

// Each target defines its seeds.
SeedList FuzzSeeds();

inline std::string ByteString(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(char(uint8_t(b)));
    return s;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* folder = std::getenv("TAVRIN_FUZZ_WRITE_SEEDS");
    if (!folder || !*folder) return 0;
    ::mkdir(folder, 0755);
    int written = 0;
    for (const auto& [name, bytes] : FuzzSeeds()) {
        const std::string path = std::string(folder) + "/" + name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
        ++written;
    }
    std::fprintf(stderr, "%d seeds written to %s\n", written, folder);
    std::exit(0);
}
