// The "Alarms" window: modeless, opened from the main window's menu (Ctrl+M).
// It lists the active alarms, then the recent ones (newest first), with their
// severity, raise and clear times (UTC), the value that raised them and
// whether they were acknowledged; acknowledges the selected alarm or every
// active one; names the rules not evaluated (their poll item switched off);
// opens the rules dialog; and switches the sound of new critical and major
// alarms. The alarms are the main window's CSignalHistory's.
#pragma once
#include <QDialog>
#include <QStringList>
#include <cstdint>
#include <vector>

class CSignalHistory;
class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

class CAlarmsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAlarmsDlg(CSignalHistory& history, QWidget* parent = nullptr);

    // The list from the history (on each poll cycle and each alarm event);
    // the selected alarm stays selected.
    void Refresh();
    void OnAcknowledge();
    void OnAcknowledgeAll();
    // "Rules...": the rules dialog; saved rules take effect at once.
    void OnRules();

    QTreeWidget* List() const { return list_; }

private:
    void ShowButtons();

    CSignalHistory& history_;
    QTreeWidget* list_ = nullptr;
    QPushButton* acknowledge_ = nullptr;
    QPushButton* acknowledgeAll_ = nullptr;
    QCheckBox* sound_ = nullptr;
    QLabel* rulesFile_ = nullptr;
    QLabel* notEvaluated_ = nullptr;
    std::vector<QStringList> shown_;   // the rows' texts as last shown
};
