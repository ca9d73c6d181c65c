#include "tools/tavrin_bridge/metrics_server.h"

#include <httplib.h>

#include <chrono>

#include "tools/tavrin_bridge/metrics.h"

namespace {

const char kIndexPage[] =
    "<!DOCTYPE html>\n<html><head><title>tavrin_bridge</title></head>\n"
    "<body><h1>tavrin_bridge</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

}  // namespace

struct MetricsServer::Impl {
    httplib::Server server;
};

MetricsServer::MetricsServer(const BridgeMetrics& metrics) : impl_(std::make_unique<Impl>()) {
    // A scraper that keeps its connection open would otherwise wait on the
    // small answer's last segment for the delayed acknowledgement.
    impl_->server.set_tcp_nodelay(true);
    impl_->server.Get("/metrics", [&metrics](const httplib::Request&, httplib::Response& response) {
        response.set_content(metrics.Exposition(), "text/plain; version=0.0.4; charset=utf-8");
    });
    impl_->server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kIndexPage, "text/html; charset=utf-8");
    });
}

MetricsServer::~MetricsServer() { Stop(); }

bool MetricsServer::Start(const std::string& address, int port) {
    if (!impl_->server.bind_to_port(address.c_str(), port)) return false;
    thread_ = std::thread([this] { impl_->server.listen_after_bind(); });
    // A stop before the server thread has begun listening would be lost (the
    // thread would then listen for ever): Start returns once it listens.
    for (int i = 0; i < 5000 && !impl_->server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void MetricsServer::Stop() {
    if (!thread_.joinable()) return;
    impl_->server.stop();
    thread_.join();
}
