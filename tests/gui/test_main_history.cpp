// The signal history window and the event log of the desktop program, driven
// through the real windows against the simulated unit: the shortcut, the
// chart fed by the poll thread, a gap where the unit was silent, the series
// switches, recording to CSV under a comma-decimal locale, the chart as PNG,
// and every operator action in the events file (never a key).
#include "gui/test_main_support.h"
#include "gui/test_dialogs_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>
#include <cmath>
#include <sstream>

#include "app/signal_history.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/csv_recorder.h"
#include "params/ui/CHistoryChart.h"
#include "params/ui/CSignalHistoryDlg.h"
#include "platform/numbers.h"
#include "support/scoped_locale.h"
#include "ui/control_ids.h"

using namespace guitest;
using dlgtest::OnNextModal;
using dlgtest::TypeControlKey;
using namespace ids::signal_history;

namespace {

struct LoggedEvent {
    std::string time, name, detail;
};

std::vector<std::string> SplitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// The events file beside the settings file, line by line.
std::vector<LoggedEvent> EventFile(const Rig& rig) {
    std::string text;
    EXPECT_TRUE(ReadWholeFile(rig.folder.path + "/tavrin_rx_ctrl_events.log", text));
    std::vector<LoggedEvent> lines;
    for (const std::string& line : SplitOn(text, '\n')) {
        if (line.empty()) continue;
        const std::vector<std::string> f = SplitOn(line, '\t');
        EXPECT_EQ(f.size(), 3u) << line;
        if (f.size() != 3) continue;
        EXPECT_EQ(f[0].size(), 24u) << line;
        EXPECT_EQ(f[0].back(), 'Z') << line;
        lines.push_back({f[0], f[1], f[2]});
    }
    return lines;
}

std::vector<std::string> Details(const std::vector<LoggedEvent>& lines, const std::string& name) {
    std::vector<std::string> out;
    for (const LoggedEvent& l : lines)
        if (l.name == name) out.push_back(l.detail);
    return out;
}

// Samples in the history with the unit answering / not answering.
size_t Samples(CTavrin_rx_ctrl_v2Dlg& w, bool connected) {
    size_t n = 0;
    w.History().Read([&](const CSampleRing& ring) {
        for (size_t i = 0; i < ring.Size(); ++i) n += ring.At(i).connected == connected ? 1 : 0;
    });
    return n;
}

CSignalHistoryDlg* OpenHistory(CTavrin_rx_ctrl_v2Dlg& w) {
    // The shortcut belongs to the main window: it has to be the active one.
    w.show();
    QApplication::setActiveWindow(&w);
    QApplication::processEvents();
    TypeControlKey(&w, Qt::Key_H);
    QApplication::processEvents();
    return w.HistoryWindow();
}

std::vector<double> Values(const QCPGraph* graph) {
    std::vector<double> out;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) out.push_back(it->value);
    return out;
}

}  // namespace

