#include "sim/sim_state.h"

#include <algorithm>

#include "link/frame.h"
#include "platform/clock.h"
#include "platform/numbers.h"
#include "sim/sim_table.h"

namespace sim {
namespace {

constexpr size_t kMinRequest = 14;   // STX, 4 digits, op, code, ';', ';', checksum, ETX
constexpr uint64_t kListenerEarlyMs = 250;   // listener back this long before a restart ends

bool Digits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsAsciiDigit(c)) return false;
    return true;
}

bool HexKey(const std::string& s, size_t length) {
    if (s.size() != length) return false;
    for (char c : s)
        if (!IsAsciiHexDigit(c)) return false;
    return true;
}

// A slot number 1..8 from the data field, or 0.
int SlotNumber(const std::string& data) {
    if (!Digits(data) || data.size() > 2) return 0;
    const int64_t n = LeadingInteger(data);
    return (n >= 1 && n <= 8) ? static_cast<int>(n) : 0;
}

const char* const kLiveStart[][2] = {
    {"1snr", "18.5"},       {"1mer", "17.9"},   {"1cer", "12.1"},   {"1dnr", "11.4"},
    {"1pre", "000012.500"}, {"1pos", "000000.000"}, {"1pkt", "000000"},
    {"1ina", "-45.6"},      {"1inb", "-47.2"},  {"1inc", "-60.3"},  {"1ind", "-61.0"},
    {"1loc", "1"},          {"eloc", "1"},
};

}  // namespace

SimUnit::State::State(const SimOptions& opts)
    : options(opts), address(opts.address), mode(opts.k840 ? 0 : (opts.mode == 1 ? 1 : 0)), rng_(opts.seed),
      faultRng_(opts.seed ^ 0x9E3779B9u) {
    for (const CodeRow* r = AllCodes(); r->code; ++r)
        if (r->store == Store::Unit) unitValues[r->code] = FactoryValue(r->code, 0, 1, options.k840);
    for (const auto& pair : kLiveStart) live[pair[0]] = options.oracle ? OracleValue(pair[0], 0, 0) : pair[1];
    FactoryReset();
    silentAfter_ = opts.silentAfter < 0 ? -1 : opts.silentAfter;
    SetRandomFaults(opts.randomFaultRate, opts.randomFaultMaxMs);
}

void SimUnit::State::FactoryReset() {
    for (int m = 0; m < 2; ++m) {
        for (int s = 0; s < 8; ++s) {
            Config& slot = slots[m][s];
            slot.clear();
            for (const CodeRow* r = AllCodes(); r->code; ++r)
                if (r->store == Store::Config)
                    slot[r->code] = options.oracle ? OracleValue(r->code, m, uint32_t(s + 1))
                                                   : FactoryValue(r->code, m, s + 1, options.k840);
        }
        lastLoaded[m] = 1;
        working[m] = slots[m][0];
    }
}

// The unit keeps the working configuration of each mode through a restart:
// a mode change, or a two-record configuration load that visits the other
// mode and comes back, finds each mode as it was last written.
void SimUnit::State::RestartLocked() {
    restartUntil_ = TickMs() + options.restartMs;
    restartPending_ = true;
    ++counters.restarts;
}

void SimUnit::State::BeginRestart() {
    std::lock_guard<std::mutex> lock(mutex);
    RestartLocked();
}

bool SimUnit::State::IsRestarting() const {
    std::lock_guard<std::mutex> lock(mutex);
    return TickMs() < restartUntil_;
}

bool SimUnit::State::AcceptsConnections() const {
    // Early enough to be listening when the restart time is over, whatever
    // the worker's wake-up delay; never more than half of the restart.
    const uint64_t margin = std::min<uint64_t>(kListenerEarlyMs, options.restartMs / 2);
    std::lock_guard<std::mutex> lock(mutex);
    return TickMs() + margin >= restartUntil_;
}

bool SimUnit::State::TakeRestartPending() {
    std::lock_guard<std::mutex> lock(mutex);
    const bool pending = restartPending_;
    restartPending_ = false;
    return pending;
}

void SimUnit::State::SetFault(Fault fault, int count, uint32_t delayMs, const std::string& onlyCode) {
    std::lock_guard<std::mutex> lock(mutex);
    fault_ = count == 0 ? Fault::None : fault;
    faultCount_ = count;
    faultDelayMs_ = delayMs;
    faultCode_ = onlyCode;
    floodStopped = false;
}

