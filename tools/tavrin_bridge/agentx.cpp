#include "tools/tavrin_bridge/agentx.h"

#include <sys/select.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/net.h"
#include "tools/tavrin_bridge/journal.h"

namespace {

constexpr const char* kAppName = "tavrin_bridge";
// Seconds between the subagent's pings of the master; a lost master is
// connected to again at the next ping.
constexpr int kPingSeconds = 5;

// TAVRIN-RECEIVER-MIB: enterprises.TAVRIN_ENTERPRISE_NUMBER.1 (tavrinReceiverMIB).
using Oid = std::vector<oid>;
Oid MibOid(std::initializer_list<oid> tail) {
    Oid o = {1, 3, 6, 1, 4, 1, TAVRIN_ENTERPRISE_NUMBER, 1};
    o.insert(o.end(), tail);
    return o;
}
const Oid kObjects = MibOid({1});   // tavrinObjects, registered whole

// The objects by their arcs under tavrinObjects.
Oid Unit(oid n) { return MibOid({1, 1, n, 0}); }
Oid Reception(oid n) { return MibOid({1, 2, n, 0}); }
Oid InputColumn(oid column, oid input) { return MibOid({1, 2, 7, 1, column, input}); }
Oid AlarmColumn(oid column, uint64_t serial) { return MibOid({1, 3, 1, 1, column, oid(serial)}); }
enum : oid { kInputName = 2, kInputSnr = 3, kInputLevel = 4 };
enum : oid { kAlarmName = 2, kAlarmTitle = 3, kAlarmSeverity = 4, kAlarmRaised = 5, kAlarmValue = 6 };
enum : oid { kNoticeRaised = 1, kNoticeCleared = 2 };

// A value as the agent answers it.
struct Value {
    u_char type = ASN_OCTET_STR;
    std::string octets;   // ASN_OCTET_STR
    long integer = 0;     // ASN_INTEGER, ASN_UNSIGNED
};
Value Text(std::string s) { return {ASN_OCTET_STR, std::move(s), 0}; }
Value Integer(long v) { return {ASN_INTEGER, {}, v}; }
Value Unsigned(double v) {
    if (!std::isfinite(v)) v = 0;
    return {ASN_UNSIGNED, {}, long(std::clamp(std::llround(v), 0LL, 0xFFFFFFFFLL))};
}
// TavrinTenths: a reading in tenths of its unit.
Value Tenths(double v) {
    if (!std::isfinite(v)) v = 0;
    return Integer(long(std::clamp(std::llround(v * 10), (long long)INT32_MIN, (long long)INT32_MAX)));
}
Value Lock(LampState s) { return Integer(s == LampState::Green ? 1 : s == LampState::Red ? 2 : 3); }
Value Severity(AlarmSeverity s) { return Integer(long(s) + 1); }   // critical(1) .. warning(4)

// DateAndTime, UTC: year (2 octets), month, day, hour, minutes, seconds,
// deci-seconds, '+', 0, 0.
Value DateAndTime(int64_t utcMs) {
    const time_t seconds = time_t(utcMs / 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    const int year = t.tm_year + 1900;
    const char octets[] = {char(year >> 8), char(year & 0xff), char(t.tm_mon + 1), char(t.tm_mday), char(t.tm_hour),
                           char(t.tm_min),  char(t.tm_sec),    char((utcMs % 1000) / 100), '+', 0, 0};
    return Text(std::string(octets, sizeof octets));
}

using Values = std::vector<std::pair<Oid, Value>>;

// Every instance the view has, in OID order.
Values InstancesOf(const AgentView& v) {
    Values out = {
        {Unit(1), Text(v.unitName)}, {Unit(2), Text(v.model)},   {Unit(3), Text(v.firmware)},
        {Unit(4), Text(v.serial)},   {Unit(5), Text(v.address)}, {Unit(6), Integer(v.linkUp ? 1 : 2)},
        {Reception(1), Lock(v.lamps.demodLock)}, {Reception(2), Lock(v.lamps.reception)},
        {Reception(3), Lock(v.lamps.decoderLock)},
    };
    if (v.packetErrors) out.push_back({Reception(4), Unsigned(*v.packetErrors)});
    if (v.configSlot) out.push_back({Reception(5), Integer(std::lround(*v.configSlot))});
    if (v.demodMode) out.push_back({Reception(6), Integer(*v.demodMode == 1 ? 2 : 1)});   // dvbT(2), narrowband(1)
    for (oid i = 1; i <= v.inputs.size(); ++i) {
        const AgentInput& in = v.inputs[i - 1];
        if (!in.snr && !in.level) continue;
        out.push_back({InputColumn(kInputName, i), Text(std::string(1, char('a' + i - 1)))});
        if (in.snr) out.push_back({InputColumn(kInputSnr, i), Tenths(*in.snr)});
        if (in.level) out.push_back({InputColumn(kInputLevel, i), Tenths(*in.level)});
    }
    for (const AgentAlarm& a : v.alarms) {
        out.push_back({AlarmColumn(kAlarmName, a.serial), Text(a.name)});
        out.push_back({AlarmColumn(kAlarmTitle, a.serial), Text(a.title)});
        out.push_back({AlarmColumn(kAlarmSeverity, a.serial), Severity(a.severity)});
        out.push_back({AlarmColumn(kAlarmRaised, a.serial), DateAndTime(a.raisedUtcMs)});
        out.push_back({AlarmColumn(kAlarmValue, a.serial), Tenths(a.value)});
    }
    std::sort(out.begin(), out.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    return out;
}

void SetValue(netsnmp_variable_list* vb, const Value& value) {
    if (value.type == ASN_OCTET_STR) {
        snmp_set_var_typed_value(vb, value.type, value.octets.data(), value.octets.size());
    } else {
        snmp_set_var_typed_value(vb, value.type, &value.integer, sizeof value.integer);
    }
}

void AddVarbind(netsnmp_variable_list** list, const Oid& name, const Value& value) {
    if (value.type == ASN_OCTET_STR) {
        snmp_varlist_add_variable(list, name.data(), name.size(), value.type, value.octets.data(), value.octets.size());
    } else {
        snmp_varlist_add_variable(list, name.data(), name.size(), value.type, &value.integer, sizeof value.integer);
    }
}

// Net-SNMP's log lines, as the bridge's own ("NET-SNMP version 5.9.3 AgentX
// subagent connected", a master not reached).
int LogLine(int, int, void* serverArgument, void*) {
    const auto* message = static_cast<const snmp_log_message*>(serverArgument);
    std::string text = message->msg ? message->msg : "";
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const Priority p = message->priority <= LOG_ERR       ? Priority::Error
                       : message->priority == LOG_WARNING ? Priority::Warning
                       : message->priority <= LOG_INFO    ? Priority::Info
                                                          : Priority::Debug;
    if (p != Priority::Debug && !text.empty()) Say(p, "agentx: %s", text.c_str());
    return 0;
}

}  // namespace

struct AgentX::Impl {
    std::string socket;
    std::function<AgentView()> view;
    std::thread thread;
    SocketHandle wake[2] = {kNoSocket, kNoSocket};   // read end, write end
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::deque<AgentNotice> notices;   // under lock
    std::string unitName;              // the agent's thread only

    void Run();
    void Send(const AgentNotice& notice);
    static int Handle(netsnmp_mib_handler* handler, netsnmp_handler_registration*, netsnmp_agent_request_info* info,
                      netsnmp_request_info* requests);
};

int AgentX::Impl::Handle(netsnmp_mib_handler* handler, netsnmp_handler_registration*,
                         netsnmp_agent_request_info* info, netsnmp_request_info* requests) {
    Impl* self = static_cast<Impl*>(handler->myvoid);
    const AgentView view = self->view();
    self->unitName = view.unitName;
    const Values values = InstancesOf(view);
    const auto less = [](const std::pair<Oid, Value>& entry, const Oid& name) { return entry.first < name; };
    for (netsnmp_request_info* r = requests; r; r = r->next) {
        netsnmp_variable_list* vb = r->requestvb;
        const Oid asked(vb->name, vb->name + vb->name_length);
        auto at = std::lower_bound(values.begin(), values.end(), asked, less);
        switch (info->mode) {
            case MODE_GET:
                if (at != values.end() && at->first == asked) {
                    SetValue(vb, at->second);
                } else {
                    netsnmp_set_request_error(info, r, SNMP_NOSUCHINSTANCE);
                }
                break;
            case MODE_GETNEXT:
                if (at != values.end() && at->first == asked) ++at;
                if (at == values.end()) break;   // nothing further here: the master goes on
                snmp_set_var_objid(vb, at->first.data(), at->first.size());
                SetValue(vb, at->second);
                break;
            default:
                netsnmp_set_request_error(info, r, SNMP_ERR_NOTWRITABLE);
                break;
        }
    }
    return SNMP_ERR_NOERROR;
}

// tavrinAlarmRaisedNotification or tavrinAlarmClearedNotification, with the
// alarm's name, severity and value (instances of the alarm's row) and the
// unit's name.
void AgentX::Impl::Send(const AgentNotice& n) {
    static const Oid trapOid = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};   // snmpTrapOID.0
    const Oid which = MibOid({0, n.raised ? kNoticeRaised : kNoticeCleared});
    netsnmp_variable_list* vars = nullptr;
    snmp_varlist_add_variable(&vars, trapOid.data(), trapOid.size(), ASN_OBJECT_ID, which.data(),
                              which.size() * sizeof(oid));
    if (unitName.empty()) unitName = view().unitName;
    AddVarbind(&vars, AlarmColumn(kAlarmName, n.alarm.serial), Text(n.alarm.name));
    AddVarbind(&vars, AlarmColumn(kAlarmSeverity, n.alarm.serial), Severity(n.alarm.severity));
    AddVarbind(&vars, Unit(1), Text(unitName));
    AddVarbind(&vars, AlarmColumn(kAlarmValue, n.alarm.serial), Tenths(n.raised ? n.alarm.value : n.value.value_or(n.alarm.value)));
    send_v2trap(vars);
    snmp_free_varbind(vars);
}

void AgentX::Impl::Run() {
    snmp_register_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, LogLine, nullptr);
    snmp_enable_calllog();
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
    netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET, socket.c_str());
    // No SIGALRM (the bridge's threads are not ready for it), no files of
    // Net-SNMP's own read or written (and no MIB files: MIBS is empty).
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_ALARM_DONT_USE_SIG, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    init_agent(kAppName);
    // After init_agent, which sets its own default (15 s).
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL, kPingSeconds);
    netsnmp_handler_registration* registration = netsnmp_create_handler_registration(
        "tavrinObjects", Handle, kObjects.data(), kObjects.size(), HANDLER_CAN_RONLY);
    registration->handler->myvoid = this;
    netsnmp_register_handler(registration);
    init_snmp(kAppName);

    while (!stop) {
        int fds = 0;
        int block = 0;
        fd_set readable;
        FD_ZERO(&readable);
        timeval timeout{1, 0};
        snmp_select_info(&fds, &readable, &timeout, &block);
        if (block || timeout.tv_sec >= 1) timeout = {1, 0};   // at least once a second round the loop
        FD_SET(wake[0], &readable);
        fds = std::max(fds, wake[0] + 1);
        const int n = ::select(fds, &readable, nullptr, nullptr, &timeout);
        if (n > 0) {
            if (FD_ISSET(wake[0], &readable)) {
                char drain[64];
                while (ReceiveNow(wake[0], drain, sizeof drain) > 0) {
                }
                FD_CLR(wake[0], &readable);
            }
            snmp_read(&readable);
        } else if (n == 0) {
            snmp_timeout();
        }
        run_alarms();
        netsnmp_check_outstanding_agent_requests();
        std::deque<AgentNotice> due;
        {
            std::lock_guard<std::mutex> guard(lock);
            due.swap(notices);
        }
        for (const AgentNotice& notice : due) Send(notice);
    }
    // A master stopping at the same time (a host going down) is seen here
    // rather than inside snmp_shutdown, whose handling of it trips over its
    // own callback lock.
    int fds = 0;
    int block = 0;
    fd_set readable;
    FD_ZERO(&readable);
    timeval none{0, 100'000};
    snmp_select_info(&fds, &readable, &none, &block);
    if (::select(fds, &readable, nullptr, nullptr, &none) > 0) snmp_read(&readable);
    snmp_shutdown(kAppName);
}