TEST(MainHistory, CtrlHOpensTheWindowWithTheUnitsValuesAndItKeepsSamplesWhileClosed) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    // The menu entry and the toolbar button.
    QAction* action = w.CommandAction(ID_SIGNAL_HISTORY);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "Signal &history");
    EXPECT_EQ(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    EXPECT_TRUE(w.ToolBar()->actions().contains(action));
    EXPECT_FALSE(action->icon().isNull());
    EXPECT_EQ(w.HistoryWindow(), nullptr);

    CSignalHistoryDlg* dlg = OpenHistory(w);
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->isModal());
    EXPECT_EQ(dlg->windowTitle(), "Signal history");

    // A few poll cycles: the chart carries the values the unit sent.
    ASSERT_TRUE(SpinUntil([&] { return Samples(w, true) >= 3; }));
    dlg->Refresh(true);
    CHistoryChart* chart = dlg->Chart();
    const char* codes[kSeriesCount] = {"1snr", "1mer", "1cer", "1dnr", "1ina", "1inb", "1inc", "1ind"};
    float best = -1e9f;
    int bestInput = -1;
    for (int s = 0; s < kSeriesCount; ++s) {
        const std::vector<double> values = Values(chart->SeriesGraph(s));
        ASSERT_FALSE(values.empty()) << s;
        // Read with the '.' whatever the locale the suite runs under.
        const double sent = LeadingDouble(rig.unit->Value(codes[s]));
        EXPECT_NEAR(values.back(), sent, 1e-4) << codes[s];
        if (s < 4 && float(sent) > best) {
            best = float(sent);
            bestInput = s;
        }
    }
    EXPECT_FALSE(chart->BandGraph(kBandDemodLock, LockState::On)->data()->isEmpty());
    EXPECT_TRUE(chart->BandGraph(kBandDemodLock, LockState::Off)->data()->isEmpty());
    // The alignment readout: the best input and its SNR, in large digits.
    QLabel* readout = Ctl<QLabel>(dlg, kBestSnr);
    ASSERT_NE(readout, nullptr);
    EXPECT_EQ(readout->text(), QStringLiteral("%1  %2 dB").arg(QChar(u'A' + bestInput)).arg(double(best), 0, 'f', 1));
    EXPECT_GE(readout->font().pointSize(), 36);
    EXPECT_TRUE(Ctl<QLabel>(dlg, kPeakSnr)->text().startsWith("Peak "));

    // Closed, the window keeps its history; Ctrl+H brings back the same window.
    dlg->close();
    const size_t before = w.History().Size();
    ASSERT_TRUE(SpinUntil([&] { return w.History().Size() >= before + 3; }));
    EXPECT_EQ(OpenHistory(w), dlg);
    EXPECT_TRUE(dlg->isVisible());
    dlg->SetSpan(0);   // a minute: every sample its own column
    dlg->Refresh(true);
    EXPECT_GE(chart->SeriesGraph(0)->data()->size(), before + 3);
}

TEST(MainHistory, ASilentStretchIsAGapAndItsEventsAreLogged) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    CSignalHistoryDlg* dlg = OpenHistory(w);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return Samples(w, true) >= 3; }));
    rig.unit->SetFault(sim::Fault::Silence);
    ASSERT_TRUE(SpinUntil([&] { return Samples(w, false) >= 2; }));
    rig.unit->ClearFault();
    const size_t answered = Samples(w, true);
    ASSERT_TRUE(SpinUntil([&] { return Samples(w, true) >= answered + 3; }));
    dlg->SetSpan(0);
    dlg->Refresh(true);

    // Every line: values, one break where the unit was silent, values again.
    for (int s = 0; s < kSeriesCount; ++s) {
        const std::vector<double> values = Values(dlg->Chart()->SeriesGraph(s));
        const auto gap = std::find_if(values.begin(), values.end(), [](double v) { return std::isnan(v); });
        ASSERT_NE(gap, values.end()) << s;
        EXPECT_NE(gap, values.begin()) << s;
        EXPECT_TRUE(std::any_of(gap, values.end(), [](double v) { return !std::isnan(v); })) << s;
    }
    // The bands draw nothing there: an on-run ends before the silence and another starts after.
    const QCPGraph* on = dlg->Chart()->BandGraph(kBandDemodLock, LockState::On);
    int breaks = 0;
    for (auto it = on->data()->constBegin(); it != on->data()->constEnd(); ++it) breaks += std::isnan(it->value);
    EXPECT_GE(breaks, 2);

    // The events file and the window's list, newest first.
    const std::vector<LoggedEvent> events = EventFile(rig);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().name, "connected");
    EXPECT_EQ(events.front().detail, "COM1");
    EXPECT_EQ(Details(events, "connection-lost").size(), 1u);
    EXPECT_EQ(Details(events, "connection-back").size(), 1u);
    QTreeWidget* list = Ctl<QTreeWidget>(dlg, kEvents);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return list->topLevelItemCount() == int(events.size()); }));
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), events.back().name);
    EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), events.back().time);
    EXPECT_EQ(list->topLevelItem(list->topLevelItemCount() - 1)->text(1), "connected");
}

