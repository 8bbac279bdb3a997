#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Gate.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds Lifetime{60};
constexpr std::chrono::seconds RequestLimit{20};
constexpr std::chrono::seconds WaitLimit{30};
constexpr int SliceMs = 20;
constexpr std::size_t StreamLimit = 512u * 1024 * 1024;
constexpr std::size_t StreamPiece = 700;

std::size_t ContentLength(const std::string& head) {
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return static_cast<std::size_t>(std::strtoull(lower.c_str() + at + 17, nullptr, 10));
}

}  // namespace

LoopbackServer::LoopbackServer(std::vector<Reply> replies, std::string address, std::uint16_t port)
    : replies_(std::move(replies)), address_(std::move(address)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket failed");
    int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (::inet_pton(AF_INET, address_.c_str(), &where.sin_addr) != 1 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        int error = errno;
        ::close(listenFd_);
        throw std::runtime_error("cannot listen on " + address_ + ":" + std::to_string(port) +
                                 ": " + std::strerror(error));
    }
    socklen_t length = sizeof where;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&where), &length);
    port_ = ntohs(where.sin_port);
    deadline_ = Clock::now() + Lifetime;
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    changed_.notify_all();
    acceptor_.join();
    for (std::thread& handler : handlers_) handler.join();
    ::close(listenFd_);
}

std::string LoopbackServer::HostPart() const { return address_ + ":" + std::to_string(port_); }

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://" + HostPart() + "/" + path;
}

std::string LoopbackServer::Request(std::size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    bool done = changed_.wait_for(lock, WaitLimit, [&] {
        return index < records_.size() && records_[index].requestComplete;
    });
    return done ? records_[index].request : std::string();
}

bool LoopbackServer::WaitUntilClientLeft(std::size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, WaitLimit, [&] {
        return index < records_.size() && records_[index].clientLeft;
    });
}

std::size_t LoopbackServer::Connections() {
    std::lock_guard<std::mutex> guard(mutex_);
    return records_.size();
}

void LoopbackServer::AcceptLoop() {
    while (!stopping_ && Clock::now() < deadline_) {
        pollfd waiting{listenFd_, POLLIN, 0};
        if (::poll(&waiting, 1, SliceMs) <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::size_t index;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            index = records_.size();
            records_.emplace_back();
        }
        changed_.notify_all();
        handlers_.emplace_back([this, fd, index] { Serve(fd, index); });
    }
}

void LoopbackServer::Serve(int fd, std::size_t index) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (ReadRequest(fd, index) && index < replies_.size()) {
        for (const Reply::Step& step : replies_[index].steps()) {
            if (!RunStep(fd, index, step)) break;
        }
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

bool LoopbackServer::ReadRequest(int fd, std::size_t index) {
    std::string bytes;
    auto limit = Clock::now() + RequestLimit;
    std::size_t headEnd = std::string::npos;
    std::size_t wanted = 0;
    while (!stopping_ && Clock::now() < limit) {
        if (headEnd != std::string::npos && bytes.size() >= headEnd + wanted) break;
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, SliceMs) <= 0) continue;
        char buffer[4096];
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            MarkLeft(index);
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (headEnd == std::string::npos) {
            std::size_t end = bytes.find("\r\n\r\n");
            if (end != std::string::npos) {
                headEnd = end + 4;
                wanted = ContentLength(bytes.substr(0, headEnd));
            }
        }
    }
    std::lock_guard<std::mutex> guard(mutex_);
    records_[index].request = bytes;
    records_[index].requestComplete = true;
    changed_.notify_all();
    return headEnd != std::string::npos;
}

bool LoopbackServer::RunStep(int fd, std::size_t index, const Reply::Step& step) {
    using Kind = Reply::Step::Kind;
    switch (step.kind) {
    case Kind::Send:
        if (SendAll(fd, step.bytes.data(), step.bytes.size())) return true;
        MarkLeft(index);
        return false;
    case Kind::Trickle:
        for (std::size_t at = 0; at < step.bytes.size(); at += step.piece) {
            std::size_t count = std::min(step.piece, step.bytes.size() - at);
            if (!SendAll(fd, step.bytes.data() + at, count)) {
                MarkLeft(index);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    case Kind::Hold:
        while (!step.hold->WaitFor(std::chrono::milliseconds(SliceMs))) {
            if (stopping_ || Clock::now() >= deadline_) return false;
            if (ClientLeft(fd)) {
                MarkLeft(index);
                return false;
            }
        }
        return true;
    case Kind::Reached:
        step.reached->Open();
        return true;
    case Kind::Stream:
        for (std::size_t sent = 0; sent < StreamLimit; sent += StreamPiece) {
            std::string piece = PatternBytes(step.piece + sent, StreamPiece);
            if (!SendAll(fd, piece.data(), piece.size())) {
                MarkLeft(index);
                return false;
            }
        }
        return true;
    case Kind::Close:
        return false;
    }
    return false;
}

// Waits for room in slices, so that a stopping server or a client that
// left is noticed.
bool LoopbackServer::SendAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        if (stopping_ || Clock::now() >= deadline_) return false;
        ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EINTR) return false;
            pollfd waiting{fd, POLLOUT, 0};
            ::poll(&waiting, 1, SliceMs);
            if ((waiting.revents & (POLLERR | POLLHUP)) != 0) return false;
            continue;
        }
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool LoopbackServer::ClientLeft(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0) return false;
    char byte;
    ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR);
}

void LoopbackServer::MarkLeft(std::size_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    records_[index].clientLeft = true;
    changed_.notify_all();
}
