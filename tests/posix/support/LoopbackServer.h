// An HTTP server on a loopback address, run by a thread of the test
// process. Connection number i (in the order accepted) gets replies[i]
// after its request has been read; every request's bytes are kept exactly
// as received. It stops by itself when it goes out of scope, and after a
// minute in any case.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Replies.h"

class LoopbackServer {
public:
    // Port 0 takes any free port. Throws when the address cannot be bound.
    explicit LoopbackServer(std::vector<Reply> replies, std::string address = "127.0.0.1",
                            std::uint16_t port = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return port_; }
    const std::string& address() const { return address_; }
    // "address:port"
    std::string HostPart() const;
    // "http://address:port/" + path
    std::string Url(const std::string& path) const;

    // The request line, headers and body of connection `index`, once they
    // are complete; "" when they did not come within the limit.
    std::string Request(std::size_t index);
    // True once the client of connection `index` has closed its end.
    bool WaitUntilClientLeft(std::size_t index);
    // Connections accepted so far.
    std::size_t Connections();

private:
    struct Record {
        std::string request;
        bool requestComplete = false;
        bool clientLeft = false;
    };

    void AcceptLoop();
    void Serve(int fd, std::size_t index);
    bool ReadRequest(int fd, std::size_t index);
    bool RunStep(int fd, std::size_t index, const Reply::Step& step);
    bool SendAll(int fd, const char* bytes, std::size_t count);
    bool ClientLeft(int fd);
    void MarkLeft(std::size_t index);

    std::vector<Reply> replies_;
    std::string address_;
    std::uint16_t port_ = 0;
    int listenFd_ = -1;
    std::chrono::steady_clock::time_point deadline_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Record> records_;
    std::vector<std::thread> handlers_;
    std::thread acceptor_;
};
