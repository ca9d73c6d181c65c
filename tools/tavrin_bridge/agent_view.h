// What the SNMP agent serves, as plain data taken from the metrics snapshot
// (BridgeMetrics::View), and the alarm notices it sends: the agent's code is
// the only code that sees Net-SNMP, and it sees nothing of the bridge but this.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/alarms.h"
#include "params/lamps.h"

// One active alarm, or the alarm of a notice.
struct AgentAlarm {
    uint64_t serial = 0;
    std::string name;    // "snr_low_a"
    std::string title;   // "SNR low, input A"
    AlarmSeverity severity = AlarmSeverity::Critical;
    int64_t raisedUtcMs = 0;
    double value = 0;    // read when it was raised
};

// An alarm raised, or cleared (withdrawn alike), with the value of that cycle.
struct AgentNotice {
    bool raised = true;
    AgentAlarm alarm;
    std::optional<double> value;
};
AgentNotice AgentNoticeOf(const AlarmEvent& event);

struct AgentInput {
    std::optional<double> snr;     // dB
    std::optional<double> level;   // dBm
};

struct AgentView {
    std::string unitName;
    std::string model, firmware, serial, address;   // empty until the unit answered
    bool linkUp = false;
    Lamps lamps;   // grey: unknown
    std::optional<double> packetErrors, configSlot, demodMode;
    std::array<AgentInput, kAlarmInputCount> inputs{};   // A to D
    std::vector<AgentAlarm> alarms;                      // active, oldest first
};