void SimUnit::State::SetRandomFaults(double rate, uint32_t maxDelayMs) {
    std::lock_guard<std::mutex> lock(mutex);
    randomRate_ = rate < 0.0 ? 0.0 : (rate > 1.0 ? 1.0 : rate);
    randomMaxMs_ = maxDelayMs;
}

void SimUnit::State::SetSilentAfter(int64_t replies) {
    std::lock_guard<std::mutex> lock(mutex);
    silentAfter_ = replies < 0 ? -1 : replies;
}

ReplyFault SimUnit::State::TakeReplyFault(const std::string& frame) {
    std::lock_guard<std::mutex> lock(mutex);
    const ReplyFault out = TakeReplyFaultLocked(frame);
    switch (out.fault) {
        case Fault::Silence: case Fault::DropConnection: case Fault::Restart: ++counters.repliesWithheld; break;
        default: break;
    }
    return out;
}

// Lock held.
ReplyFault SimUnit::State::TakeReplyFaultLocked(const std::string& frame) {
    ReplyFault out;
    if (silentAfter_ == 0) {
        out.fault = Fault::Silence;
        ++counters.faultsApplied;
        return out;
    }
    if (silentAfter_ > 0) --silentAfter_;
    if (fault_ == Fault::None) return DrawRandomFaultLocked();
    // STX, four address digits, the operation letter, then the code.
    if (!faultCode_.empty() && (frame.size() < 6 + faultCode_.size() || frame.compare(6, faultCode_.size(), faultCode_) != 0))
        return out;
    out.fault = fault_;
    out.delayMs = faultDelayMs_;
    if (out.fault == Fault::SplitTcpSegment && out.delayMs == 0) out.delayMs = 50;
    ++counters.faultsApplied;
    if (faultCount_ > 0 && --faultCount_ == 0) fault_ = Fault::None;
    return out;
}

void SimUnit::State::CountReply() {
    std::lock_guard<std::mutex> lock(mutex);
    ++counters.replies;
}

void SimUnit::State::CountSerialBytes(size_t in, size_t out) {
    std::lock_guard<std::mutex> lock(mutex);
    counters.serialBytesIn += in;
    counters.serialBytesOut += out;
}

void SimUnit::State::CountConnection() {
    std::lock_guard<std::mutex> lock(mutex);
    ++counters.tcpConnections;
}

std::string* SimUnit::State::FindValueLocked(const std::string& code) {
    const CodeRow* row = FindCode(code);
    if (!row) return nullptr;
    Config* where = row->store == Store::Config ? &working[mode] : row->store == Store::Live ? &live : &unitValues;
    auto it = where->find(code);
    return it == where->end() ? nullptr : &it->second;
}

std::string SimUnit::State::Value(const std::string& code) const {
    std::lock_guard<std::mutex> lock(mutex);
    if (code == "gadd") return std::to_string(address);
    if (code == "gudm") return std::to_string(mode);
    if (code == "dlas") return std::to_string(lastLoaded[mode]);
    auto* self = const_cast<State*>(this);
    const std::string* v = self->FindValueLocked(code);
    return v ? *v : std::string();
}

void SimUnit::State::SetValue(const std::string& code, const std::string& wire) {
    std::lock_guard<std::mutex> lock(mutex);
    if (std::string* v = FindValueLocked(code)) *v = wire;
}

std::string SimUnit::State::SlotValue(int m, int slot, const std::string& code) const {
    std::lock_guard<std::mutex> lock(mutex);
    if (m < 0 || m > 1 || (options.k840 && m == 1) || slot < 1 || slot > 8) return {};
    const auto it = slots[m][slot - 1].find(code);
    return it == slots[m][slot - 1].end() ? std::string() : it->second;
}

