// "Alarm rules": the rules edited in a dialog. Per rule: on or off, the
// severity, the raise and clear delays, and the rule's thresholds and clear
// margin; and the inputs the site has fitted. The fields are the keys of the
// rules file (params/alarm_rules.h); Save writes them as that file's text and
// has the file's own check read it, so a value the file would refuse is
// refused here with the same words, naming the rule and the field, and
// nothing is saved. Accepted rules are written to the rules file.
#pragma once
#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "params/alarms.h"

class QCheckBox;
class QWidget;

class CAlarmRulesDlg : public QDialog {
    Q_OBJECT
public:
    // `path`: the rules file Save writes ("" : none, the rules hold for this run).
    CAlarmRulesDlg(const AlarmRules& rules, std::string path, QWidget* parent = nullptr);

    // The rules as saved (valid once accepted).
    const AlarmRules& Rules() const { return rules_; }
    // Fills the fields from `rules` ("Defaults" fills them from the defaults).
    void Show(const AlarmRules& rules);
    // The fields as a rules file's text.
    std::string FieldsText() const;
    // Checks the fields; saves and accepts them, or says what is wrong.
    void OnSave();

private:
    struct Field {
        int rule;          // index in the rules list; -1: inputs fitted
        std::string key;   // the file's key
        QWidget* widget;
    };
    QString FieldName(const std::string& where) const;

    AlarmRules rules_;
    std::string path_;
    std::vector<Field> fields_;
    std::vector<QCheckBox*> inputs_;
};
