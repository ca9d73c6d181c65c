// The bridge's view of its unit, kept for scrapes: the last poll values, the
// unit's identity, exchange counts and times, the number of clients. Writers
// and the scrape share one short lock; a scrape never waits for the unit.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include <vector>

#include "link/result_codes.h"
#include "params/alarms.h"
#include "params/lamps.h"
#include "tools/tavrin_bridge/agent_view.h"
#include "tools/tavrin_bridge/poll_table.h"

struct UnitInfo {
    std::string model, firmware, serial, address;
};

// Buckets of tavrin_exchange_duration_seconds (upper bounds, seconds).
inline constexpr double kDurationBuckets[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                              0.25,  0.5,    1.0,   2.5,  5.0,   10.0};
inline constexpr size_t kDurationBucketCount = sizeof kDurationBuckets / sizeof kDurationBuckets[0];

// The label value of a result code in tavrin_exchanges_total: short and stable.
const char* ResultLabel(ResultCode code);
// What an exchange's result says about the unit, for the bridge's log lines.
std::string ResultWords(ResultCode code);

class BridgeMetrics {
public:
    explicit BridgeMetrics(std::string unitName, const AlarmRules& alarmRules = AlarmRules::Defaults());

    // Every exchange with the unit, whoever asked for it; one the unit
    // answered is stamped with the wall clock.
    void RecordExchange(ResultCode result, double seconds);
    // One poll cycle's values, by row of kBridgePollPlan (nothing for a read
    // that failed or was not made), the lamps it left and its own duration.
    using PollValues = std::array<std::optional<double>, kBridgePollRows>;
    void SetPollCycle(const PollValues& values, const Lamps& lamps, double seconds);
    // One poll cycle's sample judged by the alarm rules (every poll item on),
    // at a steady-clock time; returns the alarms raised and cleared.
    std::vector<AlarmEvent> EvaluateAlarms(const PollSample& sample, int64_t steadyMs);
    void SetUnitInfo(std::optional<UnitInfo> info);
    void SetClients(int count);
    // A client refused because --max-clients were connected.
    void CountRefusedClient();
    // A connection closed at once because its address is in no --allow range.
    void CountNotAllowedClient();
    // A request a read-only listener answered with 'E' itself.
    void CountRefusedRequest();
    // The link's count of replies the unit sent that no request asked for.
    void SetUnrequestedReplies(uint64_t count);

    // The Prometheus text exposition of everything above.
    std::string Exposition() const;
    // The same snapshot for the SNMP agent.
    AgentView View() const;

private:
    // One alarm's series: every alarm the rules evaluate (switched on, and
    // of a fitted input), active or not.
    struct AlarmSeries {
        std::string alarm;
        AlarmSeverity severity = AlarmSeverity::Critical;
        bool active = false;
        uint64_t raises = 0;
    };
    void TakeAlarms();   // s_.alarms from alarms_, under lock_

    struct Snapshot {
        bool up = false;
        PollValues poll{};
        Lamps lamps;   // all grey: no gauge
        std::optional<UnitInfo> info;
        std::array<uint64_t, 16> exchanges{};   // by ResultLabel slot
        std::array<uint64_t, kDurationBucketCount> buckets{};
        uint64_t durationCount = 0;
        double durationSum = 0;
        std::optional<double> lastSuccess;   // Unix time, seconds
        std::optional<double> pollCycleSeconds;
        int clients = 0;
        uint64_t refusedClients = 0;
        uint64_t notAllowedClients = 0;
        uint64_t refusedRequests = 0;
        uint64_t unrequested = 0;
        std::vector<AlarmSeries> alarms;
    };
    const std::string unit_;
    mutable std::mutex lock_;
    Snapshot s_;
    CAlarmModel alarms_;   // under lock_
};
