// Bar heights and thresholds of the SNR/level graphs.
#include "params/graph_math.h"

#include <cmath>
#include <cstring>

#include "params/poll_sample.h"

float SnrThreshold(uint32_t bandwidthIndex, uint32_t modulationIndex, uint32_t fecIndex) {
    if (bandwidthIndex <= 2) return 5.0f;
    if (modulationIndex != 0) return 10.0f;
    return fecIndex == 1 ? 5.0f : 3.0f;
}

float ClampLevel(float level) {
    if (std::isnan(level)) return kLevelMin;
    if (level > kLevelMax) return kLevelMax;
    if (level < kLevelMin) return kLevelMin;
    return level;
}

int LevelBarSteps(float level) {
    if (level < -90.0f || level == 0.0f) return 0;
    if (level >= -10.0f) return kGraphSteps;
    const int steps = static_cast<int>((static_cast<double>(level) + 90.0) / 40.0 + 1.0);
    return steps < 0 ? 0 : (steps > kGraphSteps ? kGraphSteps : steps);
}

int SnrBarSteps(float snr, float threshold) {
    if (!(snr >= threshold)) return 0;  // below the threshold (or not a number)
    if (snr > 18.0f) return kGraphSteps;
    const int d = static_cast<int>((18.0 - static_cast<double>(threshold)) * 0.5);
    if (d <= 0) return kGraphSteps;
    const int steps = static_cast<int>((static_cast<double>(snr) - threshold) / d + 1.0);
    return steps > kGraphSteps ? kGraphSteps : steps;
}

GraphChannel GraphChannelFromCode(const char* code) {
    if (code == nullptr || std::strlen(code) != 4) return {};
    const int column = SampleColumnOfCode(code);
    if (column >= kColSnrA && column <= kColSnrD) return {GraphSampleKind::Snr, column - kColSnrA};
    if (column >= kColLevelA && column <= kColLevelD) return {GraphSampleKind::Level, column - kColLevelA};
    return {};
}
