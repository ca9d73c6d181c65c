#include "bridge/bridge_rig.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "link/envelope.h"
#include "link/frame.h"
#include "link/shared_key.h"
#include "link/locks.h"
#include "platform/numbers.h"
#include "support/loopback.h"
#include "support/spawn.h"


namespace bridgetest {

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int ExitOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

int ConnectTo(const std::string& ip, uint16_t port, const std::string& from = "") {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && !from.empty()) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

}  // namespace

std::string BinPath(const std::string& program) {
    const char* dir = std::getenv("TAVRIN_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + program;
}

Blowfish LinkCipher() { return Blowfish(LinkKey(), kLinkKeyLength); }

Process::~Process() {
    if (pid_ > 0) Stop(SIGKILL);
}

bool Process::Start(const std::string& program, const std::vector<std::string>& args, const std::vector<int>& closed) {
    std::string files[] = {"/dev/null", io_.File("out"), io_.File("err")};
    for (const int fd : closed) files[fd].clear();
    pid_ = testsupport::SpawnProgram(program, args, files[0], files[1], files[2], environment);
    return pid_ > 0;
}

int Process::Stop(int signal, std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
    return ExitOf(status);
}

std::string Process::Err() const { return ReadAll(io_.File("err")); }
std::string Process::Out() const { return ReadAll(io_.File("out")); }

ProgramResult RunWithInput(const std::string& program, const std::vector<std::string>& args,
                           const std::string& input) {
    testsupport::TempFolder io("tavrin-run");
    {
        std::ofstream in(io.File("in"), std::ios::binary);
        in << input;
    }
    ProgramResult result;
    const pid_t pid = testsupport::SpawnProgram(program, args, io.File("in"), io.File("out"), io.File("err"));
    if (pid <= 0) return result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = ExitOf(status);
    result.out = ReadAll(io.File("out")) + ReadAll(io.File("err"));
    return result;
}

bool WaitForListener(const std::string& ip, uint16_t port, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const int fd = ConnectTo(ip, port);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

std::optional<std::string> HttpGet(const std::string& ip, uint16_t port, const std::string& path) {
    httplib::Client client(ip, port);
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    const auto response = client.Get(path.c_str());
    if (!response || response->status != 200) return std::nullopt;
    return response->body;
}

std::optional<double> Sample(const std::string& exposition, const std::string& series) {
    const std::string key = "\n" + series + " ";
    const size_t at = ("\n" + exposition).find(key);
    if (at == std::string::npos) return std::nullopt;
    const size_t valueAt = at + key.size() - 1;
    const size_t end = exposition.find('\n', valueAt);
    return ParseDecimal(exposition.substr(valueAt, end - valueAt));
}

BridgeRig::BridgeRig(RigOptions o) : options(std::move(o)), ip(testsupport::RandomLoopbackAddress()) {}

BridgeRig::~BridgeRig() {
    if (bridge.Running()) bridge.Stop();
    if (unit) unit->Stop();
}

bool BridgeRig::Start() { return StartUnit() && StartBridge(); }

bool BridgeRig::StartUnit(int address) {
    sim::SimOptions so;
    if (options.unitOverTcp) {
        so.serial = false;
        while (unitIp.empty() || unitIp == ip) unitIp = testsupport::RandomLoopbackAddress();
        so.tcpAddress = unitIp;
    } else if (options.viaComPort) {
        ::mkdir(folder.File("ports").c_str(), 0700);
        so.ptyLinkPath = folder.File("ports/COM1");
    } else {
        so.ptyLinkPath = folder.File("unit-pty");
    }
    so.address = address;
    so.drift = false;
    so.restartMs = options.restartMs;
    so.oracle = options.oracle;
    so.seed = options.seed;
    unit = std::make_unique<sim::SimUnit>(so);
    std::string error;
    return unit->Start(&error);
}

bool BridgeRig::StartBridge() {
    std::vector<std::string> args = {"--listen", ip, "--name", options.name, "--interval",
                                     std::to_string(options.intervalMs)};
    if (options.unitOverTcp) {
        args.insert(args.begin(), {"--ip", unitIp});
    } else if (options.viaComPort) {
        args.insert(args.begin(), {"--com", "1", "--program-folder", folder.Path()});
    } else {
        args.insert(args.begin(), {"--serial", folder.File("unit-pty")});
    }
    if (options.metrics) {
        args.push_back("--metrics");
        args.push_back(ip + ":" + std::to_string(kMetricsPort));
    }
    args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
    if (!bridge.Start(BinPath("tavrin_bridge"), args)) return false;
    if (!WaitForListener(ip, 9999)) return false;
    return !options.metrics || WaitForListener(ip, kMetricsPort);
}

std::string BridgeRig::Series(const std::string& name, const std::string& extra) const {
    return name + "{unit=\"" + options.name + "\"" + (extra.empty() ? "" : "," + extra) + "}";
}

bool BridgeRig::WaitForSample(const std::string& series, double value, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (const auto text = Metrics()) {
            const std::optional<double> v = Sample(*text, series);
            if (v && *v == value) return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

LinkClient::LinkClient(const std::string& ip) {
    link.SetCloseOnErrors(false, false);
    LinkGuard guard(link.LinkMutex());
    link.SelectEthernet(ip);
    connected_ = link.ConnectSocket() == 0;
}

ResultCode LinkClient::Transact(const std::string& text, int* status, std::string* data) {
    return TransactLocked(link, text, status, data);
}

std::optional<std::string> LinkClient::Read(const std::string& code, int address) {
    std::string data;
    int status = 0;
    char text[64];
    std::snprintf(text, sizeof text, "\x02%04dr%s;;", address, code.c_str());
    if (Transact(text, &status, &data) != kResultOk || status != '1') return std::nullopt;
    return data;
}

RawClient::RawClient(const std::string& ip, uint16_t port, const std::string& from)
    : fd_(ConnectTo(ip, port, from)), cipher_(LinkCipher()) {}

RawClient::~RawClient() { Close(); }

void RawClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool RawClient::SendBytes(const std::string& bytes) {
    return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

bool RawClient::SendFrame(const std::string& frame) { return SendBytes(SealEnvelope(cipher_, frame)); }

std::string RawClient::Receive(std::chrono::milliseconds limit) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) break;
        char buffer[512];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, size_t(n));
        if (got.size() % 8 == 0) break;   // whole blocks: an envelope (the bridge sends one per reply)
    }
    return got;
}

bool RawClient::WaitClosed(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
    }
    return false;
}

std::vector<std::string> RawClient::Replies(size_t count, std::chrono::milliseconds limit) {
    std::vector<std::string> data;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (data.size() < count) {
        const EnvelopeTake take = TakeEnvelope(cipher_, pending_);
        if (take.read == EnvelopeRead::NeedMore) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            const std::string got = Receive(left);
            if (got.empty()) break;
            pending_ += got;
            continue;
        }
        if (take.read == EnvelopeRead::Bad) {
            data.push_back("?");
            pending_.clear();
            continue;
        }
        pending_.erase(0, take.used);
        std::string kept;
        ParsedReply reply;
        const bool ok = AcceptReply(reinterpret_cast<const uint8_t*>(take.frame.data()), take.frame.size(), kept,
                                    reply) == kResultOk;
        data.push_back(ok ? reply.data : "?");
    }
    return data;
}

namespace {
// User and system time of a process so far, in clock ticks.
long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::atoll(field.c_str());
    return ticks;
}
}  // namespace

double CpuShare(pid_t pid, std::chrono::milliseconds window) {
    const long long before = CpuTicks(pid);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(window);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return double(CpuTicks(pid) - before) / double(::sysconf(_SC_CLK_TCK)) / seconds;
}

}  // namespace bridgetest
