#include "tools/tavrin_bridge/client_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/envelope.h"
#include "platform/numbers.h"
#include "tools/tavrin_bridge/client_protocol.h"
#include "tools/tavrin_bridge/journal.h"
#include "tools/tavrin_bridge/metrics.h"
#include "tools/tavrin_bridge/unit_queue.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kReadChunk = 512;
// Room for every client --max-clients allows to connect in one burst (a
// connection beyond the backlog is tried again only a second later).
constexpr int kListenBacklog = 256;
// Bytes kept from a client short of whole envelopes it may send (far beyond
// one envelope, which is at most 248 bytes).
constexpr size_t kClientBufferLimit = 4096;

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

std::optional<Endpoint> ParseEndpoint(const std::string& text, uint16_t defaultPort, bool needPort) {
    Endpoint e;
    const size_t colon = text.rfind(':');
    e.address = text.substr(0, colon);
    e.port = defaultPort;
    if (colon != std::string::npos) {
        const std::optional<int64_t> port = ParseInteger(text.substr(colon + 1));
        if (!port || *port < 0 || *port > 65535 || text.substr(colon + 1).front() == '-') return std::nullopt;
        e.port = uint16_t(*port);
    } else if (needPort) {
        return std::nullopt;
    }
    in_addr a{};
    if (::inet_pton(AF_INET, e.address.c_str(), &a) != 1) return std::nullopt;
    return e;
}

struct ClientServer::Client {
    uint64_t id = 0;
    int fd = -1;
    std::string peer;
    bool readOnly = false;                // came through a read-only listener
    std::string pending;                  // enciphered bytes short of a whole envelope
    std::deque<std::string> waiting;      // requests not yet handed to the unit queue
    bool inQueue = false;                 // one request of this client is queued or running
    bool stalled = false;                 // its next request waits for room in the unit queue
    int badFrames = 0;
    Clock::time_point lastActive;
    std::shared_ptr<std::atomic<bool>> gone = std::make_shared<std::atomic<bool>>(false);
};

ClientServer::ClientServer(ServerOptions options, UnitQueue& queue, BridgeMetrics& metrics, const Blowfish& cipher)
    : options_(std::move(options)), queue_(queue), metrics_(metrics), cipher_(cipher) {}

ClientServer::~ClientServer() {
    while (!clients_.empty()) Close(clients_.begin()->first, nullptr);
    for (int& fd : listeners_) CloseFd(fd);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
}

bool ClientServer::Open(std::string* error) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<Endpoint> all = options_.listen;
    all.insert(all.end(), options_.listenReadOnly.begin(), options_.listenReadOnly.end());
    for (const Endpoint& e : all) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(e.port);
        ::inet_pton(AF_INET, e.address.c_str(), &addr.sin_addr);
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int one = 1;
        if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd, kListenBacklog) != 0) {
            *error = "cannot listen on " + e.Text() + ": " + std::strerror(errno);
            CloseFd(fd);
            return false;
        }
        socklen_t len = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        listeners_.push_back(fd);
        bound_.push_back(Endpoint{e.address, ntohs(addr.sin_port)});
    }
    return true;
}

void ClientServer::Report(const Client& client, const char* what) const {
    Say(Priority::Info, "client %s %s", client.peer.c_str(), what);
}

void ClientServer::Close(uint64_t id, const char* why) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& c = *it->second;
    if (why) Report(c, why);
    *c.gone = true;   // its queued request leaves the queue; a reply under way is dropped
    ::shutdown(c.fd, SHUT_RDWR);
    CloseFd(c.fd);
    clients_.erase(it);
    queue_.DropCancelled();
    metrics_.SetClients(int(clients_.size()));
}

void ClientServer::Accept(size_t listener) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd =
        ::accept4(listeners_[listener], reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    char ip[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    const std::string name = std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
    if (!AddressAllowed(options_.allow, ntohl(peer.sin_addr.s_addr))) {
        Say(Priority::Warning, "client %s refused: not in an --allow range", name.c_str());
        metrics_.CountNotAllowedClient();
        ::close(fd);
        return;
    }
    if (int(clients_.size()) >= options_.maxClients) {
        Say(Priority::Warning, "client %s refused: %d clients already", name.c_str(),
                     int(clients_.size()));
        metrics_.CountRefusedClient();
        ::close(fd);
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Client>();
    c->id = nextId_++;
    c->fd = fd;
    c->peer = name;
    c->readOnly = ReadOnly(listener);
    c->lastActive = Clock::now();
    Say(Priority::Info, "client %s connected to %s%s", name.c_str(), bound_[listener].Text().c_str(),
                 c->readOnly ? " (read only)" : "");
    clients_.emplace(c->id, std::move(c));
    metrics_.SetClients(int(clients_.size()));
}

bool ClientServer::Admit(const Client& c, const std::string& request) {
    const RequestKind kind = KindOfRequest(request);
    const std::string code = RequestCode(request);
    const char* what = kind == RequestKind::Write ? "write" : "request of unknown kind";
    if (c.readOnly && kind != RequestKind::Read) {
        Say(Priority::Warning, "client %s %s %s refused: read-only listener", c.peer.c_str(), what,
                     code.c_str());
        metrics_.CountRefusedRequest();
        return false;
    }
    if (kind != RequestKind::Read)
        Say(Priority::Notice, "client %s %s %s", c.peer.c_str(), what, code.c_str());
    return true;
}

void ClientServer::Refuse(Client& c) {
    std::string frame = RefusalReplyFrame(c.waiting.front());
    c.waiting.pop_front();
    c.inQueue = true;   // its reply goes out in turn, as one from the unit would
    {
        std::lock_guard<std::mutex> guard(repliesLock_);
        replies_.push_back(Reply{c.id, std::move(frame)});
    }
    Wake();
}

void ClientServer::SubmitNext(Client& c) {
    if (c.inQueue || c.stalled || c.waiting.empty()) return;
    if (!Admit(c, c.waiting.front())) {
        Refuse(c);
        return;
    }
    // Clients that met a full queue before this one go first.
    if (!stalled_.empty() || !TrySubmit(c)) {
        c.stalled = true;
        stalled_.push_back(c.id);
    }
}

void ClientServer::Wake() {
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], &b, 1);
}

