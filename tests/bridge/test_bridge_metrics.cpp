// What the bridge shows on /metrics (a table of series and the unit's values
// they show), that promtool accepts it, that key text
// never reaches its log or output, a unit that goes away and comes back, and
// a clean end on SIGTERM.
#include <gtest/gtest.h>

#include <thread>

#include "bridge/bridge_rig.h"
#include "platform/clock.h"
#include "platform/numbers.h"
#include "support/loopback.h"
#include "tools/tool_harness.h"

using namespace bridgetest;

// Alarm rules without delays, inputs A and C watched (tavrin_alarm_*).
const char* const kAlarmRules = R"({"inputs_fitted": ["A", "C"], "rules": [
  {"alarm": "reception_lost", "raise_delay_ms": 0}, {"alarm": "snr_low", "raise_delay_ms": 0}]})";

TEST(BridgeMetrics, ValuesAreTheUnitsAndPromtoolAcceptsThem) {
    BridgeRig rig;
    tooltest::WriteFile(rig.folder.File("alarms.json"), kAlarmRules);
    rig.options.extraArgs = {"--alarm-rules", rig.folder.File("alarms.json")};
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    rig.unit->SetValue("1snr", "21.5");
    rig.unit->SetValue("1cer", "7.25");
    rig.unit->SetValue("1ina", "-33.2");
    rig.unit->SetValue("1ind", "-71.0");
    rig.unit->SetValue("1pkt", "000007");
    rig.unit->SetValue("1pre", "000003.250");
    rig.unit->SetValue("1pos", "000000.125");
    rig.unit->SetValue("1ipf", "1.234567");   // GHz on the wire; exactly 1234567000 Hz
    ASSERT_TRUE(rig.WaitForSample(rig.Series("tavrin_packet_errors"), 7)) << *rig.Metrics();
    ASSERT_TRUE(rig.WaitForSample(rig.Series("tavrin_input_frequency_hertz"), 1234567000)) << *rig.Metrics();
    ASSERT_TRUE(rig.WaitForSample(rig.Series("tavrin_snr_db", "input=\"a\""), 21.5)) << *rig.Metrics();
    const double before = double(WallClockMs()) / 1000.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * rig.options.intervalMs));
    const std::string text = rig.Metrics().value_or("");
    const std::string info = rig.Series("tavrin_unit_info", "model=\"" + rig.unit->Value("gbty") + "\",firmware=\"" +
                                                               rig.unit->Value("gsof") + "\",serial=\"" +
                                                               rig.unit->Value("gser") + "\",address=\"1\"");
    const struct {
        std::string series;
        std::optional<double> value;
    } expected[] = {
        {rig.Series("tavrin_up"), 1.0},
        {rig.Series("tavrin_demod_locked"), 1.0},
        {rig.Series("tavrin_decoder_locked"), 1.0},
        {rig.Series("tavrin_reception_ok"), 0.0},   // locked, but packet errors
        {rig.Series("tavrin_snr_db", "input=\"c\""), 7.25},
        {rig.Series("tavrin_snr_db", "input=\"b\""), ParseDecimal(rig.unit->Value("1mer"))},
        {rig.Series("tavrin_input_level_dbm", "input=\"a\""), -33.2},
        {rig.Series("tavrin_input_level_dbm", "input=\"d\""), -71.0},
        {rig.Series("tavrin_bridge_clients"), 0.0},
        {info, 1.0},
        {rig.Series("tavrin_ber_pre_errors"), 3.25},
        {rig.Series("tavrin_ber_post_errors"), 0.125},
        {rig.Series("tavrin_input_frequency_hertz"), 1234567000.0},
        {rig.Series("tavrin_config_slot"), ParseDecimal(rig.unit->Value("dlas"))},
        {rig.Series("tavrin_demod_mode"), ParseDecimal(rig.unit->Value("gudm"))},
        {rig.Series("tavrin_build_info", "version=\"" TAVRIN_VERSION "\""), 1.0},
        // The alarm rules on the same cycle: packet errors, SNR C 7.25 below 10.
        {rig.Series("tavrin_alarm_active", "alarm=\"reception_lost\",severity=\"major\""), 1.0},
        {rig.Series("tavrin_alarm_raises_total", "alarm=\"reception_lost\",severity=\"major\""), 1.0},
        {rig.Series("tavrin_alarm_active", "alarm=\"snr_low_c\",severity=\"minor\""), 1.0},
        {rig.Series("tavrin_alarm_active", "alarm=\"snr_low_a\",severity=\"minor\""), 0.0},
        {rig.Series("tavrin_alarm_raises_total", "alarm=\"snr_low_a\",severity=\"minor\""), 0.0},
        {rig.Series("tavrin_alarm_active", "alarm=\"unit_silent\",severity=\"critical\""), 0.0},
        {rig.Series("tavrin_alarm_active", "alarm=\"snr_low_b\",severity=\"minor\""), std::nullopt},   // not fitted
    };
    for (const auto& row : expected) EXPECT_EQ(Sample(text, row.series), row.value) << row.series << "\n" << text;
    EXPECT_GT(Sample(text, rig.Series("tavrin_exchanges_total", "result=\"ok\"")).value_or(0), 11.0);
    EXPECT_GT(Sample(text, rig.Series("tavrin_exchange_duration_seconds_count")).value_or(0), 11.0);
    // Times: the last answer within this wait, a whole cycle (sixteen reads)
    // longer than none and shorter than the wait for it.
    const double lastSuccess = Sample(text, rig.Series("tavrin_last_success_timestamp_seconds")).value_or(0);
    EXPECT_GE(lastSuccess, before - 1.0) << text;
    EXPECT_LE(lastSuccess, double(WallClockMs()) / 1000.0) << text;
    const double cycle = Sample(text, rig.Series("tavrin_poll_cycle_duration_seconds")).value_or(0);
    EXPECT_GT(cycle, 0.0) << text;
    EXPECT_LT(cycle, 20.0) << text;

    const ProgramResult check = RunWithInput("/usr/bin/promtool", {"check", "metrics"}, text);
    EXPECT_EQ(check.exitCode, 0) << check.out << text;
    const std::optional<std::string> index = HttpGet(rig.ip, kMetricsPort, "/");
    ASSERT_TRUE(index.has_value());
    EXPECT_NE(index->find("href=\"/metrics\""), std::string::npos);

    // A reply sent twice may have answered another client's request: counted
    // and logged.
    EXPECT_EQ(Sample(text, rig.Series("tavrin_unrequested_replies_total")), 0.0);
    rig.unit->SetFault(sim::Fault::ReplyTwice, 1, 0, "1snr");
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_unrequested_replies_total"), 1)) << *rig.Metrics();
    EXPECT_NE(rig.bridge.Err().find("not asked for"), std::string::npos) << rig.bridge.Err();

    // A unit that stops answering: tavrin_up 0, its readings gone.
    rig.unit->SetSilentAfter(0);
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 0, 30s)) << *rig.Metrics();
    rig.unit->SetSilentAfter(-1);
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 1, 30s)) << *rig.Metrics();
}

