#include "support/sim_rig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "link/frame.h"
#include "link/locks.h"
#include "platform/net.h"
#include "platform/program_folder.h"
#include "support/loopback.h"

namespace testsupport {

const char* TransportName(Transport transport) { return transport == Transport::Serial ? "Serial" : "Tcp"; }

SimRig::SimRig(SimRigOptions o) : options(std::move(o)), transport(options.transport) {
    if (transport == Transport::Serial) {
        std::filesystem::create_directories(folder.Path() + "/ports");
        SetProgramFolder(folder.Path());
    } else {
        tcpAddress = RandomLoopbackAddress();
    }
    link = std::make_unique<CFerritRemoteControl>(options.linkWindow ? &window : nullptr);
    if (options.keepSocketOnErrors) {
        link->SetCloseOnErrors(false, false);
    }
    if (!options.logName.empty()) link->OpenLog(LogPath());
    if (options.readConstantMs) {
        SerialTimeouts kept = link->CommTimeouts();
        kept.readTotalConstant = *options.readConstantMs;
        link->SetCommTimeouts(kept);
    }
    if (options.readMultiplierMs) {
        SerialTimeouts kept = link->CommTimeouts();
        kept.readTotalMultiplier = *options.readMultiplierMs;
        link->SetCommTimeouts(kept);
    }
}

SimRig::~SimRig() {
    link.reset();
    StopUnit();
}

bool SimRig::StartUnit() {
    sim::SimOptions so;
    so.drift = false;
    so.address = options.address;
    so.k840 = options.k840;
    so.restartMs = options.restartMs;
    so.oracle = options.oracle;
    so.seed = options.seed;
    so.latencyMs = options.latencyMs;
    if (transport == Transport::Serial) {
        so.ptyLinkPath = folder.Path() + "/ports/COM" + std::to_string(options.comIndex + 1);
    } else {
        so.serial = false;
        so.tcpAddress = tcpAddress;
    }
    unit = std::make_unique<sim::SimUnit>(so);
    std::string error;
    started = unit->Start(&error);
    if (!started) ADD_FAILURE() << "simulated unit: " << error;
    return started;
}

void SimRig::StopUnit() {
    if (unit) unit->Stop();
}

bool SimRig::Open() {
    LinkGuard guard(link->LinkMutex());
    if (transport == Transport::Serial) {
        opened = link->OpenSerialPort(options.comIndex) == kResultOk;
    } else {
        link->SelectEthernet(tcpAddress);
        opened = link->ConnectSocket() == 0;
    }
    return opened;
}

bool SimRig::Start() {
    if (!StartUnit()) return false;
    if (!Open()) return false;
    return Transact("0001rgadd;;").rc == kResultOk && link->Connected() == 1;
}

Exchange SimRig::Transact(const std::string& requestText, uint8_t logLevel) {
    Exchange out;
    char data[kReceiveBufferSize + 1] = {};
    int status = 0;
    int length = -1;
    const auto start = std::chrono::steady_clock::now();
    {
        LinkGuard guard(link->LinkMutex());
        out.rc = link->Transact(requestText.c_str(), &status, data, &length, logLevel);
    }
    out.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (out.rc == kResultOk) {
        out.status = status;
        out.data.assign(data, size_t(length));
    }
    return out;
}

std::chrono::milliseconds SimRig::AttemptBound() const {
    if (transport == Transport::Tcp) return std::chrono::milliseconds(kSocketReceiveTimeoutMs);
    return std::chrono::milliseconds(link->CommTimeouts().readTotalConstant + link->CommTimeouts().readTotalMultiplier);
}

namespace {

template <typename Condition>
bool PollUntil(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

bool SimRig::WaitForFrames(uint64_t count, std::chrono::milliseconds limit) const {
    return PollUntil([&] { return unit->Counters().framesTaken >= count; }, limit);
}

bool SimRig::WaitForReplies(uint64_t count, std::chrono::milliseconds limit) const {
    return PollUntil([&] { return unit->Counters().replies >= count; }, limit);
}

bool SimRig::WaitForInput(std::chrono::milliseconds limit) const {
    Waitable w{transport == Transport::Serial ? SocketHandle(link->SerialLine().Fd()) : link->Socket()};
    return WaitFor(&w, 1, int(limit.count())) == 1 && w.ready;
}

}  // namespace testsupport
