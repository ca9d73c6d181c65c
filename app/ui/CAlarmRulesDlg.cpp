#include "app/ui/CAlarmRulesDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/alarm_texts.h"
#include "params/alarm_rules.h"
#include "ui/prompts.h"

namespace {

// The columns: a key of the rules file each, in the file's order of keys.
struct Column {
    const char* key;
    const char* header;
};
constexpr Column kColumns[] = {
    {"enabled", "Enabled"},       {"severity", "Severity"},   {"raise_delay_ms", "Raise delay (ms)"},
    {"clear_delay_ms", "Clear delay (ms)"}, {"threshold", "Threshold"}, {"low", "Low (dBm)"},
    {"high", "High (dBm)"},       {"clear_margin", "Clear margin"},
};
constexpr const char* kInputsKey = "inputs_fitted";
constexpr const char* kInputLetters[kAlarmInputCount] = {"A", "B", "C", "D"};

const char* HeaderOf(const std::string& key) {
    for (const Column& c : kColumns)
        if (key == c.key) return c.header;
    return nullptr;
}

// A field's text in the file: a JSON number as typed, anything else as a JSON
// text (which the file's check then refuses as not a number).
QString JsonValueText(const QString& typed) {
    static const QRegularExpression number(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?$"));
    const QString text = typed.trimmed();
    if (number.match(text).hasMatch()) return text;
    const QByteArray quoted = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(quoted.mid(1, quoted.size() - 2));
}

}  // namespace

CAlarmRulesDlg::CAlarmRulesDlg(const AlarmRules& rules, std::string path, QWidget* parent)
    : QDialog(parent), rules_(rules), path_(std::move(path)) {
    setWindowTitle(QStringLiteral("Alarm rules"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    int column = 1;
    for (const Column& c : kColumns) grid->addWidget(new QLabel(QString::fromLatin1(c.header), this), 0, column++);
    // The rows and their fields are those of the file's text: each rule has
    // exactly the keys its kind takes.
    const QJsonObject file = QJsonDocument::fromJson(QByteArray::fromStdString(AlarmRulesText(rules))).object();
    const QJsonArray list = file.value(QStringLiteral("rules")).toArray();
    for (int r = 0; r < list.size(); ++r) {
        const QJsonObject rule = list[r].toObject();
        const auto kind = AlarmKindFromName(rule.value(QStringLiteral("alarm")).toString().toStdString());
        const QString title = QString::fromLatin1(kind ? AlarmKindOf(*kind).title : "");
        grid->addWidget(new QLabel(title, this), r + 1, 0);
        column = 1;
        for (const Column& c : kColumns) {
            const int at = column++;
            if (!rule.contains(QLatin1String(c.key))) continue;
            const QString name = title + QStringLiteral(", ") + QString::fromLatin1(c.header);
            QWidget* widget = nullptr;
            if (std::string(c.key) == "enabled") {
                widget = new QCheckBox(this);
            } else if (std::string(c.key) == "severity") {
                auto* box = new QComboBox(this);
                for (int s = 0; s < kAlarmSeverityCount; ++s)
                    box->addItem(QString::fromLatin1(AlarmSeverityWords(AlarmSeverity(s))),
                                 QString::fromLatin1(AlarmSeverityName(AlarmSeverity(s))));
                widget = box;
            } else {
                auto* edit = new QLineEdit(this);
                edit->setMaximumWidth(110);
                widget = edit;
            }
            widget->setAccessibleName(name);
            grid->addWidget(widget, r + 1, at);
            fields_.push_back({r, c.key, widget});
        }
    }
    layout->addLayout(grid);

    auto* inputs = new QHBoxLayout;
    inputs->addWidget(new QLabel(QStringLiteral("Inputs fitted (SNR and level rules):"), this));
    for (const char* letter : kInputLetters) {
        auto* box = new QCheckBox(QStringLiteral("Input %1").arg(QLatin1String(letter)), this);
        inputs_.push_back(box);
        inputs->addWidget(box);
    }
    inputs->addStretch(1);
    layout->addLayout(inputs);

    auto* buttons = new QHBoxLayout;
    auto* defaults = new QPushButton(QStringLiteral("&Defaults"), this);
    auto* save = new QPushButton(QStringLiteral("&Save"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(defaults);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    save->setDefault(true);
    connect(defaults, &QPushButton::clicked, this, [this] { Show(AlarmRules::Defaults()); });
    connect(save, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Show(rules);
}

void CAlarmRulesDlg::Show(const AlarmRules& rules) {
    const QJsonObject file = QJsonDocument::fromJson(QByteArray::fromStdString(AlarmRulesText(rules))).object();
    const QJsonArray list = file.value(QStringLiteral("rules")).toArray();
    for (const Field& f : fields_) {
        const QJsonValue value = list[f.rule].toObject().value(QString::fromStdString(f.key));
        if (auto* box = qobject_cast<QCheckBox*>(f.widget)) box->setChecked(value.toBool());
        if (auto* combo = qobject_cast<QComboBox*>(f.widget)) combo->setCurrentIndex(combo->findData(value.toString()));
        // QString::number writes a '.' in every locale.
        if (auto* edit = qobject_cast<QLineEdit*>(f.widget)) edit->setText(QString::number(value.toDouble(), 'g', 12));
    }
    for (int input = 0; input < kAlarmInputCount; ++input)
        inputs_[size_t(input)]->setChecked((rules.inputsFitted & (1u << input)) != 0);
}

std::string CAlarmRulesDlg::FieldsText() const {
    QStringList inputs;
    for (int input = 0; input < kAlarmInputCount; ++input)
        if (inputs_[size_t(input)]->isChecked()) inputs << QStringLiteral("\"%1\"").arg(QLatin1String(kInputLetters[input]));
    QString text = QStringLiteral("{\"%1\": [%2], \"rules\": [").arg(QLatin1String(kInputsKey), inputs.join(QStringLiteral(", ")));
    int rule = -1;
    for (const Field& f : fields_) {
        if (f.rule != rule) {
            text += QStringLiteral("%1\n{\"alarm\": \"%2\"").arg(rule < 0 ? QString() : QStringLiteral("},"),
                                                                QLatin1String(AlarmKindOf(AlarmKind(f.rule)).name));
            rule = f.rule;
        }
        QString value;
        if (auto* box = qobject_cast<QCheckBox*>(f.widget)) value = box->isChecked() ? QStringLiteral("true") : QStringLiteral("false");
        if (auto* combo = qobject_cast<QComboBox*>(f.widget)) value = JsonValueText(combo->currentData().toString());
        if (auto* edit = qobject_cast<QLineEdit*>(f.widget)) value = JsonValueText(edit->text());
        text += QStringLiteral(", \"%1\": %2").arg(QString::fromStdString(f.key), value);
    }
    text += QStringLiteral("}]}\n");
    return text.toStdString();
}

// "rules[4].threshold" -> "SNR low, Threshold"; "inputs_fitted" -> "Inputs fitted".
QString CAlarmRulesDlg::FieldName(const std::string& where) const {
    if (where.rfind(kInputsKey, 0) == 0) return QStringLiteral("Inputs fitted");
    const size_t open = where.find('['), close = where.find(']');
    if (where.rfind("rules[", 0) != 0 || close == std::string::npos) return QString::fromStdString(where);
    const int index = std::stoi(where.substr(open + 1, close - open - 1));
    QString name = QString::fromLatin1(index >= 0 && index < kAlarmKindCount ? AlarmKindOf(AlarmKind(index)).title : "");
    const std::string key = close + 2 <= where.size() ? where.substr(close + 2) : std::string();
    if (const char* header = HeaderOf(key)) name += QStringLiteral(", ") + QString::fromLatin1(header);
    return name;
}

void CAlarmRulesDlg::OnSave() {
    AlarmRules checked = rules_;
    std::string error;
    if (!ParseAlarmRules(FieldsText(), checked, error)) {
        // "rules[4].threshold: 70 is out of range (-20 to 60)": the field by its name.
        const size_t colon = error.find(": ");
        const QString field = colon == std::string::npos ? QString() : FieldName(error.substr(0, colon));
        const std::string what = field.isEmpty() ? error : field.toStdString() + ": " + error.substr(colon + 2);
        ShowError("The rules were not saved.\n\n" + what);
        for (const Field& f : fields_)
            if (f.widget->accessibleName() == field) f.widget->setFocus();
        return;
    }
    if (!path_.empty() && !WriteAlarmRulesFile(path_, checked, error)) {
        ShowError("The rules were not saved.\n\n" + error);
        return;
    }
    rules_ = checked;
    accept();
}
