// The metrics listener of a build without TLS (Windows): plain HTTP on the
// platform's sockets, one thread serving up to kMaxConnections connections at
// once, one request per connection, so that clients which send slowly or not
// at all never hold up a scrape. A request must have come whole, and its
// answer gone, within kHttpRequestSeconds of its connection; GET and HEAD of
// the pages in metrics_pages.h are answered, other paths with 404, other
// methods with 405, anything unreadable with 400. There is no web
// configuration to apply (LoadWebConfig refuses every one in this build).
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/net.h"
#include "tools/tavrin_bridge/metrics_pages.h"
#include "tools/tavrin_bridge/metrics_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kHttpBacklog = 64;
constexpr size_t kMaxConnections = 64;
constexpr size_t kMaxRequestHead = 8192;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left)) + 1;
}

// One connection: its request's head as it comes, then its answer as it goes.
struct Connection {
    SocketHandle socket = kNoSocket;
    Clock::time_point deadline;
    std::string head;
    std::string reply;
    size_t sent = 0;
    bool done = false;
};

// The whole answer to a request's head ("METHOD TARGET HTTP/x.y" first).
std::string AnswerTo(const std::string& head, const BridgeMetrics& metrics) {
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
    const std::string body = status == kHttpOk ? page->body(metrics) : std::string(HttpReason(status)) + "\n";
    const char* type = status == kHttpOk ? page->contentType : "text/plain; charset=utf-8";
    std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + HttpReason(status) + "\r\nContent-Type: " + type +
                        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                        (status == kHttpMethodNotAllowed ? "Allow: GET, HEAD\r\n" : "") + "Connection: close\r\n\r\n";
    if (withBody) reply += body;
    return reply;
}

}  // namespace

struct MetricsServer::Impl {
    explicit Impl(const BridgeMetrics& m) : metrics(m) {}
    const BridgeMetrics& metrics;
    SocketHandle listener = kNoSocket;
    SocketHandle stop[2] = {kNoSocket, kNoSocket};   // read end, write end

    // Takes what the connection has ready: more of its request, or room for
    // more of its answer. Done when the answer has gone, or when the request
    // cannot be answered (closed, failed, too long: no answer).
    void Progress(Connection& c) const {
        if (c.reply.empty()) {
            char buffer[1024];
            const long n = ReceiveNow(c.socket, buffer, sizeof buffer);
            if (n == kWouldBlock) return;
            if (n <= 0 || c.head.size() + size_t(n) > kMaxRequestHead) {
                c.done = true;
                return;
            }
            c.head.append(buffer, size_t(n));
            if (c.head.find("\r\n\r\n") == std::string::npos) return;
            c.reply = AnswerTo(c.head, metrics);
        }
        const long n = SendNow(c.socket, c.reply.data() + c.sent, c.reply.size() - c.sent);
        if (n == -1) c.done = true;
        if (n > 0) c.sent += size_t(n);
        if (c.sent == c.reply.size()) c.done = true;
    }

    void Serve() const {
        std::vector<Connection> open;
        std::vector<Waitable> items;
        for (;;) {
            // The stop, each connection, and the listener while there is room.
            items.assign(1, Waitable{stop[0]});
            auto nearest = Clock::time_point::max();
            for (const Connection& c : open) {
                items.push_back(Waitable{c.socket, !c.reply.empty()});
                nearest = std::min(nearest, c.deadline);
            }
            const bool room = open.size() < kMaxConnections;
            if (room) items.push_back(Waitable{listener});
            const int timeout = open.empty() ? -1 : MillisecondsLeft(nearest);
            if (WaitFor(items.data(), items.size(), timeout) < 0 || items[0].ready) break;
            for (size_t i = 0; i < open.size(); ++i)
                if (items[i + 1].ready) Progress(open[i]);
            if (room && items.back().ready) {
                if (const SocketHandle c = AcceptConnection(listener); c != kNoSocket) {
                    open.emplace_back();
                    open.back().socket = c;
                    open.back().deadline = Clock::now() + std::chrono::seconds(kHttpRequestSeconds);
                }
            }
            const auto now = Clock::now();
            std::erase_if(open, [&](const Connection& c) {
                if (!c.done && now < c.deadline) return false;
                ShutdownAndClose(c.socket);
                return true;
            });
        }
        for (const Connection& c : open) ShutdownAndClose(c.socket);
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
