#include "tools/tavrin_bridge/metrics.h"

#include <charconv>
#include <cstdio>
#include <cmath>

#include "platform/clock.h"
#include "platform/version.h"

namespace {

struct ResultRow {
    ResultCode code;
    const char* label;
    // What a failure says about the unit, in words that hold for a serial
    // line and a TCP connection alike (the link's own texts name the serial
    // port for both).
    const char* words;
};

// Every code the link returns, then "other" for anything else.
constexpr ResultRow kResultRows[] = {
    {kResultOk, "ok", "an accepted reply"},
    {kErrNoConnection, "no_connection", "no connection"},
    {kErrInvalidCommand, "invalid_command", "a request no frame can carry"},
    {kErrWrite, "write_error", "the request could not be sent"},
    {kErrRead, "read_error", "no reply could be read"},
    {kErrTimedOut, "timed_out", "no reply in time"},
    {kErrInvalidReply, "invalid_reply", "an invalid reply"},
    {kErrBadChecksum, "bad_checksum", "a reply with a bad checksum"},
    {kErrNoEtx, "no_etx", "a reply without its end"},
};
constexpr size_t kResultRowCount = sizeof kResultRows / sizeof kResultRows[0];
constexpr size_t kOtherSlot = kResultRowCount;

size_t ResultSlot(ResultCode code) {
    for (size_t i = 0; i < kResultRowCount; ++i)
        if (kResultRows[i].code == code) return i;
    return kOtherSlot;
}

// A sample value in the exposition format, whatever the locale.
std::string Number(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
    char buffer[64];
    // Whole numbers as digits ("1750000000" hertz, not "1.75e+09").
    const bool whole = std::fabs(v) < 1e15 && v == std::trunc(v);
    const auto end = whole ? std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed).ptr
                           : std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    return std::string(buffer, end);
}

// A label value: printable ASCII only, with '\\' and '"' escaped, so that
// texts from the unit cannot break the exposition.
std::string LabelValue(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c >= 0x20 && c < 0x7f) {
            out += c;
        } else {
            out += '?';
        }
    }
    return out;
}

struct Writer {
    std::string text;
    std::string unitLabel;

    void Family(const char* name, const char* type, const char* help) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    // name{unit="..."[,extra]} value
    void Sample(const std::string& name, const std::string& extra, const std::string& value) {
        text += name + "{unit=\"" + unitLabel + "\"" + (extra.empty() ? "" : "," + extra) + "} " + value + "\n";
    }
};

struct FamilyHelp {
    const char* name;
    const char* type;
    const char* help;
    LampState Lamps::*lamp = nullptr;   // a lamp gauge: 1 green, 0 red, none while grey
};

// The families fed by the poll cycle: the lamp gauges and the readings.
constexpr FamilyHelp kPollFamilies[] = {
    {"tavrin_demod_locked", "gauge", "1 when the demodulator is locked.", &Lamps::demodLock},
    {"tavrin_packet_errors", "gauge", "Packet errors the unit reports."},
    {"tavrin_decoder_locked", "gauge", "1 when the decoder is locked.", &Lamps::decoderLock},
    {"tavrin_snr_db", "gauge", "Signal to noise ratio of an input, dB."},
    {"tavrin_input_level_dbm", "gauge", "Level of an input, dBm."},
    {"tavrin_ber_pre_errors", "gauge", "The BER pre-errors the unit reports, before error correction."},
    {"tavrin_ber_post_errors", "gauge", "The BER post-errors the unit reports, after error correction."},
    {"tavrin_config_slot", "gauge", "The configuration slot last loaded, 1 to 8."},
    {"tavrin_demod_mode", "gauge", "The demodulator mode: 1 DVB-T, any other value narrowband."},
    {"tavrin_input_frequency_hertz", "gauge", "The input frequency the demodulator is tuned to, Hz."},
};

// A lamp as a gauge value; nothing while it is grey.
void LampSample(Writer& w, const char* name, LampState state) {
    if (state != LampState::Grey) w.Sample(name, "", state == LampState::Green ? "1" : "0");
}

std::string AlarmLabels(const std::string& alarm, AlarmSeverity severity) {
    return "alarm=\"" + alarm + "\",severity=\"" + AlarmSeverityName(severity) + "\"";
}

}  // namespace

std::string ResultWords(ResultCode code) {
    const size_t slot = ResultSlot(code);
    if (slot != kOtherSlot) return kResultRows[slot].words;
    char text[32];
    std::snprintf(text, sizeof text, "result 0x%08x", unsigned(code));
    return text;
}

const char* ResultLabel(ResultCode code) {
    const size_t slot = ResultSlot(code);
    return slot == kOtherSlot ? "other" : kResultRows[slot].label;
}

BridgeMetrics::BridgeMetrics(std::string unitName, const AlarmRules& alarmRules)
    : unit_(std::move(unitName)), alarms_(alarmRules) {
    TakeAlarms();
}

