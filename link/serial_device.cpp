#include "link/serial_device.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "link/locks.h"
#include "link/remote_control.h"
#include "platform/program_folder.h"

ResultCode OpenSerialDevice(CFerritRemoteControl& link, const std::string& devicePath) {
    const std::string folderBefore = ProgramFolder();
    const FolderMode modeBefore = ProgramFolderMode();
    char resolved[PATH_MAX];
    const std::string target = realpath(devicePath.c_str(), resolved) ? std::string(resolved) : devicePath;

    char folderTemplate[] = "/tmp/tavrin_port.XXXXXX";
    if (!mkdtemp(folderTemplate)) return kErrOpenPort;
    const std::string folder = folderTemplate;
    const std::string ports = folder + "/ports";
    const std::string com1 = ports + "/COM1";

    ResultCode result = kErrOpenPort;
    if (mkdir(ports.c_str(), 0700) == 0) {
        if (symlink(target.c_str(), com1.c_str()) == 0) {
            SetProgramFolder(folder, FolderMode::Portable);
            {
                LinkGuard guard(link.LinkMutex());
                result = link.OpenSerialPort(0);
                // COM1 leads elsewhere once the link below is gone: a vanished
                // device is not looked for there.
                link.StopFollowingComPort();
            }
            unlink(com1.c_str());
        }
        rmdir(ports.c_str());
    }
    rmdir(folder.c_str());
    SetProgramFolder(folderBefore, modeBefore);
    return result;
}
