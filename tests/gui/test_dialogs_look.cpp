// Every dialog laid out on screen: no caption or text cut short, and every
// control inside its window. With TAVRIN_GRAB_DIR set, each dialog is also
// saved as a PNG there for a look by eye.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>

#include "app/ui/CLogoSizeDialog.h"
#include "app/ui/CEngineeringDialog.h"
#include "pages/ui/CAdvancedDialog.h"
#include "pages/ui/CBarrelDialog.h"
#include "pages/ui/CEnterValueDialog.h"
#include "pages/ui/CWriteKeyDialog.h"
#include "params/ui/CPollingOptions.h"
#include "test_dialogs_support.h"

using namespace dlgtest;

namespace {

// Checks the visible texts of `window` against the room they were given.
void ExpectNothingClipped(QWidget* window, const char* name) {
    window->show();
    QApplication::processEvents();
    GrabIfAsked(window, name);
    const QRect inside = window->rect();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        const QRect box(w->mapTo(window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(inside.contains(box)) << name << ": " << w->metaObject()->className() << " "
                                          << w->objectName().toStdString() << " outside the window";
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap() && !label->text().isEmpty()) {
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            EXPECT_GE(label->contentsRect().width(), needed) << name << ": label \"" << label->text().toStdString() << "\" cut";
        } else if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
            EXPECT_GE(button->width(), button->minimumSizeHint().width())
                << name << ": button \"" << button->text().toStdString() << "\" cut";
            EXPECT_GE(button->height(), button->minimumSizeHint().height()) << name;
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            EXPECT_GE(combo->width(), combo->minimumSizeHint().width()) << name << ": combo cut";
        }
    }
}

TEST(DialogLook, NoTextIsCut) {
    AppSettings = AppSettingsData{};
    CFerritRemoteControl link(nullptr);

    CEnterValueDialog enter("Enter the new application title", "Tavrin receiver control", 32);
    ExpectNothingClipped(&enter, "enter_value");
    CLogoSizeDialog logo(70, 70, 120, 200);
    ExpectNothingClipped(&logo, "logo_size");
    CBarrelDialog barrel;
    ExpectNothingClipped(&barrel, "barrel");
    CWriteKeyDialog key(2);
    ExpectNothingClipped(&key, "write_key_aes256");
    CWriteKeyDialog keyAbs(0);
    ExpectNothingClipped(&keyAbs, "write_key_abs");

    CPollingOptions polling;
    ExpectNothingClipped(&polling, "polling_list");
    polling.tabs()->setCurrentIndex(1);
    ExpectNothingClipped(&polling, "polling_misc");

    auto* engineering = new CEngineeringDialog(&link, 1, [] { return true; }, QIcon());
    int closings = 0;
    QObject::connect(engineering, &CEngineeringDialog::closing, [&closings] { ++closings; });
    ExpectNothingClipped(engineering, "engineering_diagnostic");
    engineering->tabs()->setCurrentIndex(1);
    ExpectNothingClipped(engineering, "engineering_general");
    engineering->advancedPage()->tabs()->setCurrentIndex(1);
    ExpectNothingClipped(engineering, "engineering_serial");
    delete engineering;
    EXPECT_EQ(closings, 1);
}

}  // namespace
