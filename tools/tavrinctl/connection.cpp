#include "tools/tavrinctl/connection.h"

#include <cerrno>
#include <cstring>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "link/serial_device.h"
#include "params/codec.h"
#include "platform/files.h"
#include "platform/program_folder.h"

namespace {

// Why a device could not be opened, as far as its path tells: the system's
// text when it is missing or out of reach, else "" (the link refused it).
std::string DeviceReason(const std::string& path) {
    std::string why;
    return CanReadAndWrite(path, why) ? std::string() : why;
}

}  // namespace

std::string ConnectionName(const ToolOptions& options) {
    switch (options.transport) {
    case Transport::SerialPath: return options.serialPath;
    case Transport::ComPort: return "COM" + std::to_string(options.comNumber);
    case Transport::Ethernet: return options.ipAddress;
    case Transport::None: break;
    }
    return {};
}

ConnectOutcome ConnectUnit(const ToolOptions& options, CFerritRemoteControl& link) {
    ConnectOutcome outcome;
    outcome.address = options.address;

    if (!options.logFile.empty()) link.OpenLog(options.logFile);
    // As the main window sets them: a failed send or receive fails only the
    // exchange; a missing socket is re-made by the next exchange.
    link.SetCloseOnErrors(false, false);
    link.SetBaudRate(options.baudRate);

    switch (options.transport) {
    case Transport::SerialPath:
        outcome.result = OpenSerialDevice(link, options.serialPath);
        if (outcome.result != kResultOk) outcome.reason = DeviceReason(options.serialPath);
        break;
    case Transport::ComPort: {
        // COMn as the program folder names it (--program-folder, else this
        // program's own folder, portable or installed).
        LinkGuard guard(link.LinkMutex());
        outcome.result = link.OpenSerialPort(options.comNumber - 1);
        if (outcome.result != kResultOk) {
            const std::string device = ComPortDevicePath(options.comNumber - 1);
            const std::string why = device.empty() ? std::string() : DeviceReason(device);
            outcome.reason = device.empty() ? "no device" : why.empty() ? device : device + ": " + why;
        }
        break;
    }
    case Transport::Ethernet: {
        LinkGuard guard(link.LinkMutex());
        link.SelectEthernet(options.ipAddress);
        const int error = link.ConnectSocket();
        if (error != 0) {
            outcome.result = kErrNoConnection;
            outcome.reason = "port " + std::to_string(kUnitTcpPort) + ": " + std::strerror(error);
        }
        break;
    }
    case Transport::None:
        outcome.result = kErrNoConnection;
        break;
    }
    if (outcome.result != kResultOk) return outcome;

    if (!options.noProbe) {
        // The any-unit address request the main window sends after opening a port.
        const std::string probe = AnyUnitProbeRequest();
        const UnitReply reply = link.Exchange(probe);
        const std::string& data = reply.data;
        outcome.result = reply.result;
        if (outcome.result != kResultOk) {
            outcome.reason = "the unit did not answer the probe";
            return outcome;
        }
        // An address outside 0..9999 would not fit the frames: an invalid reply.
        int address = 0;
        if (!ParseUnitAddress(data, address)) {
            outcome.result = kErrInvalidReply;
            outcome.reason = "the unit reported no valid address";
            return outcome;
        }
        outcome.probed = true;
        if (!options.addressGiven) outcome.address = address;
    }
    return outcome;
}