TEST(MainHistory, SeriesSwitchesSpansAndFollow) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSignalHistoryDlg* dlg = OpenHistory(w);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return Samples(w, true) >= 2; }));
    dlg->Refresh(true);
    CHistoryChart* chart = dlg->Chart();
    int64_t newest = 0;
    w.History().Read([&](const CSampleRing& ring) { newest = ring.Newest().timeMs; });
    const double key = KeyOfMs(newest);
    EXPECT_TRUE(chart->ValuesAt(key).contains("SNR A "));

    // SNR A off: its line and its value under the cursor go; the others stay.
    Ctl<QCheckBox>(dlg, kFirstSeries)->click();
    EXPECT_FALSE(chart->SeriesGraph(0)->visible());
    for (int s = 1; s < kSeriesCount; ++s) EXPECT_TRUE(chart->SeriesGraph(s)->visible()) << s;
    EXPECT_FALSE(chart->ValuesAt(key).contains("SNR A "));
    EXPECT_TRUE(chart->ValuesAt(key).contains("SNR B "));
    EXPECT_TRUE(chart->ValuesAt(key).contains("Level A "));
    Ctl<QCheckBox>(dlg, kFirstSeries + 4)->click();
    EXPECT_FALSE(chart->SeriesGraph(4)->visible());
    Ctl<QCheckBox>(dlg, kFirstSeries)->click();
    EXPECT_TRUE(chart->SeriesGraph(0)->visible());

    // Spans: following, the newest sample is at the right edge.
    for (int i = 0; i < int(CHistoryChart::kSpanSeconds.size()); ++i) {
        Ctl<QComboBox>(dlg, kSpan)->setCurrentIndex(i);
        dlg->Refresh(true);
        EXPECT_NEAR(chart->xAxis->range().size(), CHistoryChart::kSpanSeconds[size_t(i)], 1e-6) << i;
        w.History().Read([&](const CSampleRing& ring) { newest = ring.Newest().timeMs; });
        EXPECT_NEAR(chart->xAxis->range().upper, KeyOfMs(newest), 1.0) << i;
    }
    // A pan by the operator ends following: the chart stays where it was put.
    Ctl<QComboBox>(dlg, kSpan)->setCurrentIndex(0);
    QCheckBox* follow = Ctl<QCheckBox>(dlg, kFollow);
    ASSERT_TRUE(follow->isChecked());
    const QCPRange moved(chart->xAxis->range().lower - 120, chart->xAxis->range().upper - 120);
    chart->xAxis->setRange(moved);
    EXPECT_FALSE(follow->isChecked());
    EXPECT_FALSE(chart->Following());
    const size_t before = w.History().Size();
    ASSERT_TRUE(SpinUntil([&] { return w.History().Size() >= before + 2; }));
    dlg->Refresh(true);
    EXPECT_DOUBLE_EQ(chart->xAxis->range().upper, moved.upper);
    follow->click();
    dlg->Refresh(true);
    w.History().Read([&](const CSampleRing& ring) { newest = ring.Newest().timeMs; });
    EXPECT_NEAR(chart->xAxis->range().upper, KeyOfMs(newest), 1.0);
}

