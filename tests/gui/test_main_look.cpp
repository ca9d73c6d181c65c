// The small windows of the main window as laid out on screen: texts whole,
// nothing clipped. TAVRIN_SHOTS=DIR keeps a picture of each.
#include "gui/test_main_support.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/ui/CAboutDlg.h"
#include "params/ui/CHistoryChart.h"
#include "params/ui/CSignalHistoryDlg.h"
#include "ui/theme_colours.h"
#include <QAction>
#include <QTabBar>
#include <QPainter>
#include <QToolBar>
#include "ui/CPleaseWaitDialog.h"
#include "link/ui/CConnectDialog.h"

using namespace guitest;

namespace {
// Every label and button of `w` is at least as large as its text needs.
void ExpectNothingClipped(QWidget* w) {
    w->show();
    QApplication::processEvents();
    for (QLabel* l : w->findChildren<QLabel*>()) {
        if (!l->isVisible() || l->text().isEmpty()) continue;
        EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
        EXPECT_GE(l->height(), l->sizeHint().height()) << l->text().toStdString();
        EXPECT_TRUE(w->rect().contains(l->geometry())) << l->text().toStdString();
    }
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisible()) continue;
        EXPECT_GE(b->width(), b->minimumSizeHint().width()) << b->text().toStdString();
    }
}

// A dark desktop's palette: light text on dark grey.
QPalette DarkPalette() {
    QPalette p(QColor(230, 230, 230), QColor(45, 45, 48), QColor(90, 90, 90), QColor(20, 20, 20), QColor(70, 70, 70),
               QColor(230, 230, 230), QColor(255, 255, 255), QColor(30, 30, 32), QColor(45, 45, 48));
    p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    return p;
}

// What a widget's text is drawn on: the nearest window or filled background.
QColor BackgroundOf(const QWidget* w) {
    while (!w->isWindow() && !w->autoFillBackground()) w = w->parentWidget();
    return w->palette().color(w->backgroundRole());
}

// Every label, check box and radio button text of `top`, and the tabs' texts, read on their background.
void ExpectTextsReadable(QWidget* top, const char* palette) {
    for (QWidget* w : top->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(w);
        if (!w->isVisible() || (label ? label->text().trimmed().isEmpty() : !qobject_cast<QAbstractButton*>(w)) ||
            qobject_cast<QPushButton*>(w) || w->inherits("QToolButton"))
            continue;
        EXPECT_GE(ContrastRatio(w->palette().color(QPalette::Active, w->foregroundRole()), BackgroundOf(w)),
                  kTextContrast) << palette << " " << w->objectName().toStdString();
    }
    for (QTabBar* tabs : top->findChildren<QTabBar*>())
        for (int i = 0; i < tabs->count(); ++i)
            EXPECT_GE(ContrastRatio(tabs->tabTextColor(i), tabs->palette().color(QPalette::Window)), kTextContrast)
                << palette << " tab " << i;
}

// Pixels of an icon that stand out from `background` as marks should.
int VisiblePixels(const QIcon& icon, const QColor& background) {
    QImage image(16, 15, QImage::Format_RGB32);
    image.fill(background);
    QPainter(&image).drawPixmap(0, 0, icon.pixmap(QSize(16, 15)));
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += ContrastRatio(image.pixelColor(x, y), background) >= kGraphicContrast;
    return n;
}

}  // namespace

// On the light palette, on a dark one switched to at run time and back: every
// text reads, the toolbar's images show, the chart takes the palette's colours
// and its legend stays off the plot.
TEST(MainLook, LightAndDarkPalettes) {
    const QPalette light = QApplication::palette();
    Rig rig;
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    w.show();
    w.RunCommand(ID_SIGNAL_HISTORY);
    CSignalHistoryDlg* history = w.HistoryWindow();
    ASSERT_NE(history, nullptr);
    history->show();
    const std::pair<const char*, QPalette> palettes[] = {{"light", light}, {"dark", DarkPalette()}, {"light again", light}};
    for (const auto& [name, palette] : palettes) {
        QApplication::setPalette(palette);
        QApplication::processEvents();
        ExpectTextsReadable(&w, name);
        ExpectTextsReadable(history, name);
        const QColor window = w.ToolBar()->palette().color(QPalette::Window);
        for (QAction* a : w.ToolBar()->actions()) {
            if (!a->isVisible() || a->isSeparator()) continue;
            EXPECT_GE(VisiblePixels(a->icon(), window), 16) << name << " " << a->toolTip().toStdString();
        }

        CHistoryChart* chart = history->Chart();
        chart->replot(QCustomPlot::rpImmediateRefresh);
        EXPECT_EQ(chart->toPixmap().toImage().pixelColor(1, 1), palette.color(QPalette::Window)) << name;
        EXPECT_EQ(chart->legend->brush().color(), palette.color(QPalette::Window)) << name;
        EXPECT_EQ(chart->legend->textColor(), palette.color(QPalette::WindowText)) << name;
        for (QCPAxisRect* rect : chart->axisRects()) {
            EXPECT_EQ(rect->backgroundBrush().color(), palette.color(QPalette::Base)) << name;
            EXPECT_FALSE(chart->legend->outerRect().intersects(rect->outerRect())) << name;
            for (QCPAxis* axis : rect->axes()) EXPECT_EQ(axis->tickLabelColor(), palette.color(QPalette::WindowText));
        }
        for (int s = 0; s < kSeriesCount; ++s)
            EXPECT_GE(ContrastRatio(chart->SeriesGraph(s)->pen().color(), palette.color(QPalette::Base)),
                      kGraphicContrast) << name << " " << s;
        if (palette == light) continue;
        Shot(&w, "main_window_dark");
        Shot(history, "history_window_dark");
    }
}

TEST(MainLook, ConnectingWindow) {
    CConnectDialog d;
    ExpectNothingClipped(&d);
    EXPECT_EQ(d.windowTitle().toStdString(), "Connecting");
    EXPECT_EQ(d.CancelButton()->text().toStdString(), "Cancel");
    d.SetText("Reading values...");
    ExpectNothingClipped(&d);
    Shot(&d, "connecting");
}

TEST(MainLook, PleaseWaitWindow) {
    CPleaseWaitDialog d;
    d.SetProgressRange(-1);
    ExpectNothingClipped(&d);
    EXPECT_EQ(d.windowTitle().toStdString(), "Please wait");
    EXPECT_EQ(d.TextLabel()->text().toStdString(), "Please wait while the unit changes mode...");
    EXPECT_FALSE(d.ProgressBar()->isVisible());
    Shot(&d, "please_wait");
    d.SetProgressRange(18);
    d.SetProgress(7);
    QApplication::processEvents();
    EXPECT_TRUE(d.ProgressBar()->isVisible());
    EXPECT_EQ(d.ProgressBar()->value(), 7);
}

TEST(MainLook, AboutBox) {
    AppSettings.AppTitle = "Tavrin receiver control";
    CAboutDlg d;
    ExpectNothingClipped(&d);
    EXPECT_EQ(d.TitleLabel()->text().toStdString(), "Tavrin receiver control v2.3.5");
    Shot(&d, "about");
}

TEST(MainLook, MainWindowConnected) {
    Rig rig;
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ExpectNothingClipped(&w);
    Shot(&w, "main_window");
}
