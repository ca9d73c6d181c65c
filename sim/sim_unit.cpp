// Placeholder bodies while the unit is being built; Start reports that.
#include "sim/sim_unit.h"

#include "link/frame.h"

namespace sim {

struct SimUnit::State {
    SimOptions options;
};
struct SimUnit::Io {};

const char* FaultName(Fault) { return "None"; }
bool ParseFault(const std::string&, Fault*) { return false; }

SimUnit::SimUnit(SimOptions options) : state_(std::make_unique<State>()), io_(std::make_unique<Io>()) {
    state_->options = std::move(options);
}
SimUnit::~SimUnit() = default;
bool SimUnit::Start(std::string* error) {
    if (error) *error = "not yet available";
    return false;
}
void SimUnit::Stop() {}
std::string SimUnit::PtySlavePath() const { return {}; }
std::string SimUnit::TcpAddress() const { return {}; }
uint16_t SimUnit::TcpPort() const { return 0; }
void SimUnit::SetFault(Fault, int, uint32_t) {}
void SimUnit::ClearFault() {}
void SimUnit::RestartNow() {}
std::vector<std::string> SimUnit::Requests() const { return {}; }
void SimUnit::ClearRequests() {}
SimCounters SimUnit::Counters() const { return {}; }
std::string SimUnit::Value(const std::string&) const { return {}; }
void SimUnit::SetValue(const std::string&, const std::string&) {}
std::string SimUnit::SlotValue(int, int, const std::string&) const { return {}; }
int SimUnit::Address() const { return state_->options.address; }
int SimUnit::Mode() const { return 0; }
int SimUnit::LastLoadedSlot() const { return 1; }
bool SimUnit::IsRestarting() const { return false; }
bool SimUnit::IsK840() const { return state_->options.k840; }
std::string SimUnit::LastKey(const std::string&) const { return {}; }
std::string SimUnit::HandleFrame(const std::string&) { return {}; }

std::string BuildReplyFrame(int address, char status, const std::string& data) {
    std::string frame = FormatRequest("%c%04d%c%s;", char(kStx), address, status, data.c_str());
    frame.push_back(char(ComputeChecksum(reinterpret_cast<const uint8_t*>(frame.data()) + 1, frame.size() - 1)));
    frame.push_back(char(kEtx));
    return frame;
}

}  // namespace sim
