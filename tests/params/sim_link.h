// A simulated unit on a random loopback address (or a pseudo-terminal) and the
// real link connected to it.
#pragma once
#include "support/loopback.h"
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "link/frame.h"
#include "support/sim_rig.h"

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

// The shared rig, started and connected at once; the link keeps its own flags
// and time-outs.
class SimLink : public testsupport::SimRig {
public:
    using Transport = testsupport::Transport;

    explicit SimLink(Transport transport = Transport::Tcp, int address = 1) : SimRig(Options(transport, address)) {
        if (!StartUnit()) return;
        EXPECT_TRUE(Open());
        EXPECT_TRUE(link->IsConnected());
    }

private:
    static testsupport::SimRigOptions Options(Transport transport, int address) {
        testsupport::SimRigOptions o;
        o.transport = transport;
        o.address = address;
        o.comIndex = 6;
        o.keepSocketOnErrors = false;
        return o;
    }
};

}  // namespace testing_params
