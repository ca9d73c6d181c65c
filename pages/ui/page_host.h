// What the simple and full demodulator pages ask of the window that holds
// them. The pages do their work through the unit session (slot, mode, apply,
// refresh, connection state, action buttons); the host adds what only the
// window can give. The main window implements it.
#pragma once
#include <QIcon>
#include <string>

#include "app/event_log.h"

class CUnitSession;
class IUnitEvents;

class IPageHost {
public:
    virtual ~IPageHost() = default;
    // The unit session with the host as its view.
    virtual CUnitSession& Session() = 0;
    // The mode radios: switches the unit to `mode` (0 narrowband, 1 DVBT).
    virtual void SwitchDemodMode(int mode) = 0;
    // The key button: opens the window that writes a descrambling key.
    virtual void OpenKeyDialog() = 0;
    // The program's icon, for the pages' own top-level windows.
    virtual QIcon ProgramIcon() const = 0;
    // Lamp states the pages receive go on to the host's lamps.
    virtual IUnitEvents& WindowEvents() = 0;
    // An operator's action that succeeded, for the event log.
    virtual void NoteEvent(EventKind kind, const std::string& detail) = 0;
};
