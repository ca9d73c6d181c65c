// tavrin_bridge: owns one receiver unit and serves it to many clients with the
// unit's own TCP protocol, and shows its live state as Prometheus metrics.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/shared_key.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/serial_device.h"
#include "params/alarm_rules.h"
#include "platform/debug_out.h"
#include "platform/version.h"
#include "platform/program_arguments.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"
#include "platform/std_streams.h"
#include "platform/stop_signals.h"
#include "tools/tavrin_bridge/agentx.h"
#include "tools/tavrin_bridge/allow_list.h"
#include "tools/tavrin_bridge/client_protocol.h"
#include "tools/tavrin_bridge/client_server.h"
#include "tools/tavrin_bridge/dated_log.h"
#include "tools/tavrin_bridge/journal.h"
#include "tools/tavrin_bridge/metrics.h"
#include "tools/tavrin_bridge/metrics_server.h"
#include "tools/tavrin_bridge/service_notify.h"
#include "tools/tavrin_bridge/unit_queue.h"
#include "tools/tavrin_bridge/web_config.h"
#include "platform/nearest_word.h"

namespace {

constexpr uint16_t kDefaultListenPort = 9999;
constexpr uint32_t kDefaultIntervalMs = 2000;

struct BridgeOptions {
    std::string serialPath;
    int comNumber = 0;
    std::string ip;
    uint32_t baud = 9600;
    std::optional<int> address;
    std::vector<std::string> listen;
    std::string metrics;
    uint32_t intervalMs = kDefaultIntervalMs;
    std::string name;
    int maxClients = kDefaultMaxClients;
    uint32_t idleSeconds = kDefaultIdleSeconds;
    std::string logFile;
    uint64_t logMaxBytes = kDefaultLogMaxBytes;
    std::string programFolder;
    // The metrics listener's TLS and passwords.
    std::string webConfig;
    std::string alarmRules;
    std::string agentx;   // the master's AgentX socket
    bool checkConfig = false;
    // Who may reach the unit, and how (--listen-read-only, --allow).
    std::vector<std::string> listenReadOnly;
    std::vector<std::string> allow;
};

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& why) {
    Say(Priority::Error, "%s", why.c_str());
    return kExitFailure;
}

const char kUsageLine[] =
    "Usage: tavrin_bridge (--serial PATH | --com N | --ip A.B.C.D) [OPTIONS]\n";

// A bad command line, as tavrinctl reports one: the reason, the usage line,
// where the rest is; exit status 2.
int UsageError(const std::string& why) {
    Say(Priority::Error, "%s\n%s\nRun \"tavrin_bridge --help\" for the options.", why.c_str(), kUsageLine);
    return kExitUsage;
}

// "  --name VALUE" padded to the help column, continuation lines indented.
std::string OptionRow(const CLI::Option& option) {
    constexpr size_t kColumn = 30;
    std::string name = "  " + option.get_name(false, true);
    if (const size_t comma = name.find(','); comma != std::string::npos) name.insert(comma + 1, " ");
    if (!option.get_option_text().empty()) name += " " + option.get_option_text();
    std::string row = name + (name.size() + 1 > kColumn ? "\n" + std::string(kColumn, ' ')
                                                       : std::string(kColumn - name.size(), ' '));
    for (char c : option.get_description()) row += c == '\n' ? "\n" + std::string(kColumn, ' ') : std::string(1, c);
    return row + "\n";
}

// The help in tavrinctl's form: usage, what it does, the options, an example.
std::string HelpText(const CLI::App& app, const std::string& about, const std::string& bounds) {
    std::string text = std::string(kUsageLine) + "\n" + about + "\n\nUnit (exactly one):\n";
    const auto options = app.get_options();
    for (const CLI::Option* o : options)
        if (o->get_group() == "unit") text += OptionRow(*o);
    text += "Options:\n";
    for (const CLI::Option* o : options)
        if (o->get_group() != "unit") text += OptionRow(*o);
    text += bounds + "\n";
    text +=
        "Example:\n"
        "  tavrin_bridge --serial /dev/ttyUSB0 --listen 10.0.0.20 --metrics 127.0.0.1:9464 --name rx1\n";
    return text;
}

