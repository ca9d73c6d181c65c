// The bridge as an AgentX subagent of a real snmpd, with a real snmptrapd as
// its master's notification sink, all on one loopback address of the test's
// own; snmpget and snmpwalk read the simulated unit's values by their names
// in TAVRIN-RECEIVER-MIB.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <thread>

#include "bridge/bridge_rig.h"
#include "support/loopback.h"

using namespace bridgetest;

namespace {

constexpr const char* kSnmpd = "/usr/sbin/snmpd";
const std::string kMib = "TAVRIN-RECEIVER-MIB";

// Checks `condition` every 200 ms for up to `limit`.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(200ms);
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The SMI modules the MIB imports, fetched once into the build tree by the
// MIB's own check (which fails, and so this, without them): the folder, or
// what the check printed.
struct SmiFolder {
    std::string folder, failure;
};
const SmiFolder& SmiModules() {
    static const SmiFolder found = [] {
        const ProgramResult r = RunWithInput("/usr/bin/python3",
                                             {TAVRIN_SOURCE_DIR "/tests/deploy/check_mib.py", TAVRIN_SMI_CACHE,
                                              std::to_string(TAVRIN_ENTERPRISE_NUMBER)},
                                             "");
        return r.exitCode == 0 ? SmiFolder{TAVRIN_SMI_CACHE "/mibs", ""} : SmiFolder{"", "the MIB check: " + r.out};
    }();
    return found;
}

// snmpd as AgentX master, snmptrapd as its trap sink, and a bridge rig whose
// bridge is their subagent.
struct SnmpSite {
    explicit SnmpSite(std::vector<std::string> bridgeArgs = {}) {
        rig.options.extraArgs = {"--agentx", "unix:" + folder.File("agentx.sock")};
        rig.options.extraArgs.insert(rig.options.extraArgs.end(), bridgeArgs.begin(), bridgeArgs.end());
        std::ofstream(folder.File("snmpd.conf")) << "agentAddress udp:" << ip << ":16100\nmaster agentx\n"
                                                 << "agentXSocket unix:" << folder.File("agentx.sock") << "\n"
                                                 << "rocommunity public 127.0.0.0/8\n"
                                                 << "trap2sink " << ip << ":16200 public\n";
        std::ofstream(folder.File("snmptrapd.conf")) << "disableAuthorization yes\n";
    }
    // Starts the four; on failure `failure` says which did not start.
    bool Start() {
        mibs = SmiModules().folder;
        if (mibs.empty()) return Failed(SmiModules().failure);
        // The master's socket first, so that the bridge finds it at once.
        if (!StartSnmpd()) return Failed("snmpd did not start");
        if (!Eventually([this] { return access(folder.File("agentx.sock").c_str(), F_OK) == 0; }))
            return Failed("snmpd made no AgentX socket: " + snmpd.Out());
        if (!trapd.Start("/usr/sbin/snmptrapd", {"-f", "-C", "-c", folder.File("snmptrapd.conf"), "-M", MibPath(), "-m",
                                                 kMib, "-Lf", folder.File("traps.log"), "-F", "%v\\n", ip + ":16200"}))
            return Failed("snmptrapd did not start");
        if (!rig.Start()) return Failed("the bridge rig did not start: " + rig.bridge.Err());
        return true;
    }
    bool Failed(const std::string& why) {
        failure = why;
        return false;
    }
    bool StartSnmpd() {
        return snmpd.Start(kSnmpd, {"-f", "-Lo", "-C", "-c", folder.File("snmpd.conf"), "-p", folder.File("snmpd.pid"),
                                    "-M", MibPath(), "-m", ""});
    }
    std::string MibPath() const { return mibs + ":" + TAVRIN_SOURCE_DIR "/deploy/mibs"; }
    // snmpget or snmpwalk of objects by name, values only ("" on failure).
    std::string Ask(const std::string& tool, const std::vector<std::string>& names, const std::string& format = "-OqvU") {
        std::vector<std::string> args = {"-v2c", "-c", "public", "-t", "2", "-r", "0", "-M", MibPath(), "-m", kMib,
                                         format, ip + ":16100"};
        for (const std::string& n : names) args.push_back(kMib + "::" + n);
        const ProgramResult r = RunWithInput("/usr/bin/" + tool, args, "");
        return r.exitCode == 0 ? r.out : std::string();
    }
    std::string Get(const std::string& name) {
        std::string v = Ask("snmpget", {name});
        while (!v.empty() && v.back() == '\n') v.pop_back();
        return v;
    }
    std::string Traps() const { return ReadFile(folder.File("traps.log")); }

