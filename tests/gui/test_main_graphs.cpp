// The status graphs: bar heights and thresholds as drawn, and the samples the
// simple page feeds them.
#include "gui/test_main_support.h"

#include <QImage>

#include "pages/ui/CSimpleDemodDialog.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "params/ui/CStatusGraphs.h"

using namespace guitest;

namespace {
const QRect kClient(0, 0, 300, 200);

int LevelSteps(CStatusGraphs& g, float level) {
    g.SetLevel(level, 0);
    return g.ComputeBars(0, kClient).levelSteps;
}
int SnrSteps(CStatusGraphs& g, float snr, uint32_t wid, uint32_t mod, uint32_t fec) {
    g.SetSnr(snr, wid, mod, fec, 1);
    return g.ComputeBars(1, kClient).snrSteps;
}
}  // namespace

TEST(StatusGraphs, LevelBarsAndStoredLevels) {
    CStatusGraphs g(nullptr, 4);
    EXPECT_EQ(LevelSteps(g, -95.0f), 0);
    EXPECT_EQ(g.ComputeBars(0, kClient).levelText.toStdString(), "-95.0");
    EXPECT_EQ(LevelSteps(g, -60.0f), 1);
    EXPECT_EQ(LevelSteps(g, -30.0f), 2);
    EXPECT_EQ(LevelSteps(g, -10.0f), 3);
    EXPECT_EQ(LevelSteps(g, -5.0f), 3);
    EXPECT_EQ(LevelSteps(g, 12.0f), 0);
    EXPECT_EQ(g.Level(0), 0.0f);
    EXPECT_EQ(g.ComputeBars(0, kClient).levelText.toStdString(), "0.0");
    g.SetLevel(-150.0f, 0);
    EXPECT_EQ(g.Level(0), -130.0f);
    // A channel past the count is ignored.
    g.SetLevel(-20.0f, 4);
    EXPECT_EQ(g.Level(3), 0.0f);
}

TEST(StatusGraphs, SnrThresholdsAndBars) {
    CStatusGraphs g(nullptr, 4);
    // Known bandwidth: threshold 5.
    EXPECT_EQ(SnrSteps(g, 4.9f, 0, 0, 0), 0);
    EXPECT_EQ(g.Threshold(), 5.0f);
    EXPECT_EQ(SnrSteps(g, 5.0f, 1, 0, 0), 1);
    EXPECT_EQ(SnrSteps(g, 10.9f, 2, 0, 0), 1);
    EXPECT_EQ(SnrSteps(g, 11.0f, 2, 0, 0), 2);
    EXPECT_EQ(SnrSteps(g, 17.0f, 2, 0, 0), 3);
    EXPECT_EQ(SnrSteps(g, 25.0f, 2, 0, 0), 3);
    // Bandwidth unknown, modulation 0, FEC 0: threshold 3, d = 7.
    EXPECT_EQ(SnrSteps(g, 9.9f, 0xFFFF, 0, 0), 1);
    EXPECT_EQ(g.Threshold(), 3.0f);
    EXPECT_EQ(SnrSteps(g, 10.0f, 0xFFFF, 0, 0), 2);
    EXPECT_EQ(SnrSteps(g, 17.0f, 0xFFFF, 0, 0), 3);
    // FEC 1 gives 5 again; an unknown modulation 10 (d = 4).
    SnrSteps(g, 9.0f, 0xFFFF, 0, 1);
    EXPECT_EQ(g.Threshold(), 5.0f);
    EXPECT_EQ(SnrSteps(g, 13.9f, 0xFFFF, 0xFFFF, 0), 1);
    EXPECT_EQ(g.Threshold(), 10.0f);
    EXPECT_EQ(SnrSteps(g, 14.0f, 0xFFFF, 0xFFFF, 0), 2);
    EXPECT_EQ(SnrSteps(g, 18.0f, 0xFFFF, 0xFFFF, 0), 3);
}

TEST(StatusGraphs, BarsAreDrawnWhereComputed) {
    CStatusGraphs g(nullptr, 4);
    g.resize(300, 200);
    // Before any sample: no bar, every value 0.0.
    for (int i = 0; i < 4; ++i) {
        const CStatusGraphs::Bars b = g.ComputeBars(i, kClient);
        EXPECT_TRUE(b.level.isEmpty());
        EXPECT_TRUE(b.snr.isEmpty());
        EXPECT_EQ(b.snrText.toStdString(), "0.0");
    }
    g.SetLevel(-30.0f, 2);            // two steps
    g.SetSnr(25.0f, 0, 0, 0, 3);      // three steps
    const QImage image = g.grab().toImage();
    const CStatusGraphs::Bars c = g.ComputeBars(2, kClient);
    const CStatusGraphs::Bars d = g.ComputeBars(3, kClient);
    // Baseline 170, top line 15, step 51: a two-step bar is 102 pixels high.
    EXPECT_EQ(c.level.height(), 102);
    EXPECT_EQ(d.snr.height(), 153);
    EXPECT_EQ(image.pixelColor(c.level.center()), QColor(0, 0, 255));      // level fill
    EXPECT_EQ(image.pixelColor(d.snr.center()), QColor(0, 0, 128));        // SNR fill
    EXPECT_EQ(image.pixelColor(c.level.left(), c.level.center().y()), QColor(0, 255, 0));  // outline
    // Column A has no bars: black above its baseline.
    const CStatusGraphs::Bars a = g.ComputeBars(0, kClient);
    EXPECT_TRUE(a.level.isEmpty());
    EXPECT_EQ(image.pixelColor(35 + 16, 120), QColor(0, 0, 0));
}

TEST(StatusGraphs, TheSimplePageFeedsSamplesFromGraphRows) {
    RigOptions options;
    options.settings = [](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 150;
        s.PollingEnabled = 0;
        s.PollIntervalMs = 600000;
        s.AppTitle = kDefaultAppTitle;
    };
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    QApplication::processEvents();
    const ParamEntry* snrB = FindParam(SnrGraphList, "1mer");
    const ParamEntry* levelD = FindParam(LevelGraphList, "1ind");
    ASSERT_TRUE(snrB && levelD);
    ParamValue v;
    v.has = true;
    v.text = "12.5";
    StoreParamValue(w.Unit(), *snrB, v);
    v.text = "-61.5";
    StoreParamValue(w.Unit(), *levelD, v);
    // As the poll thread does it: posted to the main window, passed on to the page.
    w.WindowEvents().GraphSample(*snrB);
    w.WindowEvents().GraphSample(*levelD);
    ASSERT_TRUE(SpinUntil([&] { return page->Graphs()->Level(3) == -61.5f; }));
    EXPECT_EQ(page->Graphs()->Snr(1), 12.5f);
    // The narrowband bandwidth row is known: threshold 5.
    ASSERT_NE(GetParamIndex(w.Unit(), NarrowbandDemodTable, "1wid"), kNoParamIndex);
    EXPECT_EQ(page->Graphs()->Threshold(), 5.0f);
}
