// The link object: construction and destruction, the transaction log, the
// serial transport's configuration and the choice of transport.
#include "link/remote_control.h"

#include <chrono>

#include "link/frame.h"
#include "link/link_key.h"
#include "link/locks.h"
#include "link/requests.h"
#include "link/transaction_log.h"
#include "platform/clock.h"
#include "platform/debug_out.h"

namespace {
constexpr uint32_t kThreadEndWaitMs = 500;
}

CFerritRemoteControl::CFerritRemoteControl(IUnitEvents* window) : mainWindow(window) {
    blowfish.SetKey(kLinkKey, sizeof kLinkKey);
    DebugOut("Blowfish_Init called\r\n");
}

CFerritRemoteControl::~CFerritRemoteControl() {
    // Connect threads are cancelled and waited for, never killed: each one
    // notices the flag within its bounded connect and removes its record.
    {
        std::unique_lock<std::mutex> lock(connectThreadsLock);
        for (auto& record : connectThreads) record->cancelled = 1;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kThreadEndWaitMs);
        connectThreadsChanged.wait_until(lock, until, [this] { return connectThreads.empty(); });
        for (auto& record : connectThreads) {
            DebugOut("Terminating 0x%x forcefully\r\n", unsigned(record->threadHandle));
        }
        connectThreadsChanged.wait(lock, [this] { return connectThreads.empty(); });
    }
    tcp_.Close();
    serial_.Close();
    if (logFile) logFile->close();
    logFile.reset();
}

void CFerritRemoteControl::OpenLog(const std::string& fileName) {
    LinkGuard guard(LinkLock);
    logFileName = fileName;
    auto file = std::make_unique<std::ofstream>(fileName, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file->is_open()) {
        logFile.reset();
        return;
    }
    logFile = std::move(file);
    LogPrintf(logFile.get(), "Log file opened\r\n");
}

ResultCode CFerritRemoteControl::OpenSerialPort(int index) {
    LinkGuard guard(LinkLock);
    std::ofstream* log = logFile.get();
    portIndex = index;
    mode = LinkModeSerial;
    LogPrintf(log, "Opening COM%d\r\n", index + 1);

    auto fail = [log](ResultCode code) {
        LogPrintf(log, "Returning with error code %x\r\n", code);
        LogFlush(log);
        return code;
    };
    if (serialHandle.IsOpen()) return fail(kErrAlreadyConnected);
    const std::string device = ComPortDevicePath(index);
    if (!serialHandle.Open(device)) return fail(kErrOpenPort);
    serialOutOfStep = false;   // a port opened anew owes no earlier exchange anything
    if (!serialHandle.SetLine(baudRate)) {
        CloseSerialPort();
        return fail(kErrCommState);
    }
    SerialTimeouts wanted{readIntervalTimeout, readTotalTimeoutMultiplier, readTotalTimeoutConstant,
                          writeTotalTimeoutMultiplier, writeTotalTimeoutConstant};
    SerialTimeouts written;
    if (!serialHandle.SetTimeouts(wanted) || !serialHandle.GetTimeouts(written)) {
        CloseSerialPort();
        return fail(kErrTimeouts);
    }
    readIntervalTimeout = written.readInterval;
    readTotalTimeoutMultiplier = written.readTotalMultiplier;
    readTotalTimeoutConstant = written.readTotalConstant;
    writeTotalTimeoutMultiplier = written.writeTotalMultiplier;
    writeTotalTimeoutConstant = written.writeTotalConstant;
    openPortIndex = index;
    openDevicePath = device;
    lostPortIndex = -1;
    LogPrintf(log, "Returning OK\r\n");
    LogFlush(log);
    return kResultOk;
}

void CFerritRemoteControl::CloseSerialPort() {
    LinkGuard guard(LinkLock);
    lostPortIndex = -1;
    openDevicePath.clear();
    if (serialHandle.IsOpen()) {
        LogPrintf(logFile.get(), "Port closed\r\n");
        serialHandle.Close();
    }
    DebugOut("Serial port closed\r\n");
}

void CFerritRemoteControl::SerialDeviceGone() {
    if (!serialHandle.IsOpen()) return;
    const int index = openPortIndex;
    LogPrintf(logFile.get(), "COM%d: device gone, port closed\r\n", index + 1);
    LogFlush(logFile.get());
    DebugOut("COM%d: device gone, port closed\r\n", index + 1);
    serialHandle.Close();
    serialOutOfStep = false;
    emptyReplyCount = 0;
    lostPortIndex = followComPort ? index : -1;
    connected = 0;
    if (mainWindow) mainWindow->LinkLost();
}

bool CFerritRemoteControl::ReopenLostPort() {
    LinkGuard guard(LinkLock);
    if (mode != LinkModeSerial || serialHandle.IsOpen() || lostPortIndex < 0) return false;
    ++reopenChecks;
    // Nothing there yet: no open attempt, no log line.
    if (!DevicePathPresent(openDevicePath)) return false;
    const int index = lostPortIndex;
    // The COM number must still lead to the same path (no link now where a
    // /dev node was, or the other way round).
    if (ComPortDevicePath(index) != openDevicePath) return false;
    if (OpenSerialPort(index) != kResultOk) {
        lostPortIndex = index;   // still lost: looked for again next time
        return false;
    }
    DebugOut("COM%d: device back, port opened again\r\n", index + 1);
    return true;
}

void CFerritRemoteControl::ReconnectAfterRestart() {
    LinkGuard guard(LinkLock);
    SelectedTransport().ReconnectAfterRestart();
}

void CFerritRemoteControl::WaitForRestart() {
    FixedWait(kUnitRestartWaitMs);
    ReconnectAfterRestart();
}

bool CFerritRemoteControl::IsConnected() const {
    if (mode == LinkModeSerial) return serialHandle.IsOpen();
    return connected != 0;
}

bool CFerritRemoteControl::SetBaudRate(uint32_t rate) {
    LinkGuard guard(LinkLock);
    baudRate = rate;
    if (!serialHandle.IsOpen()) return true;
    return serialHandle.SetLine(rate);
}

ResultCode CFerritRemoteControl::SetCommTimeout(int which, uint32_t value) {
    LinkGuard guard(LinkLock);
    if (!serialHandle.IsOpen()) return kErrNoConnection;
    SerialTimeouts t;
    if (!serialHandle.GetTimeouts(t)) return kErrTimeouts;
    switch (which) {
    case 0: t.readInterval = value; break;
    case 1: t.readTotalMultiplier = value; break;
    case 2: t.readTotalConstant = value; break;
    case 3: t.writeTotalMultiplier = value; break;
    case 4: t.writeTotalConstant = value; break;
    default: break;   // any other value rewrites the five unchanged
    }
    if (!serialHandle.SetTimeouts(t)) return kErrTimeouts;
    readIntervalTimeout = t.readInterval;
    readTotalTimeoutMultiplier = t.readTotalMultiplier;
    readTotalTimeoutConstant = t.readTotalConstant;
    writeTotalTimeoutMultiplier = t.writeTotalMultiplier;
    writeTotalTimeoutConstant = t.writeTotalConstant;
    return kResultOk;
}

ResultCode CFerritRemoteControl::ProbeUnit() {
    const ResultCode result = Exchange(AnyUnitProbeRequest(), 1, ExchangeLocks::Held).result;
    connected = result == kResultOk ? 1 : 0;
    return result;
}
