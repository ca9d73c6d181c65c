// The metrics listener of a build without TLS (Windows): plain HTTP on the
// platform's sockets, one thread, one request per connection. A request must
// have come whole within kHttpRequestSeconds of its connection; GET and HEAD
// of the pages in metrics_pages.h are answered, other paths with 404, other
// methods with 405, anything unreadable with 400. There is no web
// configuration to apply (LoadWebConfig refuses every one in this build).
#include <algorithm>
#include <chrono>
#include <string>

#include "platform/files.h"
#include "platform/net.h"
#include "tools/tavrin_bridge/metrics_pages.h"
#include "tools/tavrin_bridge/metrics_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kHttpBacklog = 64;
constexpr size_t kMaxRequestHead = 8192;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left)) + 1;
}

}  // namespace

struct MetricsServer::Impl {
    explicit Impl(const BridgeMetrics& m) : metrics(m) {}
    const BridgeMetrics& metrics;
    SocketHandle listener = kNoSocket;
    SocketHandle stop[2] = {kNoSocket, kNoSocket};   // read end, write end

    // Waits for `s` (to write, or to read) until `deadline`; false on the
    // deadline, a stop or a failure.
    bool Wait(SocketHandle s, bool write, Clock::time_point deadline) const {
        while (Clock::now() < deadline) {
            Waitable items[2] = {{s, write}, {stop[0]}};
            if (WaitFor(items, 2, MillisecondsLeft(deadline)) < 0 || items[1].ready) return false;
            if (items[0].ready) return true;
        }
        return false;
    }

    // The request's head, up to its empty line; "" when it does not come whole in time.
    std::string ReadHead(SocketHandle c, Clock::time_point deadline) const {
        std::string head;
        while (head.find("\r\n\r\n") == std::string::npos) {
            if (head.size() > kMaxRequestHead || !Wait(c, false, deadline)) return "";
            char buffer[1024];
            const long n = ReceiveNow(c, buffer, sizeof buffer);
            if (n == 0 || n == -1) return "";
            if (n > 0) head.append(buffer, size_t(n));
        }
        return head;
    }

    bool SendAll(SocketHandle c, const std::string& bytes, Clock::time_point deadline) const {
        for (size_t done = 0; done < bytes.size();) {
            const long n = SendNow(c, bytes.data() + done, bytes.size() - done);
            if (n == -1 || (n == kWouldBlock && !Wait(c, true, deadline))) return false;
            if (n > 0) done += size_t(n);
        }
        return true;
    }

    void Answer(SocketHandle c) const {
        const auto deadline = Clock::now() + std::chrono::seconds(kHttpRequestSeconds);
        const std::string head = ReadHead(c, deadline);
        if (head.empty()) return;   // nothing whole came: no answer
        // "METHOD TARGET HTTP/x.y"
        const std::string line = head.substr(0, head.find("\r\n"));
        const size_t space1 = line.find(' ');
        const size_t space2 = space1 == std::string::npos ? space1 : line.find(' ', space1 + 1);
        int status = kHttpBadRequest;
        const MetricsPage* page = nullptr;
        bool withBody = true;
        if (space2 != std::string::npos && line.compare(space2 + 1, 5, "HTTP/") == 0) {
            const std::string method = line.substr(0, space1);
            const std::string target = line.substr(space1 + 1, space2 - space1 - 1);
            page = FindMetricsPage(std::string_view(target).substr(0, target.find('?')));
            withBody = method != "HEAD";
            status = method != "GET" && method != "HEAD" ? kHttpMethodNotAllowed : page ? kHttpOk : kHttpNotFound;
        }
        std::string body = status == kHttpOk ? page->body(metrics) : std::string(HttpReason(status)) + "\n";
        const char* type = status == kHttpOk ? page->contentType : "text/plain; charset=utf-8";
        std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + HttpReason(status) + "\r\nContent-Type: " +
                            type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                            (status == kHttpMethodNotAllowed ? "Allow: GET, HEAD\r\n" : "") +
                            "Connection: close\r\n\r\n";
        if (withBody) reply += body;
        SendAll(c, reply, deadline);
    }

    void Serve() const {
        for (;;) {
            Waitable items[2] = {{stop[0]}, {listener}};
            if (WaitFor(items, 2, -1) < 0 || items[0].ready) return;
            if (!items[1].ready) continue;
            const SocketHandle c = AcceptConnection(listener);
            if (c == kNoSocket) continue;
            Answer(c);
            ShutdownAndClose(c);
        }
    }
};

MetricsServer::MetricsServer(const BridgeMetrics& metrics) : impl_(std::make_unique<Impl>(metrics)) {}

MetricsServer::~MetricsServer() {
    Stop();
    CloseSocket(impl_->listener);
    CloseSocket(impl_->stop[0]);
    CloseSocket(impl_->stop[1]);
}

bool MetricsServer::Start(const std::string& address, int port, std::string* error) {
    if (!MakeSocketPair(impl_->stop)) {
        *error = ErrorText(LastSocketError());
        return false;
    }
    uint16_t bound = uint16_t(port);
    impl_->listener = ListenTcp(address, bound, kHttpBacklog);
    if (impl_->listener == kNoSocket) {
        *error = ErrorText(LastSocketError());
        return false;
    }
    thread_ = std::thread([this] { impl_->Serve(); });
    return true;
}

void MetricsServer::SetWeb(std::shared_ptr<const WebState>) {}

void MetricsServer::Stop() {
    if (!thread_.joinable()) return;
    const char byte = 's';
    SendNow(impl_->stop[1], &byte, 1);
    thread_.join();
}
