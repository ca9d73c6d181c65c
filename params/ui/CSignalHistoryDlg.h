// The "Signal history" window: modeless, opened from the main window's menu
// (Ctrl+H) and toolbar. It shows the alignment readout (the best input's live
// SNR in large digits and its peak since the last reset), the strip chart of
// the history with its span, follow and series controls, the values under the
// cursor, recording to CSV, saving the chart as PNG, and the event list.
// The samples are the main window's CSignalHistory: they stay while the
// window is closed.
#pragma once
#include <QDialog>
#include <array>

#include "params/poll_sample.h"

class CSignalHistory;
class CHistoryChart;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;

class CSignalHistoryDlg : public QDialog {
    Q_OBJECT
public:
    // Refreshes from the history this often while shown.
    static constexpr int kRefreshMs = 500;

    explicit CSignalHistoryDlg(CSignalHistory& history, QWidget* parent = nullptr);

    // Redraws the chart and the readout from the history (the timer's work).
    void Refresh(bool immediately = false);
    // Rebuilds the event list, newest first (on each new event).
    void RefreshEvents();

    // "Record to CSV..." / "Stop recording", "Save chart as PNG...", "Reset peak".
    void OnRecord();
    void OnSavePng();
    void OnResetPeak();
    // Chooses span `index` of CHistoryChart::kSpanSeconds.
    void SetSpan(int index);

    CHistoryChart* Chart() const { return chart_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The series boxes' colours follow a palette change.
    void changeEvent(QEvent* event) override;

private:
    void BuildControls();
    void ShowAlignment();
    void ShowRecordingState();
    void ApplyPaletteColours();

    CSignalHistory& history_;
    CHistoryChart* chart_ = nullptr;
    QTimer* timer_ = nullptr;
    QLabel* bestLabel_ = nullptr;
    QLabel* peakLabel_ = nullptr;
    QLabel* cursorLabel_ = nullptr;
    QLabel* recordingLabel_ = nullptr;
    QComboBox* span_ = nullptr;
    QCheckBox* follow_ = nullptr;
    std::array<QCheckBox*, kSeriesCount> seriesBoxes_{};
    QPushButton* record_ = nullptr;
    QTreeWidget* events_ = nullptr;
};
