// Reception values that wander slowly, so that a screen fed by the unit looks alive.
#include <algorithm>

#include "platform/numbers.h"
#include "sim/sim_state.h"

namespace sim {
namespace {

struct Wander {
    const char* code;
    double centre, step, low, high;
    int decimals, width;   // "%0<width>.<decimals>f"
};

const Wander kWander[] = {
    {"1snr", 18.5, 0.2, 2.0, 30.0, 1, 0},   {"1mer", 17.9, 0.2, 2.0, 30.0, 1, 0},
    {"1cer", 12.1, 0.2, 2.0, 30.0, 1, 0},   {"1dnr", 11.4, 0.2, 2.0, 30.0, 1, 0},
    {"1ina", -45.6, 0.3, -90.0, -20.0, 1, 0}, {"1inb", -47.2, 0.3, -90.0, -20.0, 1, 0},
    {"1inc", -60.3, 0.3, -90.0, -20.0, 1, 0}, {"1ind", -61.0, 0.3, -90.0, -20.0, 1, 0},
    {"1pre", 12.5, 0.5, 0.0, 999.0, 3, 10},
};

// A value as the unit prints it: fixed decimals, zeros in front up to `width`.
std::string Format(double v, int decimals, int width) {
    std::string text = FormatFixed(v, decimals);
    const size_t digitsAt = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (text.size() < size_t(width)) text.insert(digitsAt, size_t(width) - text.size(), '0');
    return text;
}

}  // namespace

void SimUnit::State::DriftLocked(const std::string& code) {
    if (!options.drift) return;
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (const Wander& w : kWander) {
        if (code != w.code) continue;
        const double now = LeadingDouble(live[code]);
        // A random step with a pull back towards the centre.
        double next = now + w.step * unit(rng_) + 0.05 * (w.centre - now);
        next = std::clamp(next, w.low, w.high);
        live[code] = Format(next, w.decimals, w.width);
        return;
    }
    // Lock follows input A's SNR; a weak signal loses it. Errors follow the lock.
    const bool locked = LeadingDouble(live["1snr"]) >= 5.0;
    if (code == "1loc" || code == "eloc") {
        live[code].assign(1, locked ? '1' : '0');
    } else if (code == "1pkt") {
        std::uniform_int_distribution<int> chance(0, 99);
        int errors = 0;
        if (!locked) {
            errors = 100 + chance(rng_) * 40;
        } else if (chance(rng_) < 5) {
            errors = 1 + chance(rng_) % 20;
        }
        live[code] = Format(errors, 0, 6);
    }
}

}  // namespace sim
