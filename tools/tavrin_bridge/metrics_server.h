// GET /metrics (the exposition of BridgeMetrics) and GET / (a short page that
// links to it; metrics_pages.h), served on their own threads by the HTTP
// server library (metrics_server.cpp, a build with TLS) or on one thread of
// our own, one request per connection (metrics_server_plain.cpp, without).
//
// With the library, scrapes never wait behind other HTTP clients: a connection is served by one
// of kHttpWorkers threads; its next request must have come whole within
// kHttpRequestSeconds of its start or of its last answer (slow senders and
// idle keep-alive connections alike are closed then); and while a connection
// waits for a thread, those that wait for a request give theirs up. With a
// web configuration (web_config.h) connections are TLS and requests need a
// user's password; a new configuration applies to new connections.
#pragma once
#include <memory>
#include <string>
#include <thread>

class BridgeMetrics;
struct WebState;

inline constexpr int kHttpWorkers = 16;
inline constexpr int kHttpRequestSeconds = 2;

class MetricsServer {
public:
    explicit MetricsServer(const BridgeMetrics& metrics);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Binds (never beside another socket on the same address) and starts
    // serving; false and `error` when the address cannot be bound.
    bool Start(const std::string& address, int port, std::string* error);
    void Stop();
    // The TLS context and users of the connections that come from now on
    // (those open keep theirs); plain HTTP without users at first.
    void SetWeb(std::shared_ptr<const WebState> state);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::thread thread_;
};
