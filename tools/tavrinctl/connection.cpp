#include "tools/tavrinctl/connection.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "params/codec.h"
#include "platform/program_folder.h"

ResultCode OpenSerialDevice(CFerritRemoteControl& link, const std::string& devicePath,
                            const std::string& programFolderAfter) {
    char resolved[PATH_MAX];
    const std::string target = realpath(devicePath.c_str(), resolved) ? std::string(resolved) : devicePath;

    char folderTemplate[] = "/tmp/tavrinctl.XXXXXX";
    if (!mkdtemp(folderTemplate)) return kErrOpenPort;
    const std::string folder = folderTemplate;
    const std::string ports = folder + "/ports";
    const std::string com1 = ports + "/COM1";

    ResultCode result = kErrOpenPort;
    if (mkdir(ports.c_str(), 0700) == 0) {
        if (symlink(target.c_str(), com1.c_str()) == 0) {
            SetProgramFolder(folder);
            {
                LinkGuard guard(LinkLock);
                result = link.OpenSerialPort(0);
                // COM1 leads elsewhere once the link below is gone: a vanished
                // device is not looked for there.
                link.followComPort = false;
            }
            unlink(com1.c_str());
        }
        rmdir(ports.c_str());
    }
    rmdir(folder.c_str());
    SetProgramFolder(programFolderAfter);
    return result;
}

ConnectOutcome ConnectUnit(const ToolOptions& options, CFerritRemoteControl& link) {
    ConnectOutcome outcome;
    outcome.address = options.address;

    if (!options.logFile.empty()) link.OpenLog(options.logFile);
    // As the main window sets them: a failed send or receive fails only the
    // exchange; a missing socket is re-made by the next exchange.
    link.closeOnSendError = false;
    link.closeOnReceiveError = false;
    link.baudRate = options.baudRate;

    const std::string folder = options.programFolder.empty() ? ExecutableFolder() : options.programFolder;
    switch (options.transport) {
    case Transport::SerialPath:
        outcome.result = OpenSerialDevice(link, options.serialPath, folder);
        if (outcome.result != kResultOk) outcome.detail = options.serialPath;
        break;
    case Transport::ComPort: {
        SetProgramFolder(folder);
        LinkGuard guard(LinkLock);
        outcome.result = link.OpenSerialPort(options.comNumber - 1);
        if (outcome.result != kResultOk) {
            const std::string device = ComPortDevicePath(options.comNumber - 1);
            outcome.detail = "COM" + std::to_string(options.comNumber) +
                             (device.empty() ? std::string(" has no device") : " (" + device + ")");
        }
        break;
    }
    case Transport::Ethernet: {
        LinkGuard guard(LinkLock);
        link.SelectEthernet(options.ipAddress);
        const int error = link.ConnectSocket();
        if (error != 0) {
            outcome.result = kErrNoConnection;
            outcome.detail = "cannot reach " + options.ipAddress + " port " + std::to_string(kUnitTcpPort) +
                             ": " + std::strerror(error);
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
        std::string data;
        outcome.result = TransactLocked(link, probe, nullptr, &data);
        if (outcome.result != kResultOk) {
            outcome.detail = "the unit did not answer the probe";
            return outcome;
        }
        // An address outside 0..9999 would not fit the frames: an invalid reply.
        int address = 0;
        if (!ParseUnitAddress(data, address)) {
            outcome.result = kErrInvalidReply;
            outcome.detail = "the unit reported no valid address";
            return outcome;
        }
        outcome.probed = true;
        if (!options.addressGiven) outcome.address = address;
    }
    return outcome;
}
