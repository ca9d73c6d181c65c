#include "params/ui/CSignalHistoryDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/signal_history.h"
#include "params/ui/CHistoryChart.h"
#include "platform/clock.h"
#include "ui/accessible.h"
#include "ui/control_ids.h"
#include "ui/prompts.h"
#include "ui/qt_page.h"
#include "ui/theme_colours.h"

using namespace ids::signal_history;

namespace {

const QString kRecordText = QStringLiteral("Record to CSV\u2026");
const QString kStopText = QStringLiteral("Stop recording");
const QString kSavePngText = QStringLiteral("Save chart as PNG\u2026");
constexpr const char* kSpanNames[] = {"1 min", "10 min", "1 h", "8 h", "24 h"};
constexpr int kReadoutPoints = 48;

QString SnrText(float snr, int input) {
    if (input < 0 || std::isnan(snr)) return QStringLiteral("\u2013 dB");
    return QStringLiteral("%1  %2 dB").arg(QChar(u'A' + input)).arg(QString::number(double(snr), 'f', 1));
}

// A file dialog of the window: save, with its filter and extension.
std::optional<std::string> AskSaveFile(const char* title, const char* filter, const char* extension) {
    FileDialogRequest request;
    request.save = true;
    request.title = title;
    request.filter = filter;
    request.defaultExtension = extension;
    request.initialName = std::string("*.") + extension;
    return Prompts().AskFile(request);
}

}  // namespace

CSignalHistoryDlg::CSignalHistoryDlg(CSignalHistory& history, QWidget* parent)
    : QDialog(parent, Qt::Window), history_(history) {
    setObjectName(QStringLiteral("signalHistory"));
    setWindowTitle(QStringLiteral("Signal history"));
    setModal(false);
    BuildControls();
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
    resize(980, 760);
    RefreshEvents();
    Refresh();
}

void CSignalHistoryDlg::BuildControls() {
    auto* outer = new QVBoxLayout(this);

    // Alignment readout: readable from a few metres away.
    auto* readout = new QHBoxLayout;
    bestLabel_ = SetCtrlId(new QLabel(this), kBestSnr);
    QFont big = bestLabel_->font();
    big.setPointSize(kReadoutPoints);
    big.setBold(true);
    bestLabel_->setFont(big);
    bestLabel_->setMinimumWidth(QFontMetrics(big).horizontalAdvance(QStringLiteral("D  -88.8 dB")));
    bestLabel_->setToolTip(QStringLiteral("The best input's live SNR"));
    peakLabel_ = SetCtrlId(new QLabel(this), kPeakSnr);
    QFont medium = peakLabel_->font();
    medium.setPointSize(kReadoutPoints / 2);
    peakLabel_->setFont(medium);
    // Room for the widest reading, so that nothing moves or is cut while the values change.
    peakLabel_->setMinimumWidth(QFontMetrics(medium).horizontalAdvance(QStringLiteral("Peak D  -88.8 dB")));
    auto* reset = SetCtrlId(new QPushButton(QStringLiteral("Reset peak"), this), kResetPeak);
    readout->addWidget(bestLabel_);
    readout->addSpacing(24);
    readout->addWidget(peakLabel_);
    readout->addStretch(1);
    readout->addWidget(reset, 0, Qt::AlignVCenter);
    outer->addLayout(readout);

    // Span, follow, series.
    auto* controls = new QHBoxLayout;
    span_ = SetCtrlId(new QComboBox(this), kSpan);
    controls->addWidget(MakeBuddyLabel(QStringLiteral("Span"), span_, this));
    for (const char* name : kSpanNames) span_->addItem(QString::fromLatin1(name));
    controls->addWidget(span_);
    follow_ = SetCtrlId(new QCheckBox(QStringLiteral("Follow"), this), kFollow);
    follow_->setChecked(true);
    controls->addWidget(follow_);
    controls->addSpacing(16);
    for (int s = 0; s < kSeriesCount; ++s) {
        auto* box = SetCtrlId(new QCheckBox(CHistoryChart::SeriesName(s), this), kFirstSeries + s);
        box->setChecked(true);
        seriesBoxes_[size_t(s)] = box;
        controls->addWidget(box);
    }
    controls->addStretch(1);
    outer->addLayout(controls);

    // The chart, the values under the cursor, the event list.
    auto* split = new QSplitter(Qt::Vertical, this);
    chart_ = SetCtrlId(new CHistoryChart(history_, split), kChart);
    auto* lower = new QWidget(split);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    cursorLabel_ = SetCtrlId(new QLabel(QStringLiteral(" "), lower), kCursorValues);
    cursorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lowerLayout->addWidget(cursorLabel_);
    auto* buttons = new QHBoxLayout;
    record_ = SetCtrlId(new QPushButton(kRecordText, lower), kRecord);
    auto* savePng = SetCtrlId(new QPushButton(kSavePngText, lower), kSavePng);
    recordingLabel_ = SetCtrlId(new QLabel(lower), kRecordingState);
    buttons->addWidget(record_);
    buttons->addWidget(savePng);
    buttons->addWidget(recordingLabel_, 1);
    lowerLayout->addLayout(buttons);
    events_ = SetCtrlId(new QTreeWidget(lower), kEvents);
    events_->setRootIsDecorated(false);
    events_->setAccessibleName(QStringLiteral("Events"));
    events_->setHeaderLabels({QStringLiteral("Time (UTC)"), QStringLiteral("Event"), QStringLiteral("Detail")});
    events_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    events_->header()->setStretchLastSection(true);
    lowerLayout->addWidget(events_, 1);
    split->addWidget(chart_);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    outer->addWidget(split, 1);

    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, [this] { OnResetPeak(); });
    connect(record_, &QPushButton::clicked, this, [this] { OnRecord(); });
    connect(savePng, &QPushButton::clicked, this, [this] { OnSavePng(); });
    connect(span_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) { SetSpan(index); });
    connect(follow_, &QCheckBox::toggled, chart_, &CHistoryChart::SetFollow);
    connect(chart_, &CHistoryChart::followEnded, this, [this] {
        const QSignalBlocker block(follow_);
        follow_->setChecked(false);
    });
    for (int s = 0; s < kSeriesCount; ++s) {
        connect(seriesBoxes_[size_t(s)], &QCheckBox::toggled, this,
                [this, s](bool on) { chart_->SetSeriesVisible(s, on); });
    }
    connect(chart_, &CHistoryChart::cursorAt, this,
            [this](double key) { cursorLabel_->setText(chart_->ValuesAt(key)); });
    span_->setCurrentIndex(1);
    ApplyPaletteColours();
}

