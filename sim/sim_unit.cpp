#include "sim/sim_unit.h"

#include <mutex>

#include "link/frame.h"
#include "platform/numbers.h"
#include "sim/sim_io.h"
#include "sim/sim_state.h"

namespace sim {
namespace {

struct FaultNameRow {
    Fault fault;
    const char* name;
};
const FaultNameRow kFaultNames[] = {
    {Fault::None, "None"},
    {Fault::Silence, "Silence"},
    {Fault::NoiseBeforeStx, "NoiseBeforeStx"},
    {Fault::BadChecksum, "BadChecksum"},
    {Fault::NoEtx, "NoEtx"},
    {Fault::SplitTcpSegment, "SplitTcpSegment"},
    {Fault::DropConnection, "DropConnection"},
    {Fault::SlowReply, "SlowReply"},
    {Fault::ReplyTwice, "ReplyTwice"},
    {Fault::ReplyTwiceApart, "ReplyTwiceApart"},
    {Fault::Flood, "Flood"},
    {Fault::Drip, "Drip"},
    {Fault::OddAddress, "OddAddress"},
    {Fault::Restart, "Restart"},
};

}  // namespace

const char* FaultName(Fault fault) {
    for (const auto& row : kFaultNames)
        if (row.fault == fault) return row.name;
    return "None";
}

bool ParseFault(const std::string& name, Fault* fault) {
    for (const auto& row : kFaultNames) {
        if (AsciiLower(name) == AsciiLower(row.name)) {
            *fault = row.fault;
            return true;
        }
    }
    return false;
}

std::string BuildReplyFrame(int address, char status, const std::string& data) {
    std::string frame = FormatRequest("%c%04d%c", char(kStx), address, status);
    frame += data;
    frame.push_back(';');
    frame.push_back(char(ComputeChecksum(reinterpret_cast<const uint8_t*>(frame.data()) + 1, frame.size() - 1)));
    frame.push_back(char(kEtx));
    return frame;
}

SimUnit::SimUnit(SimOptions options) : state_(std::make_unique<State>(options)) {}

SimUnit::~SimUnit() { Stop(); }

bool SimUnit::Start(std::string* error) {
    if (io_) {
        if (error) *error = "already started";
        return false;
    }
    if (!state_->options.requestLogPath.empty() && !state_->requestLog) {
        state_->requestLog.reset(std::fopen(state_->options.requestLogPath.c_str(), "a"));
        if (!state_->requestLog) {
            if (error) *error = "cannot open the request log " + state_->options.requestLogPath;
            return false;
        }
    }
    auto io = std::make_unique<Io>(*state_);
    if (!io->Start(error)) return false;
    io_ = std::move(io);
    return true;
}

void SimUnit::Stop() {
    if (io_) io_->Stop();
    io_.reset();
}

std::string SimUnit::PtySlavePath() const { return io_ ? io_->slavePath : std::string(); }
std::string SimUnit::TcpAddress() const {
    return io_ && !io_->tcpAddress.empty() ? io_->tcpAddress : std::string();
}
uint16_t SimUnit::TcpPort() const { return io_ ? io_->tcpPort : 0; }

void SimUnit::SetFault(Fault fault, int count, uint32_t delayMs, const std::string& onlyCode) {
    state_->SetFault(fault, count, delayMs, onlyCode);
}
void SimUnit::ClearFault() { state_->SetFault(Fault::None, 0, 0, ""); }
void SimUnit::StopFlood() { state_->floodStopped = true; }
void SimUnit::SetSilentAfter(int64_t replies) { state_->SetSilentAfter(replies); }

void SimUnit::SetRandomFaults(double rate, uint32_t maxDelayMs) { state_->SetRandomFaults(rate, maxDelayMs); }

void SimUnit::RestartNow() {
    state_->BeginRestart();
    if (io_) io_->Wake();
}

std::vector<std::string> SimUnit::Requests() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->requests;
}
void SimUnit::ClearRequests() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.clear();
}
SimCounters SimUnit::Counters() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->counters;
}

std::string SimUnit::Value(const std::string& code) const { return state_->Value(code); }
void SimUnit::SetValue(const std::string& code, const std::string& wireValue) {
    state_->SetValue(code, wireValue);
}
std::string SimUnit::SlotValue(int mode, int slot, const std::string& code) const {
    return state_->SlotValue(mode, slot, code);
}
int SimUnit::Address() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->address;
}
int SimUnit::Mode() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->mode;
}
int SimUnit::LastLoadedSlot() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lastLoaded[state_->mode];
}
bool SimUnit::IsRestarting() const { return state_->IsRestarting(); }
bool SimUnit::IsK840() const { return state_->options.k840; }
std::string SimUnit::LastKey(const std::string& code) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    const auto it = state_->keys.find(code);
    return it == state_->keys.end() ? std::string() : it->second;
}

std::string SimUnit::HandleFrame(const std::string& frame) { return state_->Handle(frame); }

}  // namespace sim