bool ClientServer::TrySubmit(Client& c) {
    const uint64_t id = c.id;
    auto done = [this, id](std::optional<std::string> frame) {
        {
            std::lock_guard<std::mutex> guard(repliesLock_);
            replies_.push_back(Reply{id, std::move(frame)});
        }
        Wake();
    };
    // A full queue keeps the request at the front of the client's backlog.
    if (!queue_.Submit(c.waiting.front(), c.gone, std::move(done))) return false;
    c.waiting.pop_front();
    c.inQueue = true;
    return true;
}

void ClientServer::SubmitStalled() {
    while (!stalled_.empty()) {
        const auto it = clients_.find(stalled_.front());
        if (it != clients_.end()) {
            Client& c = *it->second;
            if (!TrySubmit(c)) return;   // the queue tells when it has room again
            c.stalled = false;
        }
        stalled_.pop_front();
    }
}

void ClientServer::OnReadable(Client& c) {
    char buffer[kReadChunk];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        Close(c.id, "disconnected");
        return;
    }
    if (n < 0) return;
    c.pending.append(buffer, size_t(n));
    if (c.pending.size() > kClientBufferLimit) {
        Close(c.id, "sent more than it waits for: disconnected");
        return;
    }
    TakeRequests(c);
}

bool ClientServer::TakeRequests(Client& c) {
    const ClientBytes got = ReadClientBytes(cipher_, c.pending, kMaxWaitingPerClient - c.waiting.size());
    c.pending.erase(0, got.used);
    c.badFrames += got.badFrames;
    if (c.badFrames >= kMaxBadFrames) {
        Close(c.id, "sent no valid requests: disconnected");
        return false;
    }
    for (const std::string& r : got.requests) c.waiting.push_back(r);
    if (!got.requests.empty()) c.lastActive = Clock::now();
    SubmitNext(c);
    return true;
}

void ClientServer::TakeReplies() {
    char sink[64];
    while (::read(wake_[0], sink, sizeof sink) > 0) {
    }
    std::deque<Reply> replies;
    {
        std::lock_guard<std::mutex> guard(repliesLock_);
        replies.swap(replies_);
    }
    for (Reply& r : replies) {
        const auto it = clients_.find(r.client);
        if (it == clients_.end()) continue;   // the client has gone: its reply is dropped
        Client& c = *it->second;
        c.inQueue = false;
        c.lastActive = Clock::now();
        if (r.frame) {
            const std::string envelope = SealEnvelope(cipher_, *r.frame);
            const ssize_t sent = ::send(c.fd, envelope.data(), envelope.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent != ssize_t(envelope.size())) {
                // A client that does not read its replies holds up nobody else.
                Close(c.id, "does not take its replies: disconnected");
                continue;
            }
        }
        // Requests it sent beyond its backlog have room now.
        TakeRequests(c);
    }
}

void ClientServer::CloseIdle() {
    const auto now = Clock::now();
    std::vector<uint64_t> idle;
    for (const auto& [id, c] : clients_)
        if (!c->inQueue && c->waiting.empty() && now - c->lastActive >= std::chrono::seconds(options_.idleSeconds))
            idle.push_back(id);
    for (const uint64_t id : idle) Close(id, "idle: closed");
}

void ClientServer::Run(int stopFd) {
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids;
    for (;;) {
        // Clients with nothing under way that have been silent for too long;
        // every client left has its idle end ahead, so poll() never spins.
        CloseIdle();
        fds.clear();
        ids.clear();
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({wake_[0], POLLIN, 0});
        for (const int l : listeners_) fds.push_back({l, POLLIN, 0});
        const size_t firstClient = fds.size();
        const auto now = Clock::now();
        long long timeoutMs = 1000;
        for (const auto& [id, c] : clients_) {
            // While its backlog is full nothing more is read from a client;
            // that it hangs up is still seen.
            const short events = short(POLLRDHUP | (c->waiting.size() < kMaxWaitingPerClient ? POLLIN : 0));
            fds.push_back({c->fd, events, 0});
            ids.push_back(id);
            if (!c->inQueue && c->waiting.empty()) {
                const auto idleEnd = c->lastActive + std::chrono::seconds(options_.idleSeconds);
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(idleEnd - now).count();
                timeoutMs = std::min(timeoutMs, std::max<long long>(1, left + 1));
            }
        }
        const int ready = ::poll(fds.data(), fds.size(), int(timeoutMs));
        if (ready < 0 && errno != EINTR) break;
        if (fds[0].revents) break;
        if (fds[1].revents) TakeReplies();
        for (size_t i = 2; i < firstClient; ++i)
            if (fds[i].revents) Accept(i - 2);
        for (size_t i = firstClient; i < fds.size(); ++i) {
            const short revents = fds[i].revents;
            if (!revents) continue;
            const auto it = clients_.find(ids[i - firstClient]);
            if (it == clients_.end()) continue;
            if (revents & POLLIN) {
                OnReadable(*it->second);
            } else {
                // Gone while its backlog was full: its work is dropped.
                Close(it->first, "disconnected");
            }
        }
        SubmitStalled();
    }
    while (!clients_.empty()) Close(clients_.begin()->first, "closed: the bridge stops");
    for (int& fd : listeners_) CloseFd(fd);
    listeners_.clear();
}
