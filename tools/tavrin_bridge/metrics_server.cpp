#include "tools/tavrin_bridge/metrics_server.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/net.h"
#include "platform/socket_options.h"
#include "tools/tavrin_bridge/metrics.h"
#include "tools/tavrin_bridge/metrics_pages.h"
#include "tools/tavrin_bridge/web_config.h"

namespace {

using Clock = std::chrono::steady_clock;

// A connection's waits are sliced so that it notices soon when its thread
// is wanted by a connection waiting for one; one that has waited this long
// for its request then gives its thread up.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);
constexpr auto kGiveUpAfter = std::chrono::milliseconds(50);
constexpr auto kRequestTime = std::chrono::seconds(kHttpRequestSeconds);
constexpr int kHttpBacklog = 64;
// Requests on one connection before it is closed.
constexpr int kRequestsPerConnection = 100;

int Milliseconds(Clock::duration d) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

// The server's threads, a fixed number; connections beyond them wait in
// order, counted in `queued`, which the connections served look at.
class Workers : public httplib::TaskQueue {
public:
    Workers(int count, std::atomic<size_t>& queued) : queued_(queued) {
        for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
    }
    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            jobs_.push_back(std::move(fn));
            queued_ = jobs_.size() > idle_ ? jobs_.size() - idle_ : 0;
        }
        wake_.notify_one();
    }
    void shutdown() override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

private:
    void Work() {
        std::unique_lock<std::mutex> lock(lock_);
        for (;;) {
            ++idle_;
            wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            --idle_;
            if (jobs_.empty()) return;   // stopping, and nothing left to serve
            std::function<void()> fn = std::move(jobs_.front());
            jobs_.pop_front();
            queued_ = jobs_.size() > idle_ ? jobs_.size() - idle_ : 0;
            lock.unlock();
            fn();
            lock.lock();
        }
    }
    std::atomic<size_t>& queued_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    size_t idle_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

// One connection as the HTTP library reads and writes it: every read
// waits at most until the request's deadline, and gives up early when the
// connection has waited for its request while others wait for a thread.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(int socket, const std::atomic<size_t>& queued, const std::atomic<bool>& stopping)
        : socket_(socket), queued_(queued), stopping_(stopping) {}

    // The next request starts: it must have come whole by kRequestTime.
    void NextRequest() {
        start_ = Clock::now();
        deadline_ = start_ + kRequestTime;
    }
    bool is_readable() const override { return Wait(false); }
    bool is_writable() const override { return Wait(true); }
    ssize_t read(char* ptr, size_t size) override {
        if (!Wait(false)) return -1;
        return ReceiveOnce(socket_, reinterpret_cast<uint8_t*>(ptr), size);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!Wait(true)) return -1;
        return SendOnce(socket_, reinterpret_cast<const uint8_t*>(ptr), size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
    socket_t socket() const override { return socket_; }

protected:
    // Until the socket can be written (`write`) or read; false at the
    // deadline, on a stop, or (a read) when the thread is wanted elsewhere.
    bool Wait(bool write) const {
        for (;;) {
            const auto now = Clock::now();
            if (now >= deadline_ || stopping_) return false;
            if (!write && queued_ > 0 && now - start_ >= kGiveUpAfter) return false;
            Waitable w{socket_, write};
            const int ready = WaitFor(&w, 1, std::min(Milliseconds(deadline_ - now) + 1, Milliseconds(kWaitSlice)));
            if (ready > 0) return true;
            if (ready < 0) return false;   // an interruption reads as a time-out: the loop goes on
        }
    }
    void Address(bool peer, std::string& ip, int& port) const {
        const std::optional<PeerAddress> a = SocketAddress(socket_, peer);
        ip = a ? Ipv4Text(a->ipv4) : "";
        port = a ? a->port : 0;
    }

private:
    const int socket_;
    const std::atomic<size_t>& queued_;
    const std::atomic<bool>& stopping_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point deadline_ = start_ + kRequestTime;
};

