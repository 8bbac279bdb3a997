// A loopback server for replies that FixtureServer cannot script: bodies
// produced as they are sent (a gigabyte never exists in memory), silence
// longer than WinINet's time-outs, counts of what went out. Each connection
// runs the handler on a thread of its own; every wait is bounded, and the
// destructor stops all of them.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FixtureServer.h"

class StreamServer;

class StreamConnection {
public:
    // Reads one request head (and the Content-Length body after it).
    // False when the client left or the limit passed first.
    bool ReadRequest(std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
    const RecordedRequest& request() const { return request_; }

    // Writes all bytes; false when the client left or the server stops.
    bool Send(const std::string& bytes);
    // Writes `total` bytes of PatternBytes order in pieces of `piece`, with
    // `pause` after each; false as soon as a write fails.
    bool SendPattern(std::uint64_t total, std::size_t piece, std::chrono::milliseconds pause);
    // Writes nothing and waits until the client leaves (true) or the limit
    // passes or the server stops (false).
    bool WaitForClientToLeave(std::chrono::milliseconds limit);

    std::uint64_t sentBytes() const { return sent_; }
    std::size_t index() const { return index_; }

private:
    friend class StreamServer;
    StreamConnection(StreamServer& server, SOCKET socket, std::size_t index)
        : server_(server), socket_(socket), index_(index) {}

    StreamServer& server_;
    SOCKET socket_;
    std::size_t index_;
    RecordedRequest request_;
    std::uint64_t sent_ = 0;
};

struct StreamRecord {
    RecordedRequest request;
    std::uint64_t sentBytes = 0;
    bool finished = false;  // the handler returned and the socket is closed
};

class StreamServer {
public:
    using Handler = std::function<void(StreamConnection&)>;

    explicit StreamServer(Handler handler, ListenOn where = ListenOn::AnyPort());
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    bool listening() const { return listener_ != INVALID_SOCKET; }
    const std::string& failure() const { return failure_; }
    std::uint16_t port() const { return port_; }
    std::string Url(const std::string& path) const;

    std::size_t ConnectionCount() const;
    std::vector<StreamRecord> Records() const;
    bool WaitForFinished(std::size_t count, std::chrono::milliseconds limit) const;

    bool stopping() const { return stopping_; }

private:
    friend class StreamConnection;
    void AcceptLoop();
    void Serve(SOCKET client, std::size_t index);
    void Publish(const StreamConnection& connection, bool withRequest, bool finished);

    Handler handler_;
    std::string address_;
    std::uint16_t port_ = 0;
    SOCKET listener_ = INVALID_SOCKET;
    std::string failure_;
    bool winsockStarted_ = false;
    std::atomic<bool> stopping_{false};
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<StreamRecord> records_;
    std::vector<std::thread> threads_;
    std::thread acceptThread_;
};
