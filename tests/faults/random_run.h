// Seeds and lengths of the random fault runs: TAVRIN_SEED replays a run,
// TAVRIN_FAULT_EXCHANGES and TAVRIN_FAULT_OPERATIONS make it longer.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sim/sim_unit.h"
#include "sim/sim_table.h"

namespace randomrun {

// A positive whole number from the environment, or `fallback`.
inline uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    return (end && *end == '\0' && v > 0) ? uint64_t(v) : fallback;
}

// TAVRIN_SEED when set, otherwise a fresh seed for every run.
inline uint32_t Seed() {
    const uint64_t fixed = EnvNumber("TAVRIN_SEED", 0);
    if (fixed != 0) return uint32_t(fixed);
    std::random_device device;
    return device() | 1u;
}

// The codes whose oracle values name them: reception values and settings.
inline std::vector<std::string> TellingCodes() {
    std::vector<std::string> out;
    for (const sim::CodeRow* r = sim::AllCodes(); r->code; ++r)
        if (r->store != sim::Store::Unit && sim::OracleTells(r->code)) out.push_back(r->code);
    return out;
}

inline std::string Replay(uint32_t seed) {
    return "seed " + std::to_string(seed) + " (replay with TAVRIN_SEED=" + std::to_string(seed) + ")";
}

}  // namespace randomrun
