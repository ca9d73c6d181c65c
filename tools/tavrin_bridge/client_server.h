// The bridge's listeners and clients: one thread waits on every socket (the
// platform's WaitFor), takes whole envelopes from each client, hands their requests to the
// unit queue (one at a time per client, in the order they came) and sends
// each reply back to the client that asked. Bad, silent, vanished and surplus
// clients are dropped without the others noticing; the work of a client that
// has gone is taken out of the queue. While the queue is full, clients wait
// for room in the order they met it; the loop sleeps in its wait until
// something can move.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/blowfish.h"
#include "platform/net.h"
#include "tools/tavrin_bridge/allow_list.h"

class UnitQueue;
class BridgeMetrics;

struct Endpoint {
    std::string address;   // IPv4 dotted quad
    uint16_t port = 0;
    std::string Text() const { return address + ":" + std::to_string(port); }
};

// "ADDR[:PORT]" (`defaultPort` when the port is left out; `needPort` makes it
// compulsory). Nothing when it is no IPv4 address and port.
std::optional<Endpoint> ParseEndpoint(const std::string& text, uint16_t defaultPort, bool needPort);

// Requests of one client waiting behind the one it has in the queue; while
// this many wait, nothing more is read from it.
inline constexpr size_t kMaxWaitingPerClient = 8;
inline constexpr uint32_t kDefaultIdleSeconds = 30;
inline constexpr int kDefaultMaxClients = 8;

struct ServerOptions {
    std::vector<Endpoint> listen;
    // Listeners through which only reads reach the unit; any other request
    // is answered with status 'E' by the bridge.
    std::vector<Endpoint> listenReadOnly;
    // The addresses that may connect to either kind (none: every address).
    std::vector<AddressRange> allow;
    int maxClients = kDefaultMaxClients;
    uint32_t idleSeconds = kDefaultIdleSeconds;
};

class ClientServer {
public:
    ClientServer(ServerOptions options, UnitQueue& queue, BridgeMetrics& metrics, const Blowfish& cipher);
    ~ClientServer();
    ClientServer(const ClientServer&) = delete;
    ClientServer& operator=(const ClientServer&) = delete;

    // Binds every listener; false (and `error`) when one cannot be bound.
    bool Open(std::string* error);
    // The listeners as bound (a port 0 asked for is the port given), the
    // read-only ones after the others.
    const std::vector<Endpoint>& Listening() const { return bound_; }
    bool ReadOnly(size_t listener) const { return listener >= options_.listen.size(); }
    // Serves until `stop` becomes readable, then closes every client and
    // listener.
    void Run(SocketHandle stop);
    // From any thread: the loop looks again at what can move (the unit
    // queue has room).
    void Wake();

private:
    struct Client;
    struct Reply {
        uint64_t client;
        std::optional<std::string> frame;
    };
    void Accept(size_t listener);
    // Whether the client's next request may go to the unit; logs the writes
    // and the refusals.
    bool Admit(const Client& client, const std::string& request);
    // Answers the client's next request with a refusal instead of the unit.
    void Refuse(Client& client);
    void OnReadable(Client& client);
    // Takes the whole requests out of the client's bytes, as many as its
    // backlog has room for, and passes the next one on. False when the
    // client was closed for what it sent.
    bool TakeRequests(Client& client);
    void SubmitNext(Client& client);
    bool TrySubmit(Client& client);
    // Clients that met a full queue, in the order they met it.
    void SubmitStalled();
    void TakeReplies();
    void CloseIdle();
    void Close(uint64_t id, const char* why);
    void Report(const Client& client, const char* what) const;

    const ServerOptions options_;
    UnitQueue& queue_;
    BridgeMetrics& metrics_;
    const Blowfish& cipher_;
    std::vector<SocketHandle> listeners_;
    std::vector<Endpoint> bound_;
    std::map<uint64_t, std::unique_ptr<Client>> clients_;
    std::deque<uint64_t> stalled_;   // clients waiting for room in the unit queue
    uint64_t nextId_ = 1;
    SocketHandle wake_[2] = {kNoSocket, kNoSocket};   // read end, write end
    // Replies handed over by the unit queue's worker.
    std::mutex repliesLock_;
    std::deque<Reply> replies_;
};