// The long names of the options, for the suggestion after a mistyped one.
std::vector<std::string> OptionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* o : app.get_options())
        for (const std::string& name : o->get_lnames()) names.push_back("--" + name);
    return names;
}

// The connection as the operator gave it, for the lines about the unit.
std::string ConnectionText(const BridgeOptions& o) {
    if (!o.serialPath.empty()) return o.serialPath;
    if (o.comNumber != 0) return "COM" + std::to_string(o.comNumber);
    return o.ip + " port " + std::to_string(kUnitTcpPort);
}

// Opens a serial unit whose device vanished, once it is back: a COM port as
// the desktop program does, a device path by that path again (a link there
// may now lead to another device node). Nothing for a unit over TCP.
std::function<bool()> Reopener(const BridgeOptions& o, CFerritRemoteControl& link) {
    if (o.comNumber != 0) return [&link] { return link.ReopenLostPort(); };
    if (o.serialPath.empty()) return nullptr;
    return [path = o.serialPath, &link] {
        if (!DevicePathPresent(path)) return false;
        return OpenSerialDevice(link, path) == kResultOk;
    };
}

// Opens the unit's line; over Ethernet a unit that is not there yet is
// reached by the link's own reconnection later.
ResultCode OpenUnit(const BridgeOptions& o, CFerritRemoteControl& link, std::string& detail) {
    link.SetCloseOnErrors(false, false);
    link.SetBaudRate(o.baud);
    if (!o.serialPath.empty()) {
        detail = o.serialPath;
        return OpenSerialDevice(link, o.serialPath);
    }
    if (o.comNumber != 0) {
        detail = "COM" + std::to_string(o.comNumber);
        LinkGuard guard(link.LinkMutex());
        return link.OpenSerialPort(o.comNumber - 1);
    }
    LinkGuard guard(link.LinkMutex());
    link.SelectEthernet(o.ip);
    if (const int error = link.ConnectSocket(); error != 0)
        Say(Priority::Warning, "%s port %d not reached yet (%s); trying again with each exchange", o.ip.c_str(),
            int(kUnitTcpPort), std::strerror(error));
    return kResultOk;
}

// SIGHUP: the web configuration is read again and the transaction log
// reopened, on a thread of its own.
void ReadWebConfigAgain(MetricsServer& http, const std::string& path) {
    std::string error;
    if (auto state = LoadWebConfig(path, &error)) {
        http.SetWeb(std::move(state));
        Say(Priority::Notice, "web configuration %s read again", path.c_str());
    } else {
        Say(Priority::Error, "%s; the web configuration stays as it was", error.c_str());
    }
}

void ReopenLog(DatedLog& log) {
    std::string error;
    if (log.Reopen(&error)) {
        Say(Priority::Info, "log %s reopened", log.Path().c_str());
    } else {
        Say(Priority::Error, "%s", error.c_str());
    }
}

// `webPath` empty: no web configuration; `log` null: no log.
std::thread OnHangup(MetricsServer& http, const std::string& webPath, DatedLog* log) {
    return std::thread([&http, webPath, log] {
        while (WaitHangupSignal()) {
            if (!webPath.empty()) ReadWebConfigAgain(http, webPath);
            if (log) ReopenLog(*log);
        }
    });
}

// --- Access: read-only listeners and the allow list ---

void AddAccessOptions(CLI::App& app, BridgeOptions& o) {
    app.add_option("--listen-read-only", o.listenReadOnly,
                   "ADDR[:PORT] to serve the unit protocol on for reads only: any\n"
                   "other request is answered with status 'E'; repeatable")
        ->option_text("ADDR[:PORT]");
    app.add_option("--allow", o.allow,
                   "A.B.C.D/N whose clients may connect to --listen and\n"
                   "--listen-read-only; repeatable (default: every address; not\n"
                   "--metrics)")
        ->option_text("CIDR");
}

// Checks the access options whole; the usage error, or nothing.
std::optional<std::string> TakeAccessOptions(const BridgeOptions& o, ServerOptions& server) {
    for (const std::string& text : o.listenReadOnly) {
        const std::optional<Endpoint> e = ParseEndpoint(text, kDefaultListenPort, false);
        if (!e) return "--listen-read-only " + text + ": not an IPv4 ADDR[:PORT]";
        server.listenReadOnly.push_back(*e);
    }
    for (const std::string& text : o.allow) {
        std::string why;
        const std::optional<AddressRange> range = ParseAddressRange(text, &why);
        if (!range) return "--allow " + text + ": " + why;
        server.allow.push_back(*range);
    }
    return std::nullopt;
}

