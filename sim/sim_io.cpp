#include "sim/sim_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/envelope.h"
#include "link/frame.h"
#include "link/shared_key.h"
#include "platform/clock.h"

namespace sim {
namespace {

constexpr size_t kMaxPendingFrame = 300;
const char kNoise[] = "\x7e\x55\xaa\x20";

std::string SocketError(const std::string& what) { return what + ": " + std::strerror(LastSocketError()); }

void Close(SocketHandle& s) {
    CloseSocket(s);
    s = kNoSocket;
}

// Waits up to `ms` for `s` to take more bytes.
void WaitWritable(SocketHandle s, int ms) {
    Waitable w{s, true};
    WaitFor(&w, 1, ms);
}

// Sends all of `bytes`, waiting while the connection is full; false on failure.
bool SendWhole(SocketHandle s, const char* bytes, size_t length) {
    size_t done = 0;
    while (done < length) {
        const long n = SendNow(s, bytes + done, length - done);
        if (n == kWouldBlock) {
            WaitWritable(s, 100);
            continue;
        }
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

SimUnit::Io::Io(State& state)
    : state_(state),
      cipher_(LinkKey(), kLinkKeyLength),
      line_(state.options.lineRate, state.options.latencyMs, state.options.thinkMs) {
    linkPath = state.options.ptyLinkPath;
    tcpAddress = state.options.tcpAddress;
    tcpPort = state.options.tcpPort;
}

SimUnit::Io::~Io() { Stop(); }

bool SimUnit::Io::Start(std::string* error) {
    std::string why;
    bool ok = MakeSocketPair(wake_);
    if (!ok) why = SocketError("wake-up sockets");
    if (ok && state_.options.serial) ok = OpenPty(&why) && PlaceLink(&why);
    if (ok && !tcpAddress.empty()) ok = OpenListener(&why);
    if (!ok) {
        if (error) *error = why;
        Stop();
        return false;
    }
    stop_ = false;
    worker_ = std::thread([this] { Run(); });
    return true;
}

void SimUnit::Io::Stop() {
    stop_ = true;
    Wake();
    if (worker_.joinable()) worker_.join();
    DropClient();
    CloseListener();
    if (linkPlaced_) {
        // Remove the link only while it still points at our terminal.
        RemoveLinkTo(linkPath, slavePath);
        linkPlaced_ = false;
    }
    pty_.Close();
    Close(wake_[0]);
    Close(wake_[1]);
}

void SimUnit::Io::Wake() {
    if (wake_[1] != kNoSocket) {
        const char c = 1;
        SendNow(wake_[1], &c, 1);
    }
}

bool SimUnit::Io::OpenPty(std::string* error) {
    if (!pty_.Open(*error)) return false;
    slavePath = pty_.FarPath();
    return true;
}

bool SimUnit::Io::PlaceLink(std::string* error) {
    if (linkPath.empty()) return true;
    if (!::PlaceLink(linkPath, slavePath, *error)) return false;
    linkPlaced_ = true;
    return true;
}

bool SimUnit::Io::OpenListener(std::string* error) {
    // Port 0: the port the system chose is kept, so that a listener reopened
    // after a restart (by the worker thread) binds the same one again.
    listen_ = ListenTcp(tcpAddress, tcpPort, 4);
    if (listen_ != kNoSocket) return true;
    if (error) {
        *error = LastSocketError() == EINVAL ? "not an IPv4 address: " + tcpAddress
                                             : SocketError("listen on " + tcpAddress + ":" + std::to_string(tcpPort));
    }
    return false;
}

void SimUnit::Io::CloseListener() { Close(listen_); }

void SimUnit::Io::DropClient() {
    if (client_ == kNoSocket) return;
    // Unread bytes would turn the close into a reset that can destroy a reply
    // still in flight, so they are read away first.
    char sink[512];
    while (ReceiveNow(client_, sink, sizeof sink) > 0) {
    }
    ShutdownAndClose(client_);
    client_ = kNoSocket;
    tcpBuf_.clear();
}

bool SimUnit::Io::Pause(uint32_t ms) {
    const uint64_t end = TickMs() + ms;
    while (!stop_) {
        const uint64_t now = TickMs();
        if (now >= end) return true;
        Waitable w{wake_[0]};
        if (WaitFor(&w, 1, int(end - now)) > 0) {
            char sink[64];
            while (ReceiveNow(wake_[0], sink, sizeof sink) > 0) {
            }
        }
    }
    return false;
}

void SimUnit::Io::Run() {
    // Wake-ups as close to their time as the kernel gives them (the default
    // slack is 50 us, a twentieth of a byte at 9600 baud, many at 115200).
    if (line_.Delays()) AskPreciseWakeUps();
    char buf[512];
    while (!stop_) {
        if (state_.TakeRestartPending()) {
            DropClient();
            CloseListener();
        }
        const bool wantListener = !tcpAddress.empty() && listen_ == kNoSocket;
        if (wantListener && state_.AcceptsConnections()) OpenListener(nullptr);
        // A listener opened early keeps new connections waiting in its queue
        // until the restart is over, so that their first requests are answered.
        const bool accepting = !state_.IsRestarting();

        Waitable items[4];
        size_t count = 0;
        items[count++] = {wake_[0]};
        if (pty_.IsOpen()) items[count++] = {pty_.Waitable()};
        if (listen_ != kNoSocket && accepting) items[count++] = {listen_};
        if (client_ != kNoSocket) items[count++] = {client_};
        // While the listener is down for a restart, look again soon.
        const int timeout = (!tcpAddress.empty() && (listen_ == kNoSocket || !accepting)) ? 10 : 500;
        if (WaitFor(items, count, timeout) <= 0) continue;

        for (size_t i = 0; i < count; ++i) {
            const Waitable& w = items[i];
            if (!w.ready || stop_) continue;
            if (w.handle == wake_[0]) {
                while (ReceiveNow(wake_[0], buf, sizeof buf) > 0) {
                }
            } else if (pty_.IsOpen() && w.handle == pty_.Waitable()) {
                const long n = pty_.Read(buf, sizeof buf);
                if (n > 0) OnSerialBytes(buf, size_t(n));
            } else if (w.handle == listen_ && listen_ != kNoSocket) {
                const SocketHandle s = AcceptConnection(listen_);
                if (s == kNoSocket) continue;
                DropClient();   // one client at a time: the newest wins
                client_ = s;
                state_.CountConnection();
            } else if (w.handle == client_ && client_ != kNoSocket) {
                const long n = ReceiveNow(client_, buf, sizeof buf);
                if (n > 0) {
                    OnTcpBytes(buf, size_t(n));
                } else if (n != kWouldBlock) {
                    DropClient();
                }
            }
        }
    }
}

void SimUnit::Io::OnSerialBytes(const char* bytes, size_t n) {
    state_.CountSerialBytes(n, 0);
    for (size_t i = 0; i < n && !stop_; ++i) {
        const auto c = uint8_t(bytes[i]);
        if (c == kStx) {   // a frame starts (an unfinished one is abandoned)
            line_.RequestStarted(LineNowNs());
            serialBuf_.assign(1, char(c));
            continue;
        }
        if (serialBuf_.empty()) continue;   // noise before the STX
        serialBuf_.push_back(char(c));
        if (c == kEtx) {
            const std::string frame = std::move(serialBuf_);
            serialBuf_.clear();
            Answer(frame, false);
        } else if (serialBuf_.size() > kMaxPendingFrame) {
            serialBuf_.clear();
        }
    }
}

void SimUnit::Io::OnTcpBytes(const char* bytes, size_t n) {
    tcpBuf_.append(bytes, n);
    while (client_ != kNoSocket && !stop_) {
        EnvelopeTake take = TakeEnvelope(cipher_, tcpBuf_);
        if (take.read == EnvelopeRead::NeedMore) return;
        if (take.read == EnvelopeRead::Bad) {
            tcpBuf_.clear();   // not an envelope: nothing to resynchronise on
            return;
        }
        tcpBuf_.erase(0, take.used);
        Answer(take.frame, true);
    }
}

void SimUnit::Io::Answer(const std::string& frame, bool tcp) {
    const uint64_t dueNs = tcp ? line_.TcpReplyNs(LineNowNs()) : line_.SerialReplyStartNs(frame.size());
    std::string reply = state_.Handle(frame);
    if (!reply.empty() && line_.Delays() && !PauseUntilNs(dueNs)) return;
    replyDueNs_ = tcp ? 0 : dueNs;
    if (!reply.empty()) {
        const ReplyFault rf = state_.TakeReplyFault(frame);
        uint32_t splitPause = 0;
        bool send = true;
        if (rf.fault == Fault::OddAddress && frame.size() >= 10 && frame.compare(6, 4, "gadd") == 0) {
            const std::string odd = std::to_string(rf.delayMs ? rf.delayMs : 12345);
            reply = BuildReplyFrame(std::atoi(reply.substr(1, 4).c_str()), reply[5], odd);
        }
        switch (rf.fault) {
            case Fault::None: break;
            case Fault::Silence: send = false; break;
            case Fault::Restart:
                send = false;
                state_.BeginRestart();
                break;
            case Fault::DropConnection:
                send = false;
                if (tcp) DropClient();
                break;
            case Fault::NoiseBeforeStx: reply.insert(0, kNoise); break;
            case Fault::BadChecksum: reply[reply.size() - 2] = char(uint8_t(reply[reply.size() - 2]) ^ 0x01); break;
            case Fault::NoEtx: reply.pop_back(); break;
            case Fault::SplitTcpSegment: splitPause = rf.delayMs; break;
            case Fault::SlowReply:
                send = Pause(rf.delayMs);
                replyDueNs_ = 0;   // the line time starts after the delay
                break;
            case Fault::ReplyTwice: case Fault::ReplyTwiceApart: case Fault::Flood: case Fault::OddAddress: break;
            case Fault::Drip:
                send = false;
                Drip(reply, tcp, rf.delayMs ? rf.delayMs : 100);
                break;
        }
        const int copies = rf.fault == Fault::ReplyTwice ? 2 : 1;
        if (send && rf.fault == Fault::ReplyTwiceApart) {
            // The repeat as a write of its own, right behind the first (or after delayMs).
            for (int copy = 0; copy < 2; ++copy) {
                if (copy == 1 && rf.delayMs != 0 && !Pause(rf.delayMs)) break;
                if (tcp) {
                    SendTcp(reply, 0);
                } else {
                    SendSerial(reply, 0);
                }
            }
            send = false;
        }
        if (send && tcp) SendTcp(reply, splitPause, copies);
        if (send && !tcp) SendSerial(copies > 1 ? reply + reply : reply, splitPause);
        if (rf.fault == Fault::Flood) Flood(tcp, rf.delayMs ? rf.delayMs : 3000);
    }
    replyDueNs_ = 0;
    AfterReply();
}

void SimUnit::Io::AfterReply() {
    if (state_.TakeRestartPending()) {
        DropClient();
        CloseListener();
    }
}

void SimUnit::Io::SendSerial(const std::string& bytes, uint32_t splitPauseMs) {
    if (!pty_.IsOpen()) return;
    state_.CountReply();
    state_.CountSerialBytes(0, bytes.size());
    if (line_.PacesSerial()) {
        const size_t first = splitPauseMs ? std::min<size_t>(8, bytes.size()) : bytes.size();
        if (WritePaced(bytes.substr(0, first)) && first < bytes.size() && Pause(splitPauseMs))
            WritePaced(bytes.substr(first));
        return;
    }
    size_t done = 0;
    const size_t firstPart = splitPauseMs ? std::min<size_t>(8, bytes.size()) : bytes.size();
    int stalls = 0;
    while (done < bytes.size() && !stop_) {
        const size_t upTo = done < firstPart ? firstPart : bytes.size();
        const long n = pty_.Write(bytes.data() + done, upTo - done);
        if (n > 0) {
            done += size_t(n);
            if (done == firstPart && done < bytes.size() && !Pause(splitPauseMs)) return;
            continue;
        }
        // Nobody reads the terminal and its queue is full: the reply is lost,
        // as it would be on a line with no listener.
        if (n < 0 && n != kWouldBlock) return;
        if (++stalls > 20) return;
        WaitWritable(pty_.Waitable(), 10);
    }
}

bool SimUnit::Io::PauseUntilNs(uint64_t ns) {
    while (!stop_) {
        const uint64_t now = LineNowNs();
        if (now >= ns) return true;
        const uint64_t left = ns - now;
        Waitable w{wake_[0]};
        if (WaitForNs(&w, 1, left) > 0) {
            char sink[64];
            while (ReceiveNow(wake_[0], sink, sizeof sink) > 0) {
            }
        }
    }
    return false;
}

bool SimUnit::Io::WritePaced(const std::string& bytes) {
    // The reply to a request starts when it is due, however late this thread
    // woke; a further write (a repeat, the rest of a split reply) starts now.
    // Each write carries the bytes whose time has come, so a late wake-up
    // never makes the later bytes later still.
    if (bytes.empty()) return true;
    const uint64_t start = replyDueNs_ != 0 ? replyDueNs_ : LineNowNs();
    replyDueNs_ = 0;
    size_t done = 0;
    while (done < bytes.size()) {
        if (!PauseUntilNs(line_.ByteDoneNs(start, done))) return false;
        const uint64_t now = LineNowNs();
        size_t due = done + 1;
        while (due < bytes.size() && line_.ByteDoneNs(start, due) <= now) ++due;
        if (!WriteRaw(bytes.substr(done, due - done), false)) return false;
        done = due;
    }
    line_.ReplyFinished(line_.ByteDoneNs(start, bytes.size() - 1));
    return true;
}

bool SimUnit::Io::WriteRaw(const std::string& bytes, bool tcp) {
    if (tcp ? client_ == kNoSocket : !pty_.IsOpen()) return false;
    size_t done = 0;
    int stalls = 0;
    while (done < bytes.size() && !stop_) {
        const long n = tcp ? SendNow(client_, bytes.data() + done, bytes.size() - done)
                           : pty_.Write(bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            stalls = 0;
            continue;
        }
        if (n < 0 && n != kWouldBlock) return false;
        if (++stalls > 20) return false;
        WaitWritable(tcp ? client_ : pty_.Waitable(), 10);
    }
    return done == bytes.size();
}

void SimUnit::Io::Flood(bool tcp, uint32_t ms) {
    // Bytes that are no frame: never STX, never ETX; big writes, so that a
    // reader that takes a little at a time never finds the line empty.
    const std::string junk(65536, '\x55');
    const bool endless = ms == kWithoutEnd;
    const uint64_t end = endless ? 0 : TickMs() + ms;
    while (!stop_ && !state_.floodStopped && (endless || TickMs() < end)) {
        if (tcp ? client_ == kNoSocket : !pty_.IsOpen()) return;
        const long n = tcp ? SendNow(client_, junk.data(), junk.size()) : pty_.Write(junk.data(), junk.size());
        if (n > 0) continue;
        if (n < 0 && n != kWouldBlock) {
            // The connection is gone: the unit notices and waits for a new one.
            if (tcp) DropClient();
            return;
        }
        WaitWritable(tcp ? client_ : pty_.Waitable(), 5);   // the line is full: keep it full
    }
}

void SimUnit::Io::Drip(const std::string& reply, bool tcp, uint32_t everyMs) {
    state_.CountReply();
    std::string bytes = reply;
    if (tcp) {
        bytes = SealEnvelope(cipher_, reply);
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && !Pause(everyMs)) return;
        if (!WriteRaw(bytes.substr(i, 1), tcp)) return;
    }
}

void SimUnit::Io::SendTcp(const std::string& reply, uint32_t splitPauseMs, int copies) {
    if (client_ == kNoSocket) return;
    state_.CountReply();
    std::string env = SealEnvelope(cipher_, reply);
    if (copies > 1) env += env;   // the repeat goes in the same segment, right behind
    // One send per reply; with a split fault the first 8 bytes go alone.
    const size_t firstPart = splitPauseMs ? 8 : env.size();
    if (!SendWhole(client_, env.data(), firstPart)) {
        DropClient();
        return;
    }
    if (firstPart < env.size()) {
        if (!Pause(splitPauseMs) || client_ == kNoSocket) return;
        const size_t rest = env.size() - firstPart;
        if (!SendWhole(client_, env.data() + firstPart, rest)) {
            DropClient();
            return;
        }
    }
}

}  // namespace sim