std::string SimUnit::State::Handle(const std::string& frame) {
    std::lock_guard<std::mutex> lock(mutex);
    const size_t n = frame.size();
    if (n < kMinRequest || uint8_t(frame[0]) != kStx || uint8_t(frame[n - 1]) != kEtx ||
        n > kMaxFrameLength) {
        ++counters.badChecksum;
        return {};
    }
    const uint8_t sum = ComputeChecksum(reinterpret_cast<const uint8_t*>(frame.data()) + 1, n - 3);
    if (sum != uint8_t(frame[n - 2])) {
        ++counters.badChecksum;
        return {};
    }
    if (TickMs() < restartUntil_) {
        ++counters.ignoredRestarting;
        return {};
    }
    const std::string to = frame.substr(1, 4);
    if (!Digits(to) || (LeadingInteger(to) != kAnyUnitAddress && LeadingInteger(to) != address)) {
        ++counters.otherAddress;
        return {};
    }
    if (requests.size() >= kRequestLogLimit) requests.erase(requests.begin(), requests.begin() + kRequestLogLimit / 2);
    requests.push_back(frame);
    if (requestLog) {
        std::fwrite(frame.data() + 1, 1, n - 3, requestLog.get());
        std::fputc('\n', requestLog.get());
        std::fflush(requestLog.get());
    }
    ++counters.framesTaken;

    const char op = frame[5];
    const std::string code = frame.substr(6, 4);
    if (frame[10] != ';' || frame[n - 3] != ';') return BuildReplyFrame(address, 'E', "");
    const std::string data = frame.substr(11, n - 3 - 11);
    std::string value;
    char status = 'E';
    if (op == 'r') {
        status = ReadLocked(code, &value) ? '1' : 'E';
    } else if (op == 'w') {
        status = WriteLocked(code, data, &value);
    }
    if (status != '1') value.clear();
    return BuildReplyFrame(address, status, value);
}

bool SimUnit::State::ReadLocked(const std::string& code, std::string* value) {
    if (code == "gadd") {
        *value = std::to_string(address);
    } else if (code == "gudm") {
        *value = std::to_string(mode);
    } else if (code == "dlas") {
        *value = std::to_string(lastLoaded[mode]);
    } else if (code == "grea") {
        *value = BulkReadLocked();
    } else {
        const CodeRow* row = FindCode(code);
        if (!row) return false;
        if (row->store == Store::Live && options.oracle) {
            live[code] = OracleValue(code, mode, ++oracleCount_);
        } else if (row->store == Store::Live) {
            DriftLocked(code);
        }
        const std::string* v = FindValueLocked(code);
        if (!v) return false;
        *value = *v;
    }
    return true;
}

char SimUnit::State::WriteLocked(const std::string& code, const std::string& data, std::string* value) {
    if (code == "gadd") {
        // Four digits; 9999 stays the any-unit address.
        if (data.size() != 4 || !Digits(data) || LeadingInteger(data) == kAnyUnitAddress) return 'E';
        address = static_cast<int>(LeadingInteger(data));
        *value = data;
        return '1';
    }
    if (code == "gudm") {
        if (options.k840 || (data != "0" && data != "1")) return 'E';
        mode = data == "1" ? 1 : 0;
        RestartLocked();
        *value = data;
        return '1';
    }
    if (code == "ddef") {
        if (data != "1") return 'E';
        FactoryReset();
        RestartLocked();
        *value = data;
        return '1';
    }
    if (code == "dsto" || code == "dloa" || code == "dlas") {
        const int slot = SlotNumber(data);
        if (slot == 0) return 'E';
        if (code == "dsto") {
            slots[mode][slot - 1] = working[mode];
        } else {
            if (code == "dloa") working[mode] = slots[mode][slot - 1];
            lastLoaded[mode] = slot;
        }
        *value = std::to_string(slot);
        return '1';
    }
    if (code == "zebs" || code == "zaes" || code == "za25") {
        if (!HexKey(data, code == "zebs" ? 8 : 32)) return 'E';
        keys[code] = data;
        return '1';   // a key is never echoed
    }
    const CodeRow* row = FindCode(code);
    if (!row || !row->writable || row->store != Store::Config) return 'E';
    std::string stored;
    if (!NormaliseWrite(*row, mode, data, &stored)) return 'E';
    working[mode][code] = stored;
    *value = stored;
    return '1';
}

// One long reply: the live values and the tuning, "code=value," after each other.
std::string SimUnit::State::BulkReadLocked() {
    std::string out;
    for (const CodeRow* r = AllCodes(); r->code; ++r) {
        if (r->store == Store::Unit || r->form == Form::Text) continue;
        const std::string* v = FindValueLocked(r->code);
        if (!v) continue;
        const std::string item = std::string(r->code) + "=" + *v + ",";
        if (out.size() + item.size() > 200) break;
        out += item;
    }
    while (out.size() < 140) out.push_back('-');
    return out;
}

}  // namespace sim
