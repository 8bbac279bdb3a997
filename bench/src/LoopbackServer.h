// An HTTP/1.1 server on 127.0.0.1 and a free port, serving the bodies of
// Bodies.h one connection at a time on a thread of its own. Every response
// carries Content-Length and "Connection: close". The server stops when the
// object is destroyed, or by itself after a minute without a connection.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <thread>

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool ok() const { return listener_ != INVALID_SOCKET; }
    std::uint16_t port() const { return port_; }
    // Connections served so far.
    unsigned served() const { return served_.load(); }

private:
    void Run();
    void Serve(SOCKET client);

    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> served_{0};
    std::thread thread_;
};