// --- end of access ---

}  // namespace

int main(int argc, char** argv) {
    if (!OpenMissingStandardStreams()) return 1;
    BridgeOptions o;
    const std::string about =
        "tavrin_bridge: serves one receiver unit to many clients over the unit's TCP protocol\n"
        "(length byte, frame, padding, Blowfish with the link key) and shows its state as\n"
        "Prometheus metrics. The unit protocol has no authentication beyond the shared key:\n"
        "listen on trusted networks only.";
    CLI::App app{about, "tavrin_bridge"};
    app.set_help_flag("-h,--help", "print this text");
    app.set_version_flag("--version", std::string("tavrin_bridge ") + ProgramVersion(), "print the version");
    app.allow_extras();   // reported below, with the nearest option
    app.add_option("--serial", o.serialPath, "serial device path, e.g. /dev/ttyUSB0")
        ->option_text("PATH")
        ->group("unit");
    app.add_option("--com", o.comNumber, "COM port number (ports/COMn beside the program, else /dev/tty*)")
        ->check(CLI::Range(1, 256))
        ->option_text("N")
        ->group("unit");
    app.add_option("--ip", o.ip, "IPv4 address of a unit on TCP port 9999")
        ->option_text("A.B.C.D")
        ->group("unit");
    app.add_option("--baud", o.baud, "serial baud rate (default 9600)")->check(CLI::Range(110, 921600))
        ->option_text("N");
    app.add_option("--address", o.address,
                   "unit address for the poll reads, 0..9998 (default: asked with\nthe any-unit probe)")
        ->check(CLI::Range(0, 9998))
        ->option_text("N");
    app.add_option("--listen", o.listen,
                   "ADDR[:PORT] to serve the unit protocol on; repeatable\n(default 127.0.0.1:9999)")
        ->option_text("ADDR[:PORT]");
    app.add_option("--metrics", o.metrics, "ADDR:PORT to serve GET /metrics and GET / on (default: none)")
        ->option_text("ADDR:PORT");
    app.add_option("--interval", o.intervalMs, "poll cycle for the metrics, ms; 0 = none (default 2000)")
        ->option_text("MS");
    app.add_option("--name", o.name, "unit label of every metric (default: the connection as given)")
        ->option_text("NAME");
    app.add_option("--max-clients", o.maxClients, "clients served at once; more are refused (default 8)")
        ->check(CLI::Range(1, 256))
        ->option_text("N");
    app.add_option("--idle-timeout", o.idleSeconds,
                   "seconds after which a client with nothing under way is closed\n(default 30)")
        ->check(CLI::Range(1, 86400))
        ->option_text("SECONDS");
    const SignalWords signals = ProgramSignalWords();
    const std::string reopen = signals.reopen;
    app.add_option("--log", o.logFile,
                   "transaction log file of the link (key data masked), each line\n"
                   "dated" + (reopen.empty() ? std::string() : "; " + reopen + " opens it again by name"))
        ->option_text("FILE");
    app.add_option("--log-max-bytes", o.logMaxBytes,
                   "size at which the log is rotated to FILE.1 (FILE.2, FILE.3\n"
                   "kept; default " + std::to_string(kDefaultLogMaxBytes) + ", 10 MiB)")
        ->check(CLI::Range(uint64_t(4096), uint64_t(1) << 40))
        ->option_text("BYTES");
    app.add_option("--program-folder", o.programFolder, "use DIR as the program folder (COM port links in DIR/ports)")
        ->option_text("DIR");
    // The metrics listener's TLS and passwords, and the check alone.
    app.add_option("--web-config", o.webConfig,
                   "TLS and passwords of the metrics (YAML: tls_server_config,\n"
                   "basic_auth_users with bcrypt hashes)" + (reopen.empty() ? std::string() : "; " + reopen + " reads it again"))
        ->option_text("FILE");
    app.add_option("--alarm-rules", o.alarmRules,
                   "the alarm rules (JSON, checked whole at start) behind\n"
                   "tavrin_alarm_active and tavrin_alarm_raises_total;\n"
                   "default: the built-in rules")
        ->option_text("FILE");
    app.add_option("--agentx", o.agentx,
                   "serve TAVRIN-RECEIVER-MIB as an AgentX subagent of the snmpd at\n"
                   "SOCKET (unix:/var/agentx/master, tcp:127.0.0.1:705) and send\n"
                   "its notifications on each alarm raised or cleared (default: none)")
        ->option_text("SOCKET");
    app.add_flag("--check-config", o.checkConfig,
                 "check the options, the web configuration and the alarm rules,\nand exit");
    // A file of options, one "name = value" a line with the long names
    // (listen = ["127.0.0.1:9999", "10.0.0.20"] for a repeated one).
    app.set_config("--config", "", "read options from FILE (name = value lines, the long names)")
        ->option_text("FILE");
    app.allow_config_extras(CLI::config_extras_mode::error);   // a mistyped name in the file is an error
    AddAccessOptions(app, o);
    const std::string bounds =
        "Bounds: a client has at most one request at the unit and " + std::to_string(kMaxWaitingPerClient) +
        " waiting\n(nothing more is read from it meanwhile); " + std::to_string(kMaxBadFrames) +
        " envelopes or frames that are none end its\nconnection; at most " + std::to_string(kMaxQueuedExchanges) +
        " exchanges are queued for the unit.\n" + std::string(signals.stop) + ": clients closed, unit port released, exit 0.\n" +
        (reopen.empty() ? std::string() : reopen + ": the web configuration read again, the log reopened.\n") +
        "Exit status: 0 stopped by a signal (or --help, --version, --check-config), 1 a\n"
        "failure (the unit's port, a listening address, the web configuration, the alarm\n"
        "rules, the log, --agentx in a build without Net-SNMP),\n"
        "2 a bad command line or --config file.";
    try {
        const ProgramArguments arguments(argc, argv);
        app.parse(arguments.Count(), arguments.Words());
    } catch (const CLI::CallForHelp&) {
        std::fputs(HelpText(app, about, bounds).c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::printf("tavrin_bridge %s\n", ProgramVersion());
        return 0;
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }
    for (const std::string& word : app.remaining()) {
        if (word.rfind('-', 0) == 0) {
            const std::string name = word.substr(0, word.find('='));
            return UsageError("unknown option '" + name + "'" + DidYouMean(name, OptionNames(app)));
        }
        return UsageError("unexpected argument '" + word + "'");
    }
    const int transports = int(!o.serialPath.empty()) + int(o.comNumber != 0) + int(!o.ip.empty());
    if (transports != 1) return UsageError("give exactly one of --serial, --com and --ip");

    ServerOptions server;
    server.maxClients = o.maxClients;
    server.idleSeconds = o.idleSeconds;
    if (const std::optional<std::string> bad = TakeAccessOptions(o, server)) return UsageError(*bad);
    if (o.listen.empty() && o.listenReadOnly.empty()) o.listen.push_back("127.0.0.1");
    for (const std::string& text : o.listen) {
        const std::optional<Endpoint> e = ParseEndpoint(text, kDefaultListenPort, false);
        if (!e) return UsageError("--listen " + text + ": not an IPv4 ADDR[:PORT]");
        server.listen.push_back(*e);
    }
    std::optional<Endpoint> metricsAt;
    if (!o.metrics.empty()) {
        metricsAt = ParseEndpoint(o.metrics, 0, true);
        if (!metricsAt) return UsageError("--metrics " + o.metrics + ": not an IPv4 ADDR:PORT");
    }
    if (!o.ip.empty() && !ParseEndpoint(o.ip, kUnitTcpPort, false))
        return UsageError("--ip " + o.ip + ": not an IPv4 address");
    if (o.name.empty()) o.name = !o.serialPath.empty() ? o.serialPath
                                 : o.comNumber != 0   ? "COM" + std::to_string(o.comNumber)
                                                      : o.ip;

    std::shared_ptr<const WebState> web;
    if (!o.webConfig.empty()) {
        if (!metricsAt) return UsageError("--web-config needs --metrics");
        std::string error;
        web = LoadWebConfig(o.webConfig, &error);
        if (!web) return Fail(error);
    }
    AlarmRules alarmRules = AlarmRules::Defaults();
    if (!o.alarmRules.empty()) {
        std::string error;
        if (!ReadAlarmRulesFile(o.alarmRules, alarmRules, error)) return Fail(error);
    }
    if (!o.agentx.empty() && !AgentX::Available()) return Fail("--agentx: this tavrin_bridge was built without Net-SNMP");
    if (o.checkConfig) {
        std::printf("tavrin_bridge: configuration OK\n");
        return 0;
    }

    if (!o.programFolder.empty()) SetProgramFolder(o.programFolder, FolderMode::Portable);

    // The link's diagnostic lines are for developers; TAVRIN_DEBUG shows them.
    const char* debug = std::getenv("TAVRIN_DEBUG");
    if (!debug || !*debug || std::string(debug) == "0") SetDebugSink([](const std::string&) {});
    const int stopSignals = StopSignalDescriptor();
    if (stopSignals < 0) return Fail("pipe failed");
    IgnoreBrokenPipes();
    // From here on; the work waits for the metrics listener.
    if (!CatchHangupSignal()) return Fail("pipe failed");

    std::unique_ptr<DatedLog> log;   // outlives the link's use of it
    if (!o.logFile.empty()) {
        log = std::make_unique<DatedLog>(o.logFile, o.logMaxBytes);
        if (std::string why; !log->Open(&why)) return Fail(why);
    }
    CFerritRemoteControl link(nullptr);
    if (log) link.OpenLog(log.get(), o.logFile);
    std::string detail;
    if (const ResultCode rc = OpenUnit(o, link, detail); rc != kResultOk)
        return Fail(ResultCodeMessage(rc) + " (" + detail + ")");

    BridgeMetrics metrics(o.name, alarmRules);
    std::unique_ptr<AgentX> agent;
    if (!o.agentx.empty()) agent = std::make_unique<AgentX>(o.agentx, [&metrics] { return metrics.View(); });
    UnitQueueSetup setup;
    if (agent) setup.alarm = [&agent](const AlarmEvent& e) { agent->Notify(AgentNoticeOf(e)); };
    setup.address = o.address;
    setup.pollIntervalMs = o.intervalMs;
    setup.connection = ConnectionText(o);
    setup.reopen = Reopener(o, link);
    setup.pingEvery = WatchdogPingInterval();
    setup.ping = NotifyWatchdog;
    setup.status = NotifyStatus;
    UnitQueue queue(link, metrics, std::move(setup));
    const Blowfish cipher(LinkKey(), kLinkKeyLength);
    ClientServer clients(server, queue, metrics, cipher);
    std::string error;
    if (!clients.Open(&error)) return Fail(error);
    MetricsServer http(metrics);
    if (web) http.SetWeb(web);
    if (metricsAt && !http.Start(metricsAt->address, metricsAt->port, &error))
        return Fail("cannot serve metrics on " + metricsAt->Text() + ": " + error);

    if (agent && !agent->Start(&error)) return Fail("--agentx " + o.agentx + ": " + error);
    std::thread hangupWork = OnHangup(http, web ? o.webConfig : std::string(), log.get());
    queue.OnRoom([&clients] { clients.Wake(); });
    for (size_t i = 0; i < clients.Listening().size(); ++i)
        Say(Priority::Info, "serving %s%s", clients.Listening()[i].Text().c_str(),
            clients.ReadOnly(i) ? " (read only)" : "");
    if (metricsAt)
        Say(Priority::Info, "metrics on %s://%s/metrics", web && web->tls ? "https" : "http",
            metricsAt->Text().c_str());
    if (agent) Say(Priority::Info, "AgentX subagent of %s", o.agentx.c_str());
    // The listeners and /metrics are bound: ready, whether or not the unit
    // answers; its state follows from the worker.
    NotifyStatus("waiting for the unit's first answer");
    NotifyReady();
    queue.Start();
    clients.Run(SocketHandle(stopSignals));

    NotifyStopping();
    EndHangupWait();
    hangupWork.join();
    http.Stop();
    queue.Stop();
    if (agent) agent->Stop();
    {
        LinkGuard guard(link.LinkMutex());
        link.CloseSerialPort();
        link.CloseEthernet();
    }
    Say(Priority::Notice, "stopped");
    return 0;
}
