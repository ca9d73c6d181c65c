// GET /metrics (the exposition of BridgeMetrics) and GET / (a short page that
// links to it), served on their own threads by the HTTP server library.
#pragma once
#include <memory>
#include <string>
#include <thread>

class BridgeMetrics;

class MetricsServer {
public:
    explicit MetricsServer(const BridgeMetrics& metrics);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Binds and starts serving; false when the address cannot be bound.
    bool Start(const std::string& address, int port);
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::thread thread_;
};
