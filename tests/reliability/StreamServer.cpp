#include "StreamServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>

#include "PatternStream.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds Slice{10};
constexpr milliseconds WriteLimit{10000};

// True when the peer has closed or reset the connection.
bool PeerLeft(SOCKET socket) {
    if (WaitReady(socket, false, milliseconds(0)) == 0) return false;
    char byte;
    int got = ::recv(socket, &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK);
}

}  // namespace

bool StreamConnection::ReadRequest(milliseconds limit) {
    std::string received;
    const auto deadline = Clock::now() + limit;
    while (!server_.stopping() && Clock::now() < deadline) {
        int ready = WaitReady(socket_, false, Slice);
        if (ready < 0) break;
        if (ready == 0) continue;
        char buffer[16384];
        int got = ::recv(socket_, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK)) break;
        if (got < 0) continue;
        received.append(buffer, static_cast<std::size_t>(got));
        std::size_t headEnd = received.find("\r\n\r\n");
        if (headEnd == std::string::npos) continue;
        RecordedRequest parsed;
        ParseHead(received.substr(0, headEnd), parsed);
        std::optional<std::string> length = parsed.Header("Content-Length");
        std::size_t total =
            headEnd + 4 + (length ? std::strtoul(length->c_str(), nullptr, 10) : 0);
        if (received.size() < total) continue;
        parsed.body = received.substr(headEnd + 4, total - headEnd - 4);
        parsed.raw = std::move(received);
        parsed.complete = true;
        request_ = std::move(parsed);
        server_.Publish(*this, true, false);
        return true;
    }
    request_.raw = std::move(received);
    ParseHead(request_.raw.substr(0, request_.raw.find("\r\n\r\n")), request_);
    server_.Publish(*this, true, false);
    return false;
}

bool StreamConnection::Send(const std::string& bytes) {
    const char* at = bytes.data();
    std::size_t left = bytes.size();
    const auto deadline = Clock::now() + WriteLimit;
    while (left > 0) {
        if (server_.stopping() || Clock::now() >= deadline) return false;
        int sent = ::send(socket_, at, static_cast<int>(std::min<std::size_t>(left, 1 << 20)), 0);
        if (sent == SOCKET_ERROR) {
            if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
            if (WaitReady(socket_, true, Slice) < 0) return false;
            continue;
        }
        at += sent;
        left -= static_cast<std::size_t>(sent);
        sent_ += static_cast<std::uint64_t>(sent);
    }
    server_.Publish(*this, false, false);
    return true;
}

bool StreamConnection::SendPattern(std::uint64_t total, std::size_t piece, milliseconds pause) {
    for (std::uint64_t offset = 0; offset < total; offset += piece) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(piece, total - offset));
        if (!Send(PatternAt(offset, count))) return false;
        if (pause.count() > 0) {
            const auto until = Clock::now() + pause;
            while (Clock::now() < until) {
                if (server_.stopping() || PeerLeft(socket_)) return false;
                std::this_thread::sleep_for(std::min(Slice, pause));
            }
        }
    }
    return true;
}

bool StreamConnection::WaitForClientToLeave(milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!server_.stopping() && Clock::now() < deadline) {
        if (PeerLeft(socket_)) return true;
        std::this_thread::sleep_for(Slice);
    }
    return false;
}

StreamServer::StreamServer(Handler handler, ListenOn where)
    : handler_(std::move(handler)), address_(std::move(where.address)) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        failure_ = "WSAStartup failed";
        return;
    }
    winsockStarted_ = true;
    SOCKET listener = OpenListener(where, address_, port_, failure_);
    if (listener == INVALID_SOCKET) return;
    listener_ = listener;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

StreamServer::~StreamServer() {
    stopping_ = true;
    changed_.notify_all();
    if (acceptThread_.joinable()) acceptThread_.join();
    for (std::thread& thread : threads_) thread.join();
    if (listener_ != INVALID_SOCKET) ::closesocket(listener_);
    if (winsockStarted_) ::WSACleanup();
}

std::string StreamServer::Url(const std::string& path) const {
    return "http://" + address_ + ":" + std::to_string(port_) + "/" + path;
}

std::size_t StreamServer::ConnectionCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_.size();
}

std::vector<StreamRecord> StreamServer::Records() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
}

bool StreamServer::WaitForFinished(std::size_t count, milliseconds limit) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, limit, [&] {
        return static_cast<std::size_t>(std::count_if(records_.begin(), records_.end(),
                                                      [](const StreamRecord& r) {
                                                          return r.finished;
                                                      })) >= count;
    });
}

void StreamServer::AcceptLoop() {
    while (!stopping_) {
        if (WaitReady(listener_, false, Slice) <= 0) continue;
        SOCKET client = ::accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        u_long nonBlocking = 1;
        ::ioctlsocket(client, FIONBIO, &nonBlocking);
        std::size_t index;
        {
            std::lock_guard<std::mutex> guard(lock_);
            index = records_.size();
            records_.emplace_back();
        }
        changed_.notify_all();
        threads_.emplace_back([this, client, index] { Serve(client, index); });
    }
}

void StreamServer::Serve(SOCKET client, std::size_t index) {
    StreamConnection connection(*this, client, index);
    handler_(connection);
    ::shutdown(client, SD_SEND);
    ::closesocket(client);
    Publish(connection, false, true);
}

void StreamServer::Publish(const StreamConnection& connection, bool withRequest, bool finished) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        StreamRecord& record = records_[connection.index()];
        if (withRequest) record.request = connection.request();
        record.sentBytes = connection.sent_;
        record.finished = finished;
    }
    changed_.notify_all();
}