void CSignalHistoryDlg::ApplyPaletteColours() {
    // Each series box names its line in the line's colour, readable as text.
    const QColor window = palette().color(QPalette::Window);
    for (int s = 0; s < kSeriesCount; ++s)
        SetTextColour(seriesBoxes_[size_t(s)], ReadableOn(CHistoryChart::SeriesColour(s, window), window));
}

void CSignalHistoryDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (IsPaletteChange(event) && seriesBoxes_[0]) ApplyPaletteColours();
}

void CSignalHistoryDlg::SetSpan(int index) {
    if (index < 0 || index >= int(CHistoryChart::kSpanSeconds.size())) return;
    if (span_->currentIndex() != index) span_->setCurrentIndex(index);   // comes back here
    else chart_->SetSpanSeconds(CHistoryChart::kSpanSeconds[size_t(index)]);
}

void CSignalHistoryDlg::Refresh(bool immediately) {
    chart_->Refresh(immediately);
    ShowAlignment();
    ShowRecordingState();
}

void CSignalHistoryDlg::ShowAlignment() {
    const AlignmentReading a = history_.Alignment();
    bestLabel_->setText(SnrText(a.bestSnr, a.bestInput));
    peakLabel_->setText(QStringLiteral("Peak ") + SnrText(a.peakSnr, a.peakInput));
}

void CSignalHistoryDlg::ShowRecordingState() {
    // A recording ends by itself when its file cannot be written.
    const std::string path = history_.RecordingPath();
    record_->setText(path.empty() ? kRecordText : kStopText);
    recordingLabel_->setText(path.empty() ? QString()
                                          : QStringLiteral("Recording to %1").arg(QString::fromStdString(path)));
}

void CSignalHistoryDlg::RefreshEvents() {
    const std::vector<EventRecord> recent = history_.Events().Recent();
    events_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(recent.size()));
    for (const EventRecord& e : recent) {
        items << new QTreeWidgetItem({QString::fromStdString(FormatUtcMs(e.timeMs)),
                                      QString::fromLatin1(EventName(e.kind)), QString::fromStdString(e.detail)});
    }
    events_->addTopLevelItems(items);
}

void CSignalHistoryDlg::OnRecord() {
    if (history_.IsRecording()) {
        history_.StopRecording();
    } else {
        const std::optional<std::string> path =
            AskSaveFile("Record to CSV", "CSV files (*.csv)|*.csv|All files (*.*)|*.*||", "csv");
        if (!path) return;
        std::string error;
        if (!history_.StartRecording(*path, error)) ShowError("Unable to record to " + *path + ": " + error);
    }
    ShowRecordingState();
}

void CSignalHistoryDlg::OnSavePng() {
    const std::optional<std::string> path =
        AskSaveFile("Save chart as PNG", "PNG images (*.png)|*.png|All files (*.*)|*.*||", "png");
    if (!path) return;
    if (!chart_->savePng(QString::fromStdString(*path))) ShowError("Unable to save the chart to " + *path);
}

void CSignalHistoryDlg::OnResetPeak() {
    history_.ResetPeak();
    ShowAlignment();
}

void CSignalHistoryDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Refresh();
    timer_->start();
}

void CSignalHistoryDlg::hideEvent(QHideEvent* event) {
    timer_->stop();
    QDialog::hideEvent(event);
}