void BridgeMetrics::TakeAlarms() {
    s_.alarms.clear();
    const AlarmRules& rules = alarms_.Rules();
    for (const AlarmId& id : CAlarmModel::AllIds()) {
        if (!AlarmWatched(rules, id)) continue;
        s_.alarms.push_back({id.Name(), rules.Of(id.kind).severity, alarms_.IsActive(id), alarms_.RaiseCount(id)});
    }
}

std::vector<AlarmEvent> BridgeMetrics::EvaluateAlarms(const PollSample& sample, int64_t steadyMs) {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<AlarmEvent> events = alarms_.Evaluate(sample, kEveryPollItem, steadyMs);
    TakeAlarms();
    return events;
}

void BridgeMetrics::SetUnrequestedReplies(uint64_t count) {
    std::lock_guard<std::mutex> guard(lock_);
    s_.unrequested = count;
}

void BridgeMetrics::RecordExchange(ResultCode result, double seconds) {
    std::lock_guard<std::mutex> guard(lock_);
    s_.up = result == kResultOk;
    if (s_.up) s_.lastSuccess = double(WallClockMs()) / 1000.0;
    ++s_.exchanges[ResultSlot(result)];
    for (size_t i = 0; i < kDurationBucketCount; ++i)
        if (seconds <= kDurationBuckets[i]) ++s_.buckets[i];
    ++s_.durationCount;
    s_.durationSum += seconds;
}

void BridgeMetrics::SetPollCycle(const PollValues& values, const Lamps& lamps, double seconds) {
    std::lock_guard<std::mutex> guard(lock_);
    s_.poll = values;
    s_.lamps = lamps;
    s_.pollCycleSeconds = seconds;
}

void BridgeMetrics::SetUnitInfo(std::optional<UnitInfo> info) {
    std::lock_guard<std::mutex> guard(lock_);
    s_.info = std::move(info);
}

void BridgeMetrics::SetClients(int count) {
    std::lock_guard<std::mutex> guard(lock_);
    s_.clients = count;
}

void BridgeMetrics::CountRefusedClient() {
    std::lock_guard<std::mutex> guard(lock_);
    ++s_.refusedClients;
}

void BridgeMetrics::CountNotAllowedClient() {
    std::lock_guard<std::mutex> guard(lock_);
    ++s_.notAllowedClients;
}

void BridgeMetrics::CountRefusedRequest() {
    std::lock_guard<std::mutex> guard(lock_);
    ++s_.refusedRequests;
}

