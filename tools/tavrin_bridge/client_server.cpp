#include "tools/tavrin_bridge/client_server.h"

#include <atomic>
#include <chrono>

#include "link/envelope.h"
#include "platform/files.h"
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

void CloseFd(SocketHandle& s) {
    CloseSocket(s);
    s = kNoSocket;
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
    if (!IsIpv4Address(e.address)) return std::nullopt;
    return e;
}

struct ClientServer::Client {
    uint64_t id = 0;
    SocketHandle fd = kNoSocket;
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
    for (SocketHandle& fd : listeners_) CloseFd(fd);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
}

bool ClientServer::Open(std::string* error) {
    if (!MakeSocketPair(wake_)) {
        *error = "socket pair: " + ErrorText(LastSocketError());
        return false;
    }
    std::vector<Endpoint> all = options_.listen;
    all.insert(all.end(), options_.listenReadOnly.begin(), options_.listenReadOnly.end());
    for (const Endpoint& e : all) {
        uint16_t port = e.port;
        const SocketHandle fd = ListenTcp(e.address, port, kListenBacklog);
        if (fd == kNoSocket) {
            *error = "cannot listen on " + e.Text() + ": " + ErrorText(LastSocketError());
            return false;
        }
        listeners_.push_back(fd);
        bound_.push_back(Endpoint{e.address, port});
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
    ShutdownAndClose(c.fd);
    c.fd = kNoSocket;
    clients_.erase(it);
    queue_.DropCancelled();
    metrics_.SetClients(int(clients_.size()));
}

void ClientServer::Accept(size_t listener) {
    PeerAddress peer;
    SocketHandle fd = AcceptConnection(listeners_[listener], &peer);
    if (fd == kNoSocket) return;
    const std::string name = peer.Text();
    if (!AddressAllowed(options_.allow, peer.ipv4)) {
        Say(Priority::Warning, "client %s refused: not in an --allow range", name.c_str());
        metrics_.CountNotAllowedClient();
        CloseFd(fd);
        return;
    }
    if (int(clients_.size()) >= options_.maxClients) {
        Say(Priority::Warning, "client %s refused: %d clients already", name.c_str(),
                     int(clients_.size()));
        metrics_.CountRefusedClient();
        CloseFd(fd);
        return;
    }
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
    // A full socket already holds a wake-up: nothing is lost.
    const char b = 1;
    SendNow(wake_[1], &b, 1);
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
    const long n = ReceiveNow(c.fd, buffer, sizeof buffer);
    if (n == 0 || n == -1) {
        Close(c.id, "disconnected");
        return;
    }
    if (n < 0) return;   // nothing to read after all
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
    while (ReceiveNow(wake_[0], sink, sizeof sink) > 0) {
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
            const long sent = SendNow(c.fd, envelope.data(), envelope.size());
            if (sent != long(envelope.size())) {
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

void ClientServer::Run(SocketHandle stop) {
    std::vector<Waitable> items;
    std::vector<uint64_t> ids;
    for (;;) {
        // Clients with nothing under way that have been silent for too long;
        // every client left has its idle end ahead, so the wait never spins.
        CloseIdle();
        items.clear();
        ids.clear();
        items.push_back({stop});
        items.push_back({wake_[0]});
        for (const SocketHandle l : listeners_) items.push_back({l});
        const size_t firstClient = items.size();
        const auto now = Clock::now();
        long long timeoutMs = 1000;
        for (const auto& [id, c] : clients_) {
            // While its backlog is full nothing more is read from a client;
            // that it hangs up is still seen.
            Waitable w{c->fd};
            w.hangUpOnly = c->waiting.size() >= kMaxWaitingPerClient;
            items.push_back(w);
            ids.push_back(id);
            if (!c->inQueue && c->waiting.empty()) {
                const auto idleEnd = c->lastActive + std::chrono::seconds(options_.idleSeconds);
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(idleEnd - now).count();
                timeoutMs = std::min(timeoutMs, std::max<long long>(1, left + 1));
            }
        }
        if (WaitFor(items.data(), items.size(), int(timeoutMs)) < 0) break;
        if (items[0].ready) break;
        if (items[1].ready) TakeReplies();
        for (size_t i = 2; i < firstClient; ++i)
            if (items[i].ready) Accept(i - 2);
        for (size_t i = firstClient; i < items.size(); ++i) {
            if (!items[i].ready) continue;
            const auto it = clients_.find(ids[i - firstClient]);
            if (it == clients_.end()) continue;
            if (!items[i].hangUpOnly) {
                OnReadable(*it->second);
            } else {
                // Gone while its backlog was full: its work is dropped.
                Close(it->first, "disconnected");
            }
        }
        SubmitStalled();
    }
    while (!clients_.empty()) Close(clients_.begin()->first, "closed: the bridge stops");
    for (SocketHandle& fd : listeners_) CloseFd(fd);
    listeners_.clear();
}
