// IPage on Qt widgets: the controls of a window are found by their control id,
// which every control carries as the property "ctrlId" and the object name
// "ctrl_<id>" (SetCtrlId). Works for any window: dialog, child page or the main
// window. Events posted to the page arrive as the signals of PageEvents() on
// the user-interface thread.
#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class QDialog;
class QDialogButtonBox;

#include "ui/unit_events_qt.h"
#include "params/page.h"

// Gives `widget` the control id `id`; returns the widget for chaining.
template <typename W>
W* SetCtrlId(W* widget, int id) {
    widget->setProperty("ctrlId", id);
    widget->setObjectName(QStringLiteral("ctrl_%1").arg(id));
    return widget;
}

// The "OK" (id 1, the default button) and "Cancel" (id 2) row of a dialog: OK
// runs `onOk`, Cancel rejects the dialog.
QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, std::function<void()> onOk);

// The first descendant of `root` carrying control id `id`, or nullptr.
QWidget* FindControl(const QWidget* root, int id);

class QtPage : public IPage {
public:
    explicit QtPage(QWidget* root);
    ~QtPage() override;

    bool HasControl(int id) const override;
    std::string GetText(int id) const override;
    void SetText(int id, const std::string& text) override;
    int GetSelection(int id) const override;
    void Select(int id, int index) override;
    void AddItem(int id, const std::string& text) override;
    uint32_t GetIp(int id) const override;
    void SetIp(int id, uint32_t address) override;
    int IpFilledFields(int id) const override;
    bool IsChecked(int id) const override;
    void Check(int id, bool checked) override;
    void Enable(int id, bool enabled) override;
    void SetReadOnly(int id, bool readOnly) override;
    void Show(int id, bool shown) override;
    void LampChanged(Lamp lamp, LampState state) override;
    void GraphSample(const ParamEntry& row) override;

    QWidget* Control(int id) const { return FindControl(root_, id); }
    template <typename W>
    W* ControlAs(int id) const { return qobject_cast<W*>(Control(id)); }

    QWidget* PageWidget() const { return root_; }
    // The page as the core's listener (lamps and graph samples of the codec).
    QtUnitEvents& PageEvents() { return events_; }

private:
    QWidget* root_;
    QtUnitEvents events_;
};
