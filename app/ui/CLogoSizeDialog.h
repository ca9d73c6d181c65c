// "Set logo dimensions": the size of the logo picture on the main window.
#pragma once
#include <QDialog>
#include <QWidget>

#include "ui/control_ids.h"

class QLineEdit;
class QToolButton;

// An up-down control attached to an edit: its arrows, and the Up and Down keys
// in the edit, step the number in the edit by one inside [minimum, maximum];
// typing in the edit is not limited.
class CUpDownControl : public QWidget {
    Q_OBJECT
public:
    CUpDownControl(QLineEdit* buddy, int minimum, int maximum, QWidget* parent);
    void Step(int delta);
    // Names the control "<name> arrows" and its arrows "<name> up" and "<name> down".
    void SetNames(const QString& name);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_;
    int min_, max_;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
};

class CLogoSizeDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 117;
    static constexpr int kIdHeight = ids::logo_size::kHeight;
    static constexpr int kIdWidth = ids::logo_size::kWidth;
    static constexpr int kIdHeightUpDown = ids::logo_size::kHeightUpDown;
    static constexpr int kIdWidthUpDown = ids::logo_size::kWidthUpDown;

    // The edits start with the current size; the arrows run from 0 to the
    // logo area's height and width.
    CLogoSizeDialog(int logoHeight, int logoWidth, int areaHeight, int areaWidth,
                    QWidget* parent = nullptr);

    // The numbers typed, read on OK; both -1 until then.
    int LogoHeight() const { return height_; }
    int LogoWidth() const { return width_; }

    QLineEdit* heightEdit() const { return heightEdit_; }
    QLineEdit* widthEdit() const { return widthEdit_; }
    CUpDownControl* heightUpDown() const { return heightUpDown_; }
    CUpDownControl* widthUpDown() const { return widthUpDown_; }

private:
    void OnOK();

    QLineEdit* heightEdit_ = nullptr;
    QLineEdit* widthEdit_ = nullptr;
    CUpDownControl* heightUpDown_ = nullptr;
    CUpDownControl* widthUpDown_ = nullptr;
    int height_ = -1;
    int width_ = -1;
};

// A number as an edit gives it: optional sign and leading decimal digits;
// 0 when there are none.
int LeadingNumber(const QString& text);
