#include "faults/unit_rig.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "link/frame.h"
#include "link/locks.h"
#include "platform/program_folder.h"

const char* TransportName(Transport transport) { return transport == Transport::Serial ? "Serial" : "Tcp"; }

UnitRig::UnitRig(Transport t) : transport(t) {
    if (transport == Transport::Serial) {
        std::filesystem::create_directories(folder.Path() + "/ports");
        SetProgramFolder(folder.Path());
    } else {
        tcpAddress = RandomLoopbackAddress();
    }
    link = std::make_unique<CFerritRemoteControl>(&window);
    // As the desktop program sets them: a failed send or receive keeps the socket.
    link->closeOnSendError = false;
    link->closeOnReceiveError = false;
    link->readTotalTimeoutConstant = kReadConstantMs;
    link->readTotalTimeoutMultiplier = kReadMultiplierMs;
}

UnitRig::~UnitRig() {
    link.reset();
    StopUnit();
}

bool UnitRig::RestartUnit() {
    sim::SimOptions options;
    options.drift = false;
    options.restartMs = kRestartMs;
    if (transport == Transport::Serial) {
        options.ptyLinkPath = folder.Path() + "/ports/COM1";
    } else {
        options.serial = false;
        options.tcpAddress = tcpAddress;
    }
    unit = std::make_unique<sim::SimUnit>(options);
    std::string error;
    if (!unit->Start(&error)) {
        ADD_FAILURE() << "simulated unit: " << error;
        return false;
    }
    return true;
}

void UnitRig::StopUnit() {
    if (unit) unit->Stop();
}

bool UnitRig::Start() {
    if (!RestartUnit()) return false;
    {
        LinkGuard guard(LinkLock);
        if (transport == Transport::Serial) {
            if (link->OpenSerialPort(0) != kResultOk) return false;
        } else {
            link->SelectEthernet(tcpAddress);
            if (link->ConnectSocket() != 0) return false;
        }
    }
    return Transact("0001rgadd;;").rc == kResultOk && link->connected == 1;
}

Exchange UnitRig::Transact(const std::string& requestText, uint8_t logLevel) {
    Exchange out;
    char data[kReceiveBufferSize + 1] = {};
    int status = 0;
    int length = -1;
    const auto start = std::chrono::steady_clock::now();
    {
        LinkGuard guard(LinkLock);
        out.rc = link->Transact(requestText.c_str(), &status, data, &length, logLevel);
    }
    out.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (out.rc == kResultOk) {
        out.status = status;
        out.data.assign(data, size_t(length));
    }
    return out;
}

std::chrono::milliseconds UnitRig::AttemptBound() const {
    if (transport == Transport::Tcp) return std::chrono::milliseconds(kSocketReceiveTimeoutMs);
    return std::chrono::milliseconds(link->readTotalTimeoutConstant + link->readTotalTimeoutMultiplier);
}

bool UnitRig::WaitForFrames(uint64_t count, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (unit->Counters().framesTaken < count) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool UnitRig::WaitForReplies(uint64_t count, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (unit->Counters().replies < count) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool UnitRig::WaitForInput(std::chrono::milliseconds limit) const {
    pollfd p{};
    p.fd = transport == Transport::Serial ? link->serialHandle.Fd() : int(link->socket.load());
    p.events = POLLIN;
    return ::poll(&p, 1, int(limit.count())) == 1 && (p.revents & POLLIN);
}