AgentX::AgentX(std::string socket, std::function<AgentView()> view) : impl_(std::make_unique<Impl>()) {
    // The agent reads no MIB module (it answers by number, and the host's
    // modules would only give a page of "Cannot find module"). Set here,
    // before the bridge's worker and listeners start.
    ::setenv("MIBS", "", 1);
    impl_->socket = std::move(socket);
    impl_->view = std::move(view);
}

AgentX::~AgentX() { Stop(); }

bool AgentX::Available() { return true; }

bool AgentX::Start(std::string* error) {
    if (!MakeSocketPair(impl_->wake)) {
        *error = "socket pair failed";
        return false;
    }
    impl_->thread = std::thread([this] { impl_->Run(); });
    return true;
}

void AgentX::Notify(AgentNotice notice) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (impl_->wake[1] == kNoSocket) return;   // not started, or stopped
    impl_->notices.push_back(std::move(notice));
    const char b = 1;
    SendNow(impl_->wake[1], &b, 1);
}

void AgentX::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stop = true;
    const char b = 1;
    SendNow(impl_->wake[1], &b, 1);
    impl_->thread.join();
    std::lock_guard<std::mutex> guard(impl_->lock);
    CloseSocket(impl_->wake[0]);
    CloseSocket(impl_->wake[1]);
    impl_->wake[0] = impl_->wake[1] = kNoSocket;
}