TEST(BridgeMetrics, KeyTextNeverReachesTheLogOrTheOutput) {
    RigOptions options;
    testsupport::TempFolder logs;
    options.extraArgs = {"--log", logs.File("bridge.log")};
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    const std::string key = "0123456789ABCDEF0123456789ABCDEF";
    const tooltest::RunResult r = tooltest::RunToolWithInput({"--ip", rig.ip, "key", "aes128", "-"}, key + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(rig.unit->LastKey("zaes"), key);
    const std::string metrics = rig.Metrics().value_or("");
    EXPECT_EQ(rig.bridge.Stop(), 0);
    const std::string log = tooltest::ReadFile(logs.File("bridge.log"));
    EXPECT_NE(log.find("zaes"), std::string::npos);   // the exchange is logged, masked
    for (const std::string& where : {log, rig.bridge.Err(), rig.bridge.Out(), metrics})
        EXPECT_EQ(where.find("0123456789"), std::string::npos) << where;
}

TEST(BridgeMetrics, AnEthernetUnitThatGoesAwayIsPickedUpAgain) {
    const std::string unitIp = testsupport::RandomLoopbackAddress();
    auto startUnit = [&] {
        sim::SimOptions so;
        so.serial = false;
        so.tcpAddress = unitIp;
        so.drift = false;
        auto unit = std::make_unique<sim::SimUnit>(so);
        std::string error;
        EXPECT_TRUE(unit->Start(&error)) << error;
        return unit;
    };
    auto unit = startUnit();
    const std::string ip = testsupport::RandomLoopbackAddress();
    Process bridge;
    ASSERT_TRUE(bridge.Start(BinPath("tavrin_bridge"), {"--ip", unitIp, "--listen", ip, "--metrics",
                                                        ip + ":9464", "--interval", "200"}));
    ASSERT_TRUE(WaitForListener(ip, 9464));
    BridgeRig view;   // only for its helpers: the bridge above has the unit label of its --ip
    view.ip = ip;
    view.options.name = unitIp;
    EXPECT_TRUE(view.WaitForSample(view.Series("tavrin_up"), 1));
    unit->Stop();
    unit.reset();
    EXPECT_TRUE(view.WaitForSample(view.Series("tavrin_up"), 0));
    unit = startUnit();
    EXPECT_TRUE(view.WaitForSample(view.Series("tavrin_up"), 1, 30s));
    LinkClient client(ip);
    EXPECT_EQ(client.Read("gser"), unit->Value("gser"));
    EXPECT_EQ(bridge.Stop(), 0);
}

TEST(BridgeMetrics, SigtermClosesClientsReleasesThePortsAndExitsZero) {
    BridgeRig rig;
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    RawClient client(rig.ip);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_clients"), 1));   // taken in, not only queued
    EXPECT_EQ(rig.bridge.Stop(SIGTERM), 0) << rig.bridge.Err();
    EXPECT_TRUE(client.WaitClosed(2s));
    EXPECT_NE(rig.bridge.Err().find(" closed: the bridge stops\n"), std::string::npos) << rig.bridge.Err();
    // The listeners, the metrics port and the unit's serial port are free
    // again: a new bridge takes them all and serves.
    ASSERT_TRUE(rig.StartBridge()) << rig.bridge.Err();
    LinkClient again(rig.ip);
    EXPECT_EQ(again.Read("gser"), rig.unit->Value("gser"));
}

TEST(BridgeMetrics, SigtermRightAfterTheStartStillEndsTheBridge) {
    // A stop that comes while the metrics server is still starting up.
    sim::SimOptions so;
    so.serial = false;
    so.tcpAddress = testsupport::RandomLoopbackAddress();
    so.drift = false;
    sim::SimUnit unit(so);
    std::string error;
    ASSERT_TRUE(unit.Start(&error)) << error;
    for (int i = 0; i < 30; ++i) {
        const std::string ip = testsupport::RandomLoopbackAddress();
        Process bridge;
        ASSERT_TRUE(bridge.Start(BinPath("tavrin_bridge"),
                                 {"--ip", so.tcpAddress, "--listen", ip, "--metrics", ip + ":9464"}));
        // Every other time as soon as the unit protocol's listener takes
        // connections, before the metrics server may even have started.
        ASSERT_TRUE(WaitForListener(ip, i % 2 == 0 ? 9999 : 9464));
        ASSERT_EQ(bridge.Stop(SIGTERM, 5s), 0) << "start " << i << ": " << bridge.Err();
    }
}
