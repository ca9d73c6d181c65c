#include "link/serial_device.h"

#include "link/locks.h"
#include "link/remote_control.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"

ResultCode OpenSerialDevice(CFerritRemoteControl& link, const std::string& devicePath) {
    const std::string folderBefore = ProgramFolder();
    const FolderMode modeBefore = ProgramFolderMode();
    const std::string folder = MakeComPortAlias(devicePath);
    if (folder.empty()) return kErrOpenPort;
    SetProgramFolder(folder, FolderMode::Portable);
    ResultCode result = kErrOpenPort;
    {
        LinkGuard guard(link.LinkMutex());
        result = link.OpenSerialPort(0);
        // COM1 leads elsewhere once the alias below is gone: a vanished
        // device is not looked for there.
        link.StopFollowingComPort();
    }
    RemoveComPortAlias(folder);
    SetProgramFolder(folderBefore, modeBefore);
    return result;
}
