// A page as the value codec sees it: controls known only by their ids.
// Every Qt page implements it; tests and the command-line tool use plain fakes.
#pragma once
#include <cstdint>
#include <string>

#include "link/unit_events.h"


class IPage {
public:
    virtual ~IPage() = default;
    virtual bool HasControl(int id) const = 0;

    virtual std::string GetText(int id) const = 0;
    virtual void SetText(int id, const std::string& text) = 0;

    // Combo boxes: -1 = no selection.
    virtual int GetSelection(int id) const = 0;
    virtual void Select(int id, int index) = 0;
    virtual void AddItem(int id, const std::string& text) = 0;

    // IP address control: first number in the top byte.
    virtual uint32_t GetIp(int id) const = 0;
    virtual void SetIp(int id, uint32_t address) = 0;
    // How many of the control's four boxes hold a number from 0 to 255: GetIp
    // of anything but four is not what the operator typed.
    virtual int IpFilledFields(int) const { return 4; }

    virtual bool IsChecked(int id) const = 0;
    virtual void Check(int id, bool checked) = 0;

    virtual void Enable(int id, bool enabled) = 0;
    virtual void SetReadOnly(int id, bool readOnly) = 0;
    virtual void Show(int id, bool shown) = 0;

    // Posted to the page (queued; the codec goes on): a lamp after a table's
    // reads, and a graphed value read. A page without lamps or graphs ignores them.
    virtual void LampChanged(Lamp lamp, LampState state) { (void)lamp, (void)state; }
    virtual void GraphSample(const ParamEntry& row) { (void)row; }
};

// A page without controls: reads store their values in the unit state and
// show nothing (a configuration file's read-back, a benchmark's reads).
class NoControlsPage : public IPage {
public:
    bool HasControl(int) const override { return false; }
    std::string GetText(int) const override { return {}; }
    void SetText(int, const std::string&) override {}
    int GetSelection(int) const override { return -1; }
    void Select(int, int) override {}
    void AddItem(int, const std::string&) override {}
    uint32_t GetIp(int) const override { return 0; }
    void SetIp(int, uint32_t) override {}
    bool IsChecked(int) const override { return false; }
    void Check(int, bool) override {}
    void Enable(int, bool) override {}
    void SetReadOnly(int, bool) override {}
    void Show(int, bool) override {}
};
