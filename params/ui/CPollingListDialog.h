// "Polling list" page of the polling options: one check box per poll item.
#pragma once
#include <QWidget>
#include <array>
#include <cstdint>

#include "ui/control_ids.h"

class IMessageTarget;
class QCheckBox;

class CPollingListDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 113;
    static constexpr int kFirstCheckId = ids::polling_list::kFirstCheck;   // items 0..3 at 1800, 1810, 1820, 1830

    // `flags` is copied; `container` hears WM_PAGE_CHANGED on every click.
    CPollingListDialog(const uint8_t (&flags)[4], IMessageTarget* container, QWidget* parent);

    const std::array<uint8_t, 4>& flags() const { return flags_; }
    QCheckBox* checkBox(int item) const { return boxes_[size_t(item)]; }

    void OnCheck(int id);

private:
    IMessageTarget* container_;
    std::array<uint8_t, 4> flags_{};
    std::array<QCheckBox*, 4> boxes_{};
};