std::string BridgeMetrics::Exposition() const {
    Snapshot s;
    {
        std::lock_guard<std::mutex> guard(lock_);
        s = s_;
    }
    Writer w;
    w.unitLabel = LabelValue(unit_);
    w.Family("tavrin_up", "gauge", "1 when the last exchange with the unit succeeded.");
    w.Sample("tavrin_up", "", s.up ? "1" : "0");
    w.Family("tavrin_last_success_timestamp_seconds", "gauge",
             "Unix time of the last exchange the unit answered (none before the first).");
    if (s.lastSuccess) w.Sample("tavrin_last_success_timestamp_seconds", "", Number(*s.lastSuccess));

    for (const FamilyHelp& f : kPollFamilies) {
        w.Family(f.name, f.type, f.help);
        if (f.lamp != nullptr) LampSample(w, f.name, s.lamps.*f.lamp);
        for (size_t i = 0; i < kBridgePollRows; ++i) {
            const PollMetric& m = BridgePollMetric(i);
            if (m.family == nullptr || std::string(m.family) != f.name || !s.poll[i]) continue;
            w.Sample(m.family, m.input ? std::string("input=\"") + m.input + "\"" : std::string(), Number(*s.poll[i]));
        }
    }
    // The reception lamp: locked and no packet errors.
    w.Family("tavrin_reception_ok", "gauge", "1 when the demodulator is locked and no packet errors are reported.");
    LampSample(w, "tavrin_reception_ok", s.lamps.reception);

    // The alarm rules (--alarm-rules) on the poll cycle.
    w.Family("tavrin_alarm_active", "gauge", "1 while the alarm is raised by its rule (--alarm-rules), else 0.");
    for (const AlarmSeries& a : s.alarms)
        w.Sample("tavrin_alarm_active", AlarmLabels(a.alarm, a.severity), a.active ? "1" : "0");
    w.Family("tavrin_alarm_raises_total", "counter", "Times the alarm was raised since the bridge started.");
    for (const AlarmSeries& a : s.alarms)
        w.Sample("tavrin_alarm_raises_total", AlarmLabels(a.alarm, a.severity), std::to_string(a.raises));

    w.Family("tavrin_exchanges_total", "counter", "Exchanges with the unit, by result.");
    for (size_t i = 0; i <= kResultRowCount; ++i) {
        const char* label = i == kOtherSlot ? "other" : kResultRows[i].label;
        w.Sample("tavrin_exchanges_total", std::string("result=\"") + label + "\"", std::to_string(s.exchanges[i]));
    }

    w.Family("tavrin_unrequested_replies_total", "counter",
             "Replies the unit sent that no request asked for (one may have answered another client's request).");
    w.Sample("tavrin_unrequested_replies_total", "", std::to_string(s.unrequested));

    w.Family("tavrin_exchange_duration_seconds", "histogram", "Time of one exchange with the unit.");
    for (size_t i = 0; i < kDurationBucketCount; ++i)
        w.Sample("tavrin_exchange_duration_seconds_bucket", "le=\"" + Number(kDurationBuckets[i]) + "\"",
                 std::to_string(s.buckets[i]));
    w.Sample("tavrin_exchange_duration_seconds_bucket", "le=\"+Inf\"", std::to_string(s.durationCount));
    w.Sample("tavrin_exchange_duration_seconds_sum", "", Number(s.durationSum));
    w.Sample("tavrin_exchange_duration_seconds_count", "", std::to_string(s.durationCount));

    w.Family("tavrin_poll_cycle_duration_seconds", "gauge", "Time the last poll cycle took, all its exchanges.");
    if (s.pollCycleSeconds) w.Sample("tavrin_poll_cycle_duration_seconds", "", Number(*s.pollCycleSeconds));

    w.Family("tavrin_bridge_clients", "gauge", "Clients connected to the bridge.");
    w.Sample("tavrin_bridge_clients", "", std::to_string(s.clients));
    w.Family("tavrin_bridge_clients_refused_total", "counter", "Clients refused because the most were connected.");
    w.Sample("tavrin_bridge_clients_refused_total", "", std::to_string(s.refusedClients));
    w.Family("tavrin_bridge_connections_not_allowed_total", "counter",
             "Connections closed at once because their address is in no --allow range.");
    w.Sample("tavrin_bridge_connections_not_allowed_total", "", std::to_string(s.notAllowedClients));
    w.Family("tavrin_bridge_requests_refused_total", "counter",
             "Requests other than reads that a read-only listener answered with status E.");
    w.Sample("tavrin_bridge_requests_refused_total", "", std::to_string(s.refusedRequests));

    w.Family("tavrin_unit_info", "gauge", "The unit's model, firmware, serial number and address.");
    if (s.info) {
        w.Sample("tavrin_unit_info",
                 "model=\"" + LabelValue(s.info->model) + "\",firmware=\"" + LabelValue(s.info->firmware) +
                     "\",serial=\"" + LabelValue(s.info->serial) + "\",address=\"" + LabelValue(s.info->address) +
                     "\"",
                 "1");
    }
    w.Family("tavrin_build_info", "gauge", "The bridge's version, as --version prints it.");
    w.Sample("tavrin_build_info", "version=\"" + LabelValue(ProgramVersion()) + "\"", "1");
    return w.text;
}

namespace {

AgentAlarm AgentAlarmOf(const Alarm& a) {
    return {a.serial, a.id.Name(), a.id.Title(), a.severity, a.raisedUtcMs, a.value};
}

}  // namespace

AgentNotice AgentNoticeOf(const AlarmEvent& event) {
    return {event.transition == AlarmTransition::Raised, AgentAlarmOf(event.alarm), event.value};
}

AgentView BridgeMetrics::View() const {
    std::lock_guard<std::mutex> guard(lock_);
    AgentView v;
    v.unitName = unit_;
    if (s_.info) {
        v.model = s_.info->model;
        v.firmware = s_.info->firmware;
        v.serial = s_.info->serial;
        v.address = s_.info->address;
    }
    v.linkUp = s_.up;
    v.lamps = s_.lamps;
    // The readings by their metric family, as the exposition has them.
    for (size_t i = 0; i < kBridgePollRows; ++i) {
        const PollMetric& m = BridgePollMetric(i);
        if (m.family == nullptr || !s_.poll[i]) continue;
        const std::string family = m.family;
        const int input = m.input ? m.input[0] - 'a' : -1;
        if (family == "tavrin_packet_errors") v.packetErrors = s_.poll[i];
        if (family == "tavrin_config_slot") v.configSlot = s_.poll[i];
        if (family == "tavrin_demod_mode") v.demodMode = s_.poll[i];
        if (input < 0 || input >= kAlarmInputCount) continue;
        if (family == "tavrin_snr_db") v.inputs[size_t(input)].snr = s_.poll[i];
        if (family == "tavrin_input_level_dbm") v.inputs[size_t(input)].level = s_.poll[i];
    }
    for (const Alarm& a : alarms_.Active()) v.alarms.push_back(AgentAlarmOf(a));
    return v;
}
