// The unit's two doors: a pseudo-terminal (where the system has them) and a
// TCP listener, served by one worker thread that waits on both and on a
// wake-up socket pair.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "link/blowfish.h"
#include "platform/net.h"
#include "platform/pseudo_terminal.h"
#include "sim/sim_line.h"
#include "sim/sim_state.h"

namespace sim {

struct SimUnit::Io {
    explicit Io(State& state);
    ~Io();

    bool Start(std::string* error);
    void Stop();
    void Wake();

    std::string slavePath;
    std::string linkPath;
    std::string tcpAddress;
    uint16_t tcpPort = 0;

private:
    bool OpenPty(std::string* error);
    bool PlaceLink(std::string* error);
    bool OpenListener(std::string* error);
    void CloseListener();
    void DropClient();
    void Run();
    bool Pause(uint32_t ms);   // false when stopping
    void OnSerialBytes(const char* bytes, size_t n);
    void OnTcpBytes(const char* bytes, size_t n);
    void Answer(const std::string& frame, bool tcp);
    void SendSerial(const std::string& bytes, uint32_t splitPauseMs);
    // Line time (sim_line.h): waits until `ns` (steady clock); false when stopping.
    bool PauseUntilNs(uint64_t ns);
    // Writes `bytes` to the terminal a byte time apart; false when they could not go.
    bool WritePaced(const std::string& bytes);
    void SendTcp(const std::string& reply, uint32_t splitPauseMs, int copies = 1);
    // Raw bytes on the line or the connection, waiting (bounded) while it is
    // full. False when they could not go.
    bool WriteRaw(const std::string& bytes, bool tcp);
    void Flood(bool tcp, uint32_t ms);
    void Drip(const std::string& reply, bool tcp, uint32_t everyMs);
    void AfterReply();

    State& state_;
    Blowfish cipher_;
    LineClock line_;
    uint64_t replyDueNs_ = 0;   // when the serial reply being sent is due (0: now)
    PseudoTerminal pty_;
    SocketHandle listen_ = kNoSocket;
    SocketHandle client_ = kNoSocket;
    SocketHandle wake_[2] = {kNoSocket, kNoSocket};
    bool linkPlaced_ = false;
    std::string serialBuf_;
    std::string tcpBuf_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

}  // namespace sim
