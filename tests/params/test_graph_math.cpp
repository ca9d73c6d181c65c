// Thresholds and bar heights of the status graphs.
#include <gtest/gtest.h>

#include "params/graph_math.h"
#include "params/param_table.h"

namespace {

TEST(GraphMath, LevelBarsAndClamping) {
    EXPECT_EQ(LevelBarSteps(-95.0f), 0);
    EXPECT_EQ(LevelBarSteps(-90.0f), 1);
    EXPECT_EQ(LevelBarSteps(-60.0f), 1);
    EXPECT_EQ(LevelBarSteps(-30.0f), 2);
    EXPECT_EQ(LevelBarSteps(-10.5f), 2);
    EXPECT_EQ(LevelBarSteps(-10.0f), 3);
    EXPECT_EQ(LevelBarSteps(-5.0f), 3);
    EXPECT_EQ(LevelBarSteps(0.0f), 0);
    EXPECT_FLOAT_EQ(ClampLevel(12.0f), 0.0f);
    EXPECT_EQ(LevelBarSteps(ClampLevel(12.0f)), 0);
    EXPECT_FLOAT_EQ(ClampLevel(-150.0f), -130.0f);
    EXPECT_FLOAT_EQ(ClampLevel(-42.5f), -42.5f);
}

TEST(GraphMath, SnrBarsForEachThreshold) {
    EXPECT_EQ(SnrBarSteps(4.9f, 5.0f), 0);
    EXPECT_EQ(SnrBarSteps(5.0f, 5.0f), 1);
    EXPECT_EQ(SnrBarSteps(10.9f, 5.0f), 1);
    EXPECT_EQ(SnrBarSteps(11.0f, 5.0f), 2);
    EXPECT_EQ(SnrBarSteps(17.0f, 5.0f), 3);
    EXPECT_EQ(SnrBarSteps(18.0f, 5.0f), 3);
    EXPECT_EQ(SnrBarSteps(25.0f, 5.0f), 3);
    EXPECT_EQ(SnrBarSteps(9.9f, 3.0f), 1);
    EXPECT_EQ(SnrBarSteps(10.0f, 3.0f), 2);
    EXPECT_EQ(SnrBarSteps(17.0f, 3.0f), 3);
    EXPECT_EQ(SnrBarSteps(13.9f, 10.0f), 1);
    EXPECT_EQ(SnrBarSteps(14.0f, 10.0f), 2);
    EXPECT_EQ(SnrBarSteps(18.0f, 10.0f), 3);
    EXPECT_EQ(SnrBarSteps(0.0f, 5.0f), 0);  // before any sample
    EXPECT_EQ(SnrBarSteps(17.5f, 17.0f), 3);  // a threshold near the top cannot divide by zero
}

TEST(GraphMath, ThresholdFromIndexes) {
    for (uint32_t bw : {0u, 1u, 2u}) EXPECT_FLOAT_EQ(SnrThreshold(bw, 2, 3), 5.0f);
    EXPECT_FLOAT_EQ(SnrThreshold(kNoParamIndex, 0, 1), 5.0f);
    EXPECT_FLOAT_EQ(SnrThreshold(kNoParamIndex, 0, 0), 3.0f);
    EXPECT_FLOAT_EQ(SnrThreshold(kNoParamIndex, 0, kNoParamIndex), 3.0f);
    EXPECT_FLOAT_EQ(SnrThreshold(kNoParamIndex, kNoParamIndex, 1), 10.0f);
    EXPECT_FLOAT_EQ(SnrThreshold(3, 1, 1), 10.0f);
}

TEST(GraphMath, ChannelFromCode) {
    const char* snr[] = {"1snr", "1mer", "1cer", "1dnr"};
    const char* level[] = {"1ina", "1inb", "1inc", "1ind"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(GraphChannelFromCode(snr[i]).kind, GraphSampleKind::Snr);
        EXPECT_EQ(GraphChannelFromCode(snr[i]).channel, i);
        EXPECT_EQ(GraphChannelFromCode(level[i]).kind, GraphSampleKind::Level);
        EXPECT_EQ(GraphChannelFromCode(level[i]).channel, i);
    }
    EXPECT_EQ(GraphChannelFromCode("1ine").kind, GraphSampleKind::None);
    EXPECT_EQ(GraphChannelFromCode("1ipf").kind, GraphSampleKind::None);
    EXPECT_EQ(GraphChannelFromCode(nullptr).kind, GraphSampleKind::None);
    // The graph lists' own rows feed their channels in order.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(GraphChannelFromCode(SnrGraphList[i].code).channel, i);
        EXPECT_EQ(GraphChannelFromCode(LevelGraphList[i].code).channel, i);
    }
}

}  // namespace