    testsupport::TempFolder folder{"tavrin-snmp"};
    std::string ip = testsupport::RandomLoopbackAddress();
    std::string mibs, failure;
    Process snmpd, trapd;
    BridgeRig rig;
};

// The notifications in `log` after `from` of one kind (Raised or Cleared) for
// one alarm, each a line of its varbinds.
std::vector<std::string> Notifications(const std::string& log, size_t from, const std::string& kind,
                                       const std::string& alarm) {
    std::vector<std::string> found;
    for (size_t at = from; at < log.size();) {
        const size_t end = std::min(log.find('\n', at), log.size());
        const std::string line = log.substr(at, end - at);
        const size_t name = (line + "\t").find("= STRING: " + alarm + "\t");
        if (line.find("tavrinAlarm" + kind + "Notification") != std::string::npos && name != std::string::npos)
            found.push_back(line);
        at = end + 1;
    }
    return found;
}

}  // namespace

TEST(Snmp, GetAndWalkGiveTheUnitsValuesByNameAndTheAgentComesBackAfterSnmpdRestarts) {
    if (access(kSnmpd, X_OK) != 0) GTEST_SKIP() << "no " << kSnmpd;
    SnmpSite site;
    ASSERT_TRUE(site.Start()) << site.failure;
    site.rig.unit->SetValue("1snr", "21.5");
    ASSERT_TRUE(Eventually([&] { return site.Get("tavrinInputSnr.1") == "21.5"; }))
        << site.rig.bridge.Err() << site.snmpd.Out();

    const std::string walk = site.Ask("snmpwalk", {"tavrinObjects"}, "-OqU");
    // Table-driven: the object, and what its line holds.
    const std::pair<const char*, const char*> expected[] = {
        {"tavrinUnitName.0", "unit1"}, {"tavrinUnitModel.0", "K8"},
        {"tavrinBridgeLink.0", "up"},  {"tavrinDemodLock.0", "locked"},
        {"tavrinReceptionLock.0", "locked"}, {"tavrinDecoderLock.0", "locked"},
        {"tavrinPacketErrors.0", ""},  {"tavrinConfigSlot.0", ""},
        {"tavrinDemodMode.0", ""},     {"tavrinInputName.1", "a"},
        {"tavrinInputSnr.1", "21.5"},  {"tavrinInputLevel.1", ""},
    };
    for (const auto& [name, value] : expected) {
        const size_t at = walk.find(kMib + "::" + name + " ");
        ASSERT_NE(at, std::string::npos) << name << "\n" << walk;
        EXPECT_NE(walk.find(value, at), std::string::npos) << name << "\n" << walk;
    }
    EXPECT_EQ(site.Get("tavrinUnitName.0"), "unit1");

    // snmpd goes and comes back: the subagent registers again by itself.
    ASSERT_EQ(site.snmpd.Stop(), 0);
    const auto restart = std::chrono::steady_clock::now();
    ASSERT_TRUE(site.StartSnmpd());
    site.rig.unit->SetValue("1snr", "19.5");
    EXPECT_TRUE(Eventually([&] { return site.Get("tavrinInputSnr.1") == "19.5"; }, 60s))
        << site.rig.bridge.Err() << site.snmpd.Out();
    std::printf("agent back %.1f s after snmpd restarted\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - restart).count());
}

TEST(Snmp, NotificationsOnRaiseAndClearOfSnrLowAndASilentUnit) {
    if (access(kSnmpd, X_OK) != 0) GTEST_SKIP() << "no " << kSnmpd;
    testsupport::TempFolder rules("tavrin-snmp-rules");
    std::ofstream(rules.File("rules.json"))
        << R"({"rules": [{"alarm": "unit_silent", "raise_delay_ms": 0, "clear_delay_ms": 0},
                         {"alarm": "snr_low", "threshold": 10, "raise_delay_ms": 0, "clear_delay_ms": 0}]})";
    SnmpSite site({"--alarm-rules", rules.File("rules.json")});
    ASSERT_TRUE(site.Start()) << site.failure;
    site.rig.unit->SetValue("1snr", "21.5");
    ASSERT_TRUE(Eventually([&] { return site.Get("tavrinInputSnr.1") == "21.5"; }))
        << site.rig.bridge.Err() << site.snmpd.Out();
    // snmpd's own start-up notifications came before this.
    const size_t mark = site.Traps().size();

    // Table-driven: what the unit is made to do, the alarm, and its value in
    // the notifications (tenths shown by the MIB's hint).
    struct Step {
        std::function<void()> fault, mend;
        const char* alarm;
        const char* severity;
        const char* raisedValue;
    };
    sim::SimUnit& unit = *site.rig.unit;
    const Step steps[] = {
        {[&] { unit.SetValue("1snr", "6.5"); }, [&] { unit.SetValue("1snr", "21.5"); }, "snr_low_a", "minor", "6.5"},
        {[&] { unit.SetFault(sim::Fault::Silence); }, [&] { unit.ClearFault(); }, "unit_silent", "critical", "1.0"},
    };
    for (const Step& s : steps) {
        s.fault();
        ASSERT_TRUE(Eventually([&] { return !Notifications(site.Traps(), mark, "Raised", s.alarm).empty(); }))
            << s.alarm << "\n" << site.Traps() << site.rig.bridge.Err();
        const std::string raised = Notifications(site.Traps(), mark, "Raised", s.alarm)[0];
        for (const std::string& part : {std::string("tavrinAlarmSeverity"), std::string(s.severity),
                                       std::string("tavrinUnitName.0 = STRING: unit1"),
                                       std::string("tavrinAlarmValue"), std::string(s.raisedValue)})
            EXPECT_NE(raised.find(part), std::string::npos) << part << "\n" << raised;
        // Meanwhile in the table of active alarms, answered while the unit is silent too.
        const std::string table = site.Ask("snmpwalk", {"tavrinAlarmTable"}, "-OqU");
        for (const char* part : {s.alarm, s.severity, "tavrinAlarmRaised"})
            EXPECT_NE(table.find(part), std::string::npos) << part << "\n" << table;
        s.mend();
        EXPECT_TRUE(Eventually([&] { return !Notifications(site.Traps(), mark, "Cleared", s.alarm).empty(); }))
            << s.alarm << "\n" << site.Traps() << site.rig.bridge.Err();
    }
    EXPECT_EQ(Notifications(site.Traps(), mark, "Raised", "snr_low_a").size(), 1u) << site.Traps();
    EXPECT_EQ(Notifications(site.Traps(), mark, "Raised", "unit_silent").size(), 1u) << site.Traps();
}

// --agentx from a --config file, checked with the rest (a build without
// Net-SNMP refuses it with exit status 1).
TEST(SnmpOption, AgentxIsTakenFromTheConfigFile) {
    testsupport::TempFolder folder("tavrin-snmp-conf");
    std::ofstream(folder.File("bridge.conf")) << "ip = \"127.0.0.1\"\nagentx = \"unix:/var/agentx/master\"\n";
    const ProgramResult r =
        RunWithInput(BinPath("tavrin_bridge"), {"--config", folder.File("bridge.conf"), "--check-config"}, "");
#ifdef TAVRIN_HAVE_AGENTX
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "tavrin_bridge: configuration OK\n");
#else
    EXPECT_EQ(r.exitCode, 1) << r.out;
#endif
}