// The same connection through TLS (OpenSSL's, on the non-blocking socket):
// the handshake counts to the first request's time.
class TlsStream : public DeadlineStream {
public:
    TlsStream(int socket, SSL_CTX* ctx, const std::atomic<size_t>& queued, const std::atomic<bool>& stopping)
        : DeadlineStream(socket, queued, stopping), ssl_(SSL_new(ctx)) {
        SetSocketNonBlocking(socket);
        if (ssl_) SSL_set_fd(ssl_, socket);
    }
    ~TlsStream() override {
        if (!ssl_) return;
        if (accepted_) SSL_shutdown(ssl_);
        SSL_free(ssl_);
    }
    bool Accept() {
        accepted_ = ssl_ != nullptr && Io([this] { return SSL_accept(ssl_); }) > 0;
        return accepted_;
    }
    bool is_readable() const override { return SSL_pending(ssl_) > 0 || DeadlineStream::is_readable(); }
    ssize_t read(char* ptr, size_t size) override {
        return Io([&] { return SSL_read(ssl_, ptr, int(std::min<size_t>(size, INT32_MAX))); });
    }
    ssize_t write(const char* ptr, size_t size) override {
        return Io([&] { return SSL_write(ssl_, ptr, int(std::min<size_t>(size, INT32_MAX))); });
    }

private:
    // One OpenSSL call, again whenever it waits for the socket.
    template <typename Call>
    ssize_t Io(Call call) {
        for (;;) {
            const int n = call();
            if (n > 0) return n;
            const int e = SSL_get_error(ssl_, n);
            if (e == SSL_ERROR_WANT_READ && Wait(false)) continue;
            if (e == SSL_ERROR_WANT_WRITE && Wait(true)) continue;
            if (e == SSL_ERROR_SYSCALL || e == SSL_ERROR_SSL) accepted_ = false;   // no orderly close then
            return e == SSL_ERROR_ZERO_RETURN ? 0 : -1;
        }
    }
    SSL* ssl_;
    bool accepted_ = false;
};

}  // namespace

struct MetricsServer::Impl : httplib::Server {
    int listenSocket = -1;
    std::atomic<size_t> queued{0};
    std::atomic<bool> stopping{false};
    std::mutex webLock;
    std::shared_ptr<const WebState> web = std::make_shared<WebState>();

    std::shared_ptr<const WebState> Web() {
        std::lock_guard<std::mutex> guard(webLock);
        return web;
    }

    // Each connection, through TLS when the configuration asks for it at its
    // start.
    bool process_and_close_socket(socket_t sock) override {
        const std::shared_ptr<const WebState> state = Web();
        bool ok = false;
        if (!state->tls) {
            DeadlineStream stream(sock, queued, stopping);
            ok = Serve(stream);
        } else {
            TlsStream stream(sock, state->tls.get(), queued, stopping);
            ok = stream.Accept() && Serve(stream);
        }
        ShutdownAndClose(sock);
        return ok;
    }

    // Requests read under their deadlines, answered by the library, until
    // one does not come, the client closes or the count is reached.
    bool Serve(DeadlineStream& stream) {
        bool ok = true;
        for (int left = kRequestsPerConnection; left > 0; --left) {
            stream.NextRequest();
            if (!stream.is_readable()) break;
            bool closed = false;
            ok = process_request(stream, left == 1, closed, nullptr);
            if (!ok || closed) break;
        }
        return ok;
    }
};

MetricsServer::MetricsServer(const BridgeMetrics& metrics) : impl_(std::make_unique<Impl>()) {
    Impl& s = *impl_;
    // A scraper that keeps its connection open would otherwise wait on the
    // small answer's last segment for the delayed acknowledgement.
    s.set_tcp_nodelay(true);
    // Only SO_REUSEADDR: an address another program serves is refused.
    s.set_socket_options([&s](socket_t sock) {
        SetAddressReusable(sock);
        s.listenSocket = sock;
    });
    s.new_task_queue = [&s] { return new Workers(kHttpWorkers, s.queued); };
    // With users, every request names one of them with the right password.
    s.set_pre_routing_handler([&s](const httplib::Request& request, httplib::Response& response) {
        if (Authorized(*s.Web(), request.get_header_value("Authorization")))
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = kHttpUnauthorized;
        response.set_header(kAuthenticateHeader, kAuthenticateValue);
        response.set_content(kUnauthorizedBody, kUnauthorizedType);
        return httplib::Server::HandlerResponse::Handled;
    });
    for (const MetricsPage& page : kMetricsPages)
        s.Get(page.path, [&metrics, &page](const httplib::Request&, httplib::Response& response) {
            response.set_content(page.body(metrics), page.contentType);
        });
}

MetricsServer::~MetricsServer() { Stop(); }

bool MetricsServer::Start(const std::string& address, int port, std::string* error) {
    errno = 0;
    if (!impl_->bind_to_port(address.c_str(), port)) {
        *error = errno != 0 ? std::strerror(errno) : "cannot be bound";
        return false;
    }
    // The library's backlog of 5 drops connections that come in a burst
    // (they are tried again a second later): a longer one.
    SetListenBacklog(impl_->listenSocket, kHttpBacklog);
    thread_ = std::thread([this] { impl_->listen_after_bind(); });
    // A stop before the server thread has begun listening would be lost (the
    // thread would then listen for ever): Start returns once it listens.
    for (int i = 0; i < 5000 && !impl_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void MetricsServer::SetWeb(std::shared_ptr<const WebState> state) {
    std::lock_guard<std::mutex> guard(impl_->webLock);
    impl_->web = std::move(state);
}

void MetricsServer::Stop() {
    if (!thread_.joinable()) return;
    impl_->stopping = true;
    impl_->stop();
    thread_.join();
}
