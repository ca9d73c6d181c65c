// The link object: construction and destruction, the transaction log, the
// serial port's operations and the choice of transport.
#include "link/remote_control.h"

#include "link/frame.h"
#include "link/locks.h"
#include "link/requests.h"
#include "link/transaction_log.h"
#include "platform/clock.h"
#include "platform/debug_out.h"

CFerritRemoteControl::CFerritRemoteControl(IUnitEvents* window) : mainWindow(window) {}

CFerritRemoteControl::~CFerritRemoteControl() {
    // Connect threads are cancelled and waited for, never killed.
    tcp_.EndConnectThreads();
    tcp_.Close();
    serial_.Close();
    if (logFile_) logFile_->close();
    logFile_.reset();
}

void CFerritRemoteControl::OpenLog(const std::string& fileName) {
    LinkGuard guard(linkMutex_);
    logFileName_ = fileName;
    auto file = std::make_unique<std::ofstream>(fileName, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file->is_open()) {
        logFile_.reset();
        return;
    }
    logFile_ = std::move(file);
    LogPrintf(logFile_.get(), "Log file opened\r\n");
}

void CFerritRemoteControl::OpenLog(std::streambuf* sink, const std::string& name) {
    LinkGuard guard(linkMutex_);
    logFileName_ = name;
    // A file stream that is never opened, writing through `sink`.
    auto stream = std::make_unique<std::ofstream>();
    static_cast<std::ostream&>(*stream).rdbuf(sink);
    logFile_ = std::move(stream);
    LogPrintf(logFile_.get(), "Log file opened\r\n");
}

ResultCode CFerritRemoteControl::OpenSerialPort(int index) {
    LinkGuard guard(linkMutex_);
    portIndex_ = index;
    mode_ = LinkModeSerial;
    return serial_.Open(index);
}

void CFerritRemoteControl::CloseSerialPort() {
    LinkGuard guard(linkMutex_);
    serial_.CloseByOperator();
}

void CFerritRemoteControl::SerialDeviceGone() {
    if (!serial_.CloseGone()) return;
    emptyReplyCount_ = 0;
    connected_ = 0;
    if (mainWindow) mainWindow->LinkLost();
}

bool CFerritRemoteControl::ReopenLostPort() {
    LinkGuard guard(linkMutex_);
    if (mode_ != LinkModeSerial) return false;
    return serial_.ReopenLost();
}

void CFerritRemoteControl::ReconnectAfterRestart() {
    LinkGuard guard(linkMutex_);
    // What the unit sent before it went away is looked at (and counted) before
    // a new connection replaces the old one: a reply that came after the last
    // one taken (the true answer to a request that took an earlier reply)
    // would otherwise go unseen with it.
    ExpectQuiet(0);
    SelectedTransport().ReconnectAfterRestart();
}

void CFerritRemoteControl::WaitForRestart() {
    FixedWait(kUnitRestartWaitMs);
    ReconnectAfterRestart();
}

bool CFerritRemoteControl::IsConnected() const {
    if (mode_ == LinkModeSerial) return serial_.IsOpen();
    return connected_ != 0;
}

bool CFerritRemoteControl::SetBaudRate(uint32_t rate) {
    LinkGuard guard(linkMutex_);
    return serial_.SetBaudRate(rate);
}

ResultCode CFerritRemoteControl::SetCommTimeout(int which, uint32_t value) {
    LinkGuard guard(linkMutex_);
    return serial_.SetTimeout(which, value);
}

void CFerritRemoteControl::SetCommTimeouts(const SerialTimeouts& timeouts) {
    LinkGuard guard(linkMutex_);
    serial_.KeepTimeouts(timeouts);
}

ResultCode CFerritRemoteControl::ProbeUnit() {
    const ResultCode result = Exchange(AnyUnitProbeRequest(), 1, ExchangeLocks::Held).result;
    connected_ = result == kResultOk ? 1 : 0;
    return result;
}
