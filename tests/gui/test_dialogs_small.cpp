// The small modal dialogs: decryption key, downconverter, logo size, enter value.
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "app/ui/CLogoSizeDialog.h"
#include "pages/config_ops.h"
#include "pages/ui/CBarrelDialog.h"
#include "pages/ui/CEnterValueDialog.h"
#include "pages/ui/CWriteKeyDialog.h"
#include "test_dialogs_support.h"

using namespace dlgtest;

namespace {

void TypeInto(QLineEdit* edit, const QString& text) {
    for (QChar c : text) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &key);
    }
}

TEST(WriteKeyDialog, LayoutFollowsTheKeyType) {
    CWriteKeyDialog dialog(1);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Write decryption key");
    QComboBox* type = Control<QComboBox>(&dialog, 1101);
    ASSERT_EQ(type->count(), 3);
    EXPECT_EQ(type->currentText(), "AES128");
    EXPECT_EQ(Control<QLabel>(&dialog, 1032)->text(), "AES128 key");
    EXPECT_FALSE(Control<QLineEdit>(&dialog, 1201)->isVisible());
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1200)->maxLength(), 32);

    type->setCurrentIndex(2);
    EXPECT_EQ(Control<QLabel>(&dialog, 1032)->text(), "AES256 key (lower)");
    EXPECT_EQ(Control<QLabel>(&dialog, 1033)->text(), "AES256 key (upper)");
    EXPECT_TRUE(Control<QLineEdit>(&dialog, 1201)->isVisible());

    // From AES256 with 32 digits typed to ABS: the first 8 stay.
    Control<QLineEdit>(&dialog, 1200)->setText("0123456789abcdef0123456789ABCDEF");
    type->setCurrentIndex(0);
    EXPECT_EQ(Control<QLabel>(&dialog, 1032)->text(), "ABS key");
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1200)->text(), "01234567");
    EXPECT_FALSE(Control<QLineEdit>(&dialog, 1201)->isVisible());
    TypeInto(Control<QLineEdit>(&dialog, 1200), "89");
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1200)->text(), "01234567");
}

TEST(WriteKeyDialog, RefusesABadKeyAndStaysOpen) {
    PromptRecorder prompts;
    CWriteKeyDialog dialog(2);
    Control<QLineEdit>(&dialog, 1200)->setText(QString(32, u'a'));
    Control<QLineEdit>(&dialog, 1201)->setText(QString(31, u'0') + "g");
    OnNextModal([&](QWidget* modal) {
        Control<QPushButton>(modal, 1)->click();
        EXPECT_TRUE(modal->isVisible());
        Control<QPushButton>(modal, 2)->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    ASSERT_EQ(prompts.Texts(), std::vector<std::string>{"Invalid characters in hex field"});
    EXPECT_EQ(prompts.prompts.messages[0].caption, "Error");

    prompts.prompts.messages.clear();
    Control<QLineEdit>(&dialog, 1201)->setText("0123");
    dialog.OnOK();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"AES key must be 32 hex digits in each field"});
}

TEST(WriteKeyDialog, AcceptsLowerCaseDigitsAsTyped) {
    PromptRecorder prompts;
    CWriteKeyDialog dialog(0);
    Control<QLineEdit>(&dialog, 1200)->setText("deadbeef");
    dialog.OnOK();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.keyType(), 0);
    EXPECT_EQ(dialog.lowerKey(), "deadbeef");
    EXPECT_TRUE(prompts.prompts.messages.empty());
}

TEST(WriteKeyDialog, NoKeyTypeMeansOkDoesNothing) {
    PromptRecorder prompts;
    CWriteKeyDialog dialog(7);   // a Tessel descrambling mode
    dialog.show();
    EXPECT_EQ(Control<QComboBox>(&dialog, 1101)->currentIndex(), -1);
    EXPECT_TRUE(Control<QLineEdit>(&dialog, 1201)->isVisible());
    Control<QLineEdit>(&dialog, 1200)->setText("12345678");
    dialog.OnOK();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(prompts.prompts.messages.empty());
    Control<QComboBox>(&dialog, 1101)->setCurrentIndex(0);
    dialog.OnOK();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.lowerKey(), "12345678");
}

TEST(BarrelDialog, StartsOnUhfAndKeepsOneChoice) {
    CBarrelDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Choose a downconverter type");
    EXPECT_EQ(dialog.choice(), 1005);
    int checked = 0;
    for (const DownconverterDefaults& d : kDownconverters) {
        QRadioButton* radio = Control<QRadioButton>(&dialog, d.radioId);
        ASSERT_NE(radio, nullptr) << d.radioId;
        EXPECT_EQ(radio->text().toStdString(), d.caption);
        checked += radio->isChecked();
    }
    EXPECT_EQ(checked, 1);
    Control<QRadioButton>(&dialog, 1052)->click();
    Control<QRadioButton>(&dialog, 1052)->click();   // clicking again keeps it
    EXPECT_EQ(dialog.choice(), 1052);
    EXPECT_TRUE(Control<QRadioButton>(&dialog, 1052)->isChecked());
    EXPECT_FALSE(Control<QRadioButton>(&dialog, 1005)->isChecked());
}

TEST(LogoSizeDialog, ArrowsStayInTheAreaTypingDoesNot) {
    CLogoSizeDialog dialog(70, 60, 100, 80);
    EXPECT_EQ(dialog.windowTitle(), "Set logo dimensions");
    QLineEdit* height = Control<QLineEdit>(&dialog, 1200);
    QLineEdit* width = Control<QLineEdit>(&dialog, 1201);
    EXPECT_EQ(height->text(), "70");
    EXPECT_EQ(width->text(), "60");
    EXPECT_EQ(dialog.LogoHeight(), -1);
    EXPECT_EQ(dialog.LogoWidth(), -1);

    auto* heightArrows = Control<CUpDownControl>(&dialog, 1039);
    ASSERT_NE(heightArrows, nullptr);
    EXPECT_EQ(heightArrows->maximum(), 100);
    EXPECT_EQ(Control<CUpDownControl>(&dialog, 1040)->maximum(), 80);
    height->setText("99");
    heightArrows->upButton()->click();
    heightArrows->upButton()->click();
    EXPECT_EQ(height->text(), "100");
    height->setText("0");
    heightArrows->downButton()->click();
    EXPECT_EQ(height->text(), "0");

    height->setText("500");
    width->setText("-4");
    Control<QPushButton>(&dialog, 1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.LogoHeight(), 500);
    EXPECT_EQ(dialog.LogoWidth(), -4);
}

TEST(EnterValueDialog, LimitsTheTextAndReturnsItOnOk) {
    CEnterValueDialog dialog("Enter the new application title", "Old title", 32);
    EXPECT_EQ(dialog.windowTitle(), "Enter value");
    EXPECT_EQ(Control<QLabel>(&dialog, 1037)->text(), "Enter the new application title");
    QLineEdit* edit = Control<QLineEdit>(&dialog, 1036);
    EXPECT_EQ(edit->text(), "Old title");
    edit->clear();
    TypeInto(edit, QString(33, u'x'));
    EXPECT_EQ(edit->text().size(), 32);

    Control<QPushButton>(&dialog, 2)->click();
    EXPECT_TRUE(dialog.value().isEmpty());
    Control<QPushButton>(&dialog, 1)->click();
    EXPECT_EQ(dialog.value(), QString(32, u'x'));
}

}  // namespace
