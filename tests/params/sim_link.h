// A simulated unit on a random loopback address (or a pseudo-terminal) and the
// real link connected to it.
#pragma once
#include "support/loopback.h"
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fakes.h"
#include "link/frame.h"
#include "link/remote_control.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"

namespace testing_params {

using testsupport::RandomLoopbackAddress;

// The frame a request text becomes on the wire (STX..ETX).
inline std::string Framed(const std::string& text) {
    std::string frame;
    EXPECT_TRUE(BuildRequestFrame(text, frame));
    return frame;
}

// Request texts (as the codec builds them) -> their frames.
inline std::vector<std::string> Frames(std::initializer_list<std::string> texts) {
    std::vector<std::string> out;
    for (const std::string& t : texts) out.push_back(Framed(t));
    return out;
}

inline std::string Read(int address, const char* code) { return Framed(BuildReadRequest(address, code)); }

class SimLink {
public:
    enum class Transport { Tcp, Serial };

    explicit SimLink(Transport transport = Transport::Tcp, int address = 1) {
        sim::SimOptions options;
        options.drift = false;
        options.address = address;
        options.restartMs = 0;
        if (transport == Transport::Tcp) {
            options.serial = false;
            options.tcpAddress = RandomLoopbackAddress();
        } else {
            char pattern[] = "/tmp/params_tests_XXXXXX";
            folder_ = mkdtemp(pattern);
            std::filesystem::create_directories(folder_ + "/ports");
            options.ptyLinkPath = folder_ + "/ports/COM7";
            SetProgramFolder(folder_);
        }
        unit = std::make_unique<sim::SimUnit>(options);
        std::string error;
        started = unit->Start(&error);
        EXPECT_TRUE(started) << error;
        link = std::make_unique<CFerritRemoteControl>(&window);
        if (!started) return;
        if (transport == Transport::Tcp) {
            link->SelectEthernet(options.tcpAddress);
            EXPECT_EQ(link->ConnectSocket(), 0);
        } else {
            EXPECT_EQ(link->OpenSerialPort(6), kResultOk);
        }
        EXPECT_TRUE(link->IsConnected());
    }
    ~SimLink() {
        link.reset();
        unit->Stop();
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    std::vector<std::string> Requests() const { return unit->Requests(); }

    RecordingTarget window;   // the link's main window (link-lost notices)
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<CFerritRemoteControl> link;
    bool started = false;

private:
    std::string folder_;
};

}  // namespace testing_params