TEST(MainHistory, RecordToCsvWritesTheUnitsValuesWithPointDecimalsInACommaLocale) {
    testsupport::ScopedLocale locale(testsupport::kCommaLocale);
    ASSERT_TRUE(locale.Active());
    ASSERT_EQ(testsupport::ScopedLocale::PrintfOneAndAHalf(), "1,5");
    Rig rig(FastPolling());
    // Values with decimals, as the unit sends them.
    rig.unit->SetValue("1snr", "23.5");
    rig.unit->SetValue("1ina", "-61.25");
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSignalHistoryDlg* dlg = OpenHistory(w);
    ASSERT_NE(dlg, nullptr);
    QPushButton* record = Ctl<QPushButton>(dlg, kRecord);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->text(), QStringLiteral("Record to CSV\u2026"));

    const std::string path = rig.folder.File("survey.csv");
    rig.prompts.fileAnswers.push_back(path);
    record->click();
    ASSERT_EQ(rig.prompts.fileRequests.size(), 1u);
    EXPECT_TRUE(rig.prompts.fileRequests[0].save);
    EXPECT_EQ(rig.prompts.fileRequests[0].defaultExtension, "csv");
    EXPECT_EQ(record->text(), "Stop recording");
    EXPECT_TRUE(rig.Texts().empty());
    const size_t before = w.History().Size();
    ASSERT_TRUE(SpinUntil([&] { return w.History().Size() >= before + 3; }));
    record->click();
    EXPECT_EQ(record->text(), QStringLiteral("Record to CSV\u2026"));
    EXPECT_FALSE(w.History().IsRecording());

    std::string text;
    ASSERT_TRUE(ReadWholeFile(path, text));
    const std::vector<std::string> rows = SplitOn(text, '\n');
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(rows[0],
              "time_utc,connected,demod_lock,packet_errors,decoder_lock,snr_a_db,snr_b_db,snr_c_db,snr_d_db,"
              "level_a_dbm,level_b_dbm,level_c_dbm,level_d_dbm\r");
    EXPECT_TRUE(rows.back().empty()) << "the file ends with a complete row";
    for (size_t r = 1; r + 1 < rows.size(); ++r) {
        ASSERT_FALSE(rows[r].empty());
        EXPECT_EQ(rows[r].back(), '\r');
        const std::vector<std::string> cells = SplitOn(rows[r].substr(0, rows[r].size() - 1), ',');
        ASSERT_EQ(cells.size(), 13u) << rows[r];
        EXPECT_EQ(cells[0].size(), 24u);
        EXPECT_EQ(cells[0][10], 'T');
        EXPECT_EQ(cells[0].back(), 'Z');
        EXPECT_EQ(cells[1], "1");
        EXPECT_EQ(cells[5], "23.5");
        EXPECT_EQ(cells[9], "-61.25");
        EXPECT_EQ(cells[6], rig.unit->Value("1mer"));
    }
    // The chart read the same numbers whatever the locale.
    dlg->Refresh(true);
    EXPECT_DOUBLE_EQ(Values(dlg->Chart()->SeriesGraph(0)).back(), 23.5);
    EXPECT_DOUBLE_EQ(Values(dlg->Chart()->SeriesGraph(4)).back(), -61.25);
    const std::vector<LoggedEvent> events = EventFile(rig);
    EXPECT_EQ(Details(events, "recording-started"), std::vector<std::string>{path});
    ASSERT_EQ(Details(events, "recording-stopped").size(), 1u);
    EXPECT_EQ(Details(events, "recording-stopped")[0].rfind(path, 0), 0u);

    // A file that cannot be made: a message, no recording, no event.
    rig.prompts.fileAnswers.push_back(rig.folder.path + "/no-such-folder/x.csv");
    record->click();
    ASSERT_EQ(rig.Texts().size(), 1u);
    EXPECT_EQ(rig.Texts()[0].rfind("Unable to record to " + rig.folder.path + "/no-such-folder/x.csv", 0), 0u);
    EXPECT_EQ(record->text(), QStringLiteral("Record to CSV\u2026"));
    EXPECT_EQ(Details(EventFile(rig), "recording-started").size(), 1u);
}

TEST(MainHistory, SaveChartAsPngWritesThePicture) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSignalHistoryDlg* dlg = OpenHistory(w);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return Samples(w, true) >= 3; }));
    dlg->Refresh(true);
    const std::string path = rig.folder.File("chart.png");
    rig.prompts.fileAnswers.push_back(path);
    Ctl<QPushButton>(dlg, kSavePng)->click();
    ASSERT_EQ(rig.prompts.fileRequests.size(), 1u);
    EXPECT_EQ(rig.prompts.fileRequests[0].defaultExtension, "png");
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(path), "PNG"));
    EXPECT_EQ(image.size(), dlg->Chart()->size());
    EXPECT_TRUE(rig.Texts().empty());
    // A place that cannot take it says so.
    rig.prompts.fileAnswers.push_back(rig.folder.path + "/no-such-folder/chart.png");
    Ctl<QPushButton>(dlg, kSavePng)->click();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{"Unable to save the chart to " + rig.folder.path +
                                                    "/no-such-folder/chart.png"});
}

