// "Miscellaneous" page of the polling options: the polling interval.
#pragma once
#include <QWidget>

#include "ui/control_ids.h"

class QLineEdit;

class CPollMiscDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 115;
    static constexpr int kIdInterval = ids::poll_misc::kInterval;
    static constexpr int kMaxChars = 7;

    CPollMiscDialog(int intervalMs, QWidget* parent);

    QLineEdit* intervalEdit() const { return edit_; }
    QString intervalText() const;

signals:
    // The operator changed the interval.
    void changed();

private:
    QLineEdit* edit_ = nullptr;
};

// The leading decimal number of an interval text ("500ms" gives 500), or 0
// when the text does not start with a positive number.
int ParsePollInterval(const QString& text);
