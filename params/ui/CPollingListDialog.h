// "Polling list" page of the polling options: one check box per poll item.
#pragma once
#include <QWidget>
#include <array>
#include <cstdint>

#include "ui/control_ids.h"

class QCheckBox;

class CPollingListDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 113;
    static constexpr int kFirstCheckId = ids::polling_list::kFirstCheck;   // items 0..3 at 1800, 1810, 1820, 1830

    // `flags` is copied; every click is told by changed().
    CPollingListDialog(const uint8_t (&flags)[4], QWidget* parent);

    const std::array<uint8_t, 4>& flags() const { return flags_; }
    QCheckBox* checkBox(int item) const { return boxes_[size_t(item)]; }

    void OnCheck(int id);

signals:
    void changed();

private:
    std::array<uint8_t, 4> flags_{};
    std::array<QCheckBox*, 4> boxes_{};
};
