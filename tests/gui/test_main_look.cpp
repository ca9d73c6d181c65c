// The small windows of the main window as laid out on screen: texts whole,
// nothing clipped. TAVRIN_SHOTS=DIR keeps a picture of each.
#include "tests/gui/test_main_support.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/ui/CAboutDlg.h"
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
}  // namespace

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
