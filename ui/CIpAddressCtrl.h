// An IPv4 address control: four number fields of 0 to 255 separated by dots.
#pragma once
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

class QLineEdit;

class CIpAddressCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CIpAddressCtrl(QWidget* parent = nullptr);

    // Number of fields holding a number of 0 to 255 (the address is complete
    // at 4); a field holding a larger number is refused and not counted.
    int FilledFieldCount() const;
    // A field holding a number above 255 (shown as refused).
    bool FieldRefused(int i) const;
    // First field in the most significant byte; empty fields count as 0.
    uint32_t Address() const;
    void SetAddress(uint32_t address);
    // Dotted text of the four fields, e.g. "127.0.0.1" ("" for an empty control).
    std::string Text() const;
    // Takes four numbers of 0 to 255 and one to three digits, separated by dots.
    bool SetText(const std::string& dotted);
    void Clear();
    bool IsBlank() const;

    // Names the control `name` and its fields "<name> field 1" to "<name> field 4".
    void SetNames(const QString& name);

    QLineEdit* Field(int i) const { return fields_[static_cast<size_t>(i)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int IndexOf(QObject* field) const;
    void MoveTo(int i);
    bool TakeDot(int i);
    // `selection`: the X selection a middle click pastes, else the clipboard.
    bool TakePaste(bool selection);
    void ShowMenu(int i, const QPoint& where);
    void ShowRefused(int i);

    std::array<QLineEdit*, 4> fields_{};
    int jumpedInto_ = -1;   // the field three digits just moved the caret into
};
