// A loopback HTTP server that runs on threads of its own inside the test
// process. It records the exact bytes of each request and replies per
// script; it stops by itself when it goes out of scope.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Replies.h"

// Where a server listens: any free port on 127.0.0.1 by default.
struct ListenOn {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;

    static ListenOn AnyPort() { return {}; }
    // 127.0.0.<lastOctet>:80, for URLs without a port.
    static ListenOn HttpPortOf(int lastOctet);
    static ListenOn At(std::string address, std::uint16_t port) { return {std::move(address), port}; }
};

struct RecordedRequest {
    std::string raw;  // every byte received before the reply began
    std::string requestLine;
    std::vector<std::string> headerLines;  // without their CR LF
    std::string body;                      // the Content-Length bytes after the head
    bool complete = false;                 // head and body arrived in full

    // The value of the first header of that name (case-insensitive), if any.
    std::optional<std::string> Header(const std::string& name) const;
    int CountHeaders(const std::string& name) const;
};

struct ConnectionRecord {
    RecordedRequest request;
    bool requestRead = false;  // the request (or first bytes) has been recorded
    bool clientLeft = false;   // the client closed or reset the connection
    bool finished = false;     // the server is done with the connection
};

class FixtureServer {
public:
    static constexpr std::chrono::milliseconds DefaultWait{10000};

    // Connection i gets replies[i]; a connection beyond them is closed
    // without a reply as soon as its first bytes have been recorded.
    explicit FixtureServer(std::vector<ReplyScript> replies, ListenOn where = ListenOn::AnyPort());
    explicit FixtureServer(ReplyScript reply, ListenOn where = ListenOn::AnyPort());
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    bool listening() const { return listener_ != INVALID_SOCKET; }
    const std::string& failure() const { return failure_; }
    std::uint16_t port() const { return port_; }
    // The server part of a URL: "127.0.0.1:PORT", or "127.0.0.N" on port 80.
    std::string Authority() const;
    // "http://" + Authority() + "/" + path.
    std::string Url(const std::string& path) const;

    std::vector<ConnectionRecord> Connections() const;
    std::size_t ConnectionCount() const;
    // The request of connection `index`; empty when there is none (yet).
    RecordedRequest Request(std::size_t index = 0) const;

    bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit = DefaultWait) const;
    bool WaitForClientLeft(std::size_t index, std::chrono::milliseconds limit = DefaultWait) const;
    bool WaitForFinished(std::size_t count, std::chrono::milliseconds limit = DefaultWait) const;

private:
    void AcceptLoop();
    void Serve(SOCKET client, std::size_t index);
    bool ReadRequest(SOCKET client, std::size_t index, bool wholeRequest);
    bool RunSteps(SOCKET client, std::size_t index, const ReplyScript& script);
    bool WriteAll(SOCKET client, const char* bytes, std::size_t count);
    bool PauseFor(std::chrono::milliseconds pause);
    bool HoldOn(SOCKET client, const Gate& gate);
    void Drain(SOCKET client, std::size_t index);
    template <typename Change>
    void Update(std::size_t index, Change change);
    template <typename Ready>
    bool WaitUntil(Ready ready, std::chrono::milliseconds limit) const;

    std::vector<ReplyScript> replies_;
    std::string address_;
    std::uint16_t port_ = 0;
    SOCKET listener_ = INVALID_SOCKET;
    std::string failure_;
    bool winsockStarted_ = false;

    std::atomic<bool> stopping_{false};
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<ConnectionRecord> records_;
    std::vector<std::thread> connectionThreads_;
    std::thread acceptThread_;
};

// Socket pieces shared by the loopback servers of the test suites.
// 1 when the socket is ready, 0 when the slice passed, -1 on error.
int WaitReady(SOCKET socket, bool forWriting, std::chrono::milliseconds slice);
// Splits a head (request line and header lines) at CR LF.
void ParseHead(const std::string& head, RecordedRequest& request);
// A non-blocking socket listening on `address` and where.port (once Winsock
// has started); `port` gets the port bound. INVALID_SOCKET and `failure`
// set when it cannot be had.
SOCKET OpenListener(const ListenOn& where, const std::string& address, std::uint16_t& port,
                    std::string& failure);

// A port on 127.0.0.1 where nothing listens (bound once, then released).
std::uint16_t ClosedLoopbackPort();