TEST(MainHistory, EveryOperatorActionLandsInTheEventFileOnlyAfterSuccessAndNeverAKey) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    CSimpleDemodDialog* page = w.SimplePage();
    // The poll thread's one cycle (its interval is ten minutes) is over: no poll
    // exchange meets the silences below.
    ASSERT_TRUE(SpinUntil([&] { return w.History().Size() >= 1; }));
    QApplication::processEvents();

    // A slot: after a refused store nothing is logged, after a good load it is.
    rig.unit->SetFault(sim::Fault::Silence);
    Ctl<QTabBar>(&w, 1000)->setCurrentIndex(6);
    rig.unit->ClearFault();
    // The silence cost the connection: once the window knows, the operator connects again.
    ASSERT_TRUE(SpinUntil([&] { return !w.UnitConnected(); }));
    Ctl<QPushButton>(&w, 1002)->click();
    ASSERT_TRUE(w.UnitConnected());
    Ctl<QTabBar>(&w, 1000)->setCurrentIndex(4);
    page->OnModeRadio(1006);
    const std::string file = rig.folder.File("one.cfg");
    rig.prompts.fileAnswers.push_back(file);
    Ctl<QPushButton>(page, 1003)->click();
    rig.prompts.fileAnswers.push_back(file);
    Ctl<QPushButton>(page, 1004)->click();
    const std::string set = rig.folder.File("all.cfg");
    rig.prompts.fileAnswers.push_back(set);
    Ctl<QPushButton>(&w, 1041)->click();
    rig.prompts.fileAnswers.push_back(set);
    Ctl<QPushButton>(&w, 1042)->click();
    OnNextModal([](QWidget* modal) {
        Ctl<QRadioButton>(modal, 1006)->click();
        Ctl<QPushButton>(modal, 1)->click();
    });
    w.RunCommand(ID_RESTORE_DEFAULTS);
    const QString key = QStringLiteral("0123456789abcdef0123456789ABCDEF");
    auto writeKey = [&] {
        OnNextModal([&](QWidget* modal) {
            Ctl<QComboBox>(modal, 1101)->setCurrentIndex(1);
            Ctl<QLineEdit>(modal, 1200)->setText(key);
            Ctl<QPushButton>(modal, 1)->click();
        });
        w.RunCommand(ID_WRITE_KEY);
    };
    writeKey();
    // A key the unit never took is not "written".
    rig.unit->SetFault(sim::Fault::Silence);
    writeKey();
    rig.unit->ClearFault();
    ASSERT_TRUE(SpinUntil([&] { return !w.UnitConnected(); }));
    Ctl<QPushButton>(&w, 1002)->click();   // Connect again on COM1
    EXPECT_TRUE(w.UnitConnected());
    // Only the refused store and the two set notices are shown.
    ASSERT_EQ(rig.Texts().size(), 3u) << testing::PrintToString(rig.Texts());
    EXPECT_EQ(rig.Texts()[0].rfind("Unable to save config ", 0), 0u);
    EXPECT_EQ(rig.Texts()[1], "Config set saved");
    EXPECT_EQ(rig.Texts()[2], "Config set loaded");

    const std::vector<LoggedEvent> events = EventFile(rig);
    EXPECT_EQ(Details(events, "connected"), (std::vector<std::string>{"COM1", "COM1", "COM1"}));
    EXPECT_EQ(Details(events, "slot-changed"), std::vector<std::string>{"Config 5"});
    EXPECT_EQ(Details(events, "mode-changed"), std::vector<std::string>{"DVBT"});
    EXPECT_EQ(Details(events, "config-file-saved"), std::vector<std::string>{file});
    EXPECT_EQ(Details(events, "config-file-loaded"), std::vector<std::string>{file});
    EXPECT_EQ(Details(events, "config-set-saved"), std::vector<std::string>{set});
    EXPECT_EQ(Details(events, "config-set-loaded"), std::vector<std::string>{set});
    ASSERT_EQ(Details(events, "defaults-restored").size(), 1u);
    EXPECT_FALSE(Details(events, "defaults-restored")[0].empty());
    EXPECT_EQ(Details(events, "key-written"), std::vector<std::string>{"AES128"});
    // No part of the key, in any case, anywhere in the file.
    std::string text;
    ASSERT_TRUE(ReadWholeFile(rig.folder.path + "/tavrin_rx_ctrl_events.log", text));
    for (const QString& piece : {key, key.toLower(), key.toUpper(), key.left(8), key.mid(16, 8)})
        EXPECT_EQ(text.find(piece.toStdString()), std::string::npos) << piece.toStdString();
}
