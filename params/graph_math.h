// The arithmetic of the SNR/level graphs, shared by the graph window and tests.
#pragma once
#include <cstdint>

inline constexpr float kLevelMin = -130.0f;
inline constexpr float kLevelMax = 0.0f;
inline constexpr float kInitialSnrThreshold = 5.0f;
inline constexpr int kGraphSteps = 3;

// SNR at which the SNR bar starts, from the GetParamIndex results for 1wid,
// 1mod and 1fec (0xFFFF when unknown).
float SnrThreshold(uint32_t bandwidthIndex, uint32_t modulationIndex, uint32_t fecIndex);
// A level kept within -130..0.
float ClampLevel(float level);
// Bar heights in steps, 0 to 3.
int LevelBarSteps(float level);
int SnrBarSteps(float snr, float threshold);

// Which graph channel a sample row feeds: 1snr/1mer/1cer/1dnr are SNR channels
// 0..3, 1ina..1ind level channels 0..3.
enum class GraphSampleKind { None, Snr, Level };
struct GraphChannel {
    GraphSampleKind kind = GraphSampleKind::None;
    int channel = -1;
};
GraphChannel GraphChannelFromCode(const char* code);
