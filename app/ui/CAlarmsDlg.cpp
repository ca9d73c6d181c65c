#include "app/ui/CAlarmsDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/alarm_texts.h"
#include "app/settings.h"
#include "app/signal_history.h"
#include "app/ui/CAlarmRulesDlg.h"
#include "platform/clock.h"
#include "ui/accessible.h"
#include "ui/theme_colours.h"

namespace {

enum Column { kAlarm, kSeverity, kRaised, kCleared, kValue, kAcknowledged, kColumnCount };
constexpr const char* kHeaders[kColumnCount] = {"Alarm", "Severity", "Raised (UTC)", "Cleared (UTC)", "Value",
                                                "Acknowledged"};

// "2026-12-08 21:43:05": the event log's UTC time to the second.
QString TimeText(int64_t utcMs) {
    std::string text = FormatUtcMs(utcMs).substr(0, 19);
    text[10] = ' ';
    return QString::fromStdString(text);
}

QStringList RowTexts(const Alarm& alarm) {
    QStringList row;
    row << QString::fromStdString(alarm.id.Title()) << QString::fromLatin1(AlarmSeverityWords(alarm.severity))
        << TimeText(alarm.raisedUtcMs)
        << (alarm.clearedUtcMs ? TimeText(*alarm.clearedUtcMs) : QStringLiteral("Active"))
        << QString::fromStdString(AlarmValueText(alarm)) << (alarm.acknowledged ? QStringLiteral("Yes") : QStringLiteral("No"));
    return row;
}

// The severity cell keeps its colours in a selected row: the selection shows
// in the row's other cells and by the focus frame.
class SeverityCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, plain, index);
    }
};

}  // namespace

CAlarmsDlg::CAlarmsDlg(CSignalHistory& history, QWidget* parent) : QDialog(parent), history_(history) {
    setWindowTitle(QStringLiteral("Alarms"));
    auto* layout = new QVBoxLayout(this);

    list_ = new QTreeWidget(this);
    list_->setAccessibleName(QStringLiteral("Alarm list"));
    list_->setColumnCount(kColumnCount);
    QStringList headers;
    for (const char* h : kHeaders) headers << QString::fromLatin1(h);
    list_->setHeaderLabels(headers);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setItemDelegateForColumn(kSeverity, new SeverityCell(list_));
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(kAlarm, QHeaderView::Stretch);
    for (int c = kSeverity; c < kColumnCount; ++c) list_->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    layout->addWidget(list_, 1);
    notEvaluated_ = new QLabel(this);
    notEvaluated_->setAccessibleName(QStringLiteral("Rules not evaluated"));
    notEvaluated_->setWordWrap(true);
    notEvaluated_->hide();
    layout->addWidget(notEvaluated_);

    auto* buttons = new QHBoxLayout;
    acknowledge_ = new QPushButton(QStringLiteral("&Acknowledge"), this);
    acknowledge_->setAccessibleName(QStringLiteral("Acknowledge"));
    acknowledgeAll_ = new QPushButton(QStringLiteral("Acknowledge a&ll"), this);
    acknowledgeAll_->setAccessibleName(QStringLiteral("Acknowledge all"));
    auto* rules = new QPushButton(QStringLiteral("&Rules..."), this);
    rules->setAccessibleName(QStringLiteral("Rules..."));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(acknowledge_);
    buttons->addWidget(acknowledgeAll_);
    buttons->addWidget(rules);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    sound_ = new QCheckBox(QStringLiteral("&Sound on a new critical or major alarm"), this);
    sound_->setAccessibleName(QStringLiteral("Sound on a new critical or major alarm"));
    sound_->setChecked(AppSettings.AlarmSound != 0);
    layout->addWidget(sound_);
    const std::string path = AlarmRulesFilePath();
    rulesFile_ = new QLabel(QString::fromStdString(path.empty() ? std::string("Rules file: none (rules are not kept)")
                                                                : "Rules file: " + path),
                            this);
    rulesFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(rulesFile_);

    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    connect(acknowledge_, &QPushButton::clicked, this, [this] { OnAcknowledge(); });
    connect(acknowledgeAll_, &QPushButton::clicked, this, [this] { OnAcknowledgeAll(); });
    connect(rules, &QPushButton::clicked, this, [this] { OnRules(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { ShowButtons(); });
    connect(sound_, &QCheckBox::toggled, this, [](bool on) { AppSettings.AlarmSound = on ? 1 : 0; });
    resize(820, 380);
    Refresh();
}

void CAlarmsDlg::Refresh() {
    const AlarmSnapshot alarms = history_.Alarms();
    QStringList idle;
    for (const AlarmId& id : alarms.notEvaluated) idle << QString::fromStdString(id.Title());
    const QString idleText = QStringLiteral("Not evaluated (poll item switched off): ") + idle.join(QStringLiteral("; "));
    if (notEvaluated_->text() != idleText) {
        notEvaluated_->setText(idleText);
        SetLiveDescription(notEvaluated_, idle.isEmpty() ? QStringLiteral("none") : idle.join(QStringLiteral("; ")));
    }
    notEvaluated_->setVisible(!idle.isEmpty());
    std::vector<const Alarm*> rows;
    for (auto it = alarms.active.rbegin(); it != alarms.active.rend(); ++it) rows.push_back(&*it);
    for (const Alarm& alarm : alarms.recent) rows.push_back(&alarm);
    std::vector<QStringList> texts;
    for (const Alarm* alarm : rows) texts.push_back(RowTexts(*alarm) << QString::number(alarm->serial));
    if (texts == shown_) return;
    shown_ = texts;
    const QTreeWidgetItem* current = list_->currentItem();
    const uint64_t selected = current ? current->data(kAlarm, Qt::UserRole).toULongLong() : 0;
    list_->clear();
    for (const Alarm* alarm : rows) {
        auto* item = new QTreeWidgetItem(list_, RowTexts(*alarm));
        item->setData(kAlarm, Qt::UserRole, QVariant::fromValue<qulonglong>(alarm->serial));
        const AlarmLook look = AlarmColours(alarm->severity);
        item->setBackground(kSeverity, look.fill);
        item->setForeground(kSeverity, look.text);
        if (alarm->serial == selected) list_->setCurrentItem(item);
    }
    ShowButtons();
}

void CAlarmsDlg::ShowButtons() {
    const QTreeWidgetItem* item = list_->currentItem();
    acknowledge_->setEnabled(item && item->isSelected() && item->text(kAcknowledged) == QStringLiteral("No"));
    bool unacknowledged = false;
    for (const Alarm& alarm : history_.Alarms().active) unacknowledged = unacknowledged || !alarm.acknowledged;
    acknowledgeAll_->setEnabled(unacknowledged);
}

void CAlarmsDlg::OnAcknowledge() {
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item) return;
    history_.AcknowledgeAlarm(item->data(kAlarm, Qt::UserRole).toULongLong());
    Refresh();
}

void CAlarmsDlg::OnAcknowledgeAll() {
    history_.AcknowledgeAllAlarms();
    Refresh();
}

void CAlarmsDlg::OnRules() {
    CAlarmRulesDlg dialog(history_.AlarmRulesInForce().value_or(AlarmRules::Defaults()), AlarmRulesFilePath(), this);
    if (dialog.exec() == QDialog::Accepted) history_.SetAlarmRules(dialog.Rules());
}
