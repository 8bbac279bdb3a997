#include "FixtureServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "Gate.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Every wait is cut into slices so that a stopping server is noticed soon,
// and bounded so that no connection outlives its test by much.
constexpr milliseconds Slice{10};
constexpr milliseconds RequestLimit{10000};
constexpr milliseconds HoldLimit{30000};
constexpr milliseconds WriteLimit{10000};
constexpr milliseconds DrainLimit{10000};

bool SameTextNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}


std::size_t ContentLength(const RecordedRequest& request) {
    std::optional<std::string> value = request.Header("Content-Length");
    return value ? static_cast<std::size_t>(std::strtoul(value->c_str(), nullptr, 10)) : 0;
}

}  // namespace

int WaitReady(SOCKET socket, bool forWriting, milliseconds slice) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{0, static_cast<long>(slice.count() * 1000)};
    int result = forWriting ? ::select(0, nullptr, &set, nullptr, &timeout)
                            : ::select(0, &set, nullptr, nullptr, &timeout);
    return result == SOCKET_ERROR ? -1 : (result > 0 ? 1 : 0);
}


void ParseHead(const std::string& head, RecordedRequest& request) {
    std::size_t start = 0;
    bool first = true;
    while (start < head.size()) {
        std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(start, end - start);
        if (first) {
            request.requestLine = line;
            first = false;
        } else {
            request.headerLines.push_back(line);
        }
        start = end + 2;
    }
}

SOCKET OpenListener(const ListenOn& where, const std::string& address, std::uint16_t& port,
                    std::string& failure) {
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        failure = "socket failed: " + std::to_string(::WSAGetLastError());
        return INVALID_SOCKET;
    }
    // A fixed port may still have connections of an earlier run in TIME_WAIT.
    if (where.port != 0) {
        BOOL reuse = TRUE;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                     sizeof reuse);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(where.port);
    if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        failure = "cannot listen on " + address + ":" + std::to_string(where.port) +
                  ", error " + std::to_string(::WSAGetLastError());
        ::closesocket(listener);
        return INVALID_SOCKET;
    }
    int length = sizeof local;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    port = ntohs(local.sin_port);
    u_long nonBlocking = 1;
    ::ioctlsocket(listener, FIONBIO, &nonBlocking);
    return listener;
}

ListenOn ListenOn::HttpPortOf(int lastOctet) {
    return {"127.0.0." + std::to_string(lastOctet), 80};
}

std::optional<std::string> RecordedRequest::Header(const std::string& name) const {
    for (const std::string& line : headerLines) {
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && SameTextNoCase(line.substr(0, colon), name)) {
            return Trimmed(line.substr(colon + 1));
        }
    }
    return std::nullopt;
}

int RecordedRequest::CountHeaders(const std::string& name) const {
    int count = 0;
    for (const std::string& line : headerLines) {
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && SameTextNoCase(line.substr(0, colon), name)) ++count;
    }
    return count;
}

FixtureServer::FixtureServer(ReplyScript reply, ListenOn where)
    : FixtureServer(std::vector<ReplyScript>{std::move(reply)}, std::move(where)) {}

FixtureServer::FixtureServer(std::vector<ReplyScript> replies, ListenOn where)
    : replies_(std::move(replies)), address_(std::move(where.address)) {
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

FixtureServer::~FixtureServer() {
    stopping_ = true;
    changed_.notify_all();
    if (acceptThread_.joinable()) acceptThread_.join();
    // The accept thread has ended: no thread is added any more.
    for (std::thread& thread : connectionThreads_) thread.join();
    if (listener_ != INVALID_SOCKET) ::closesocket(listener_);
    if (winsockStarted_) ::WSACleanup();
}

std::string FixtureServer::Authority() const {
    return port_ == 80 ? address_ : address_ + ":" + std::to_string(port_);
}

std::string FixtureServer::Url(const std::string& path) const {
    return "http://" + Authority() + "/" + path;
}

std::vector<ConnectionRecord> FixtureServer::Connections() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
}

std::size_t FixtureServer::ConnectionCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_.size();
}

RecordedRequest FixtureServer::Request(std::size_t index) const {
    std::lock_guard<std::mutex> guard(lock_);
    return index < records_.size() ? records_[index].request : RecordedRequest();
}

template <typename Ready>
bool FixtureServer::WaitUntil(Ready ready, milliseconds limit) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, limit, [&] { return ready(); });
}

bool FixtureServer::WaitForRequests(std::size_t count, milliseconds limit) const {
    return WaitUntil(
        [&] {
            return static_cast<std::size_t>(std::count_if(
                       records_.begin(), records_.end(),
                       [](const ConnectionRecord& r) { return r.requestRead; })) >= count;
        },
        limit);
}

bool FixtureServer::WaitForClientLeft(std::size_t index, milliseconds limit) const {
    return WaitUntil([&] { return index < records_.size() && records_[index].clientLeft; },
                     limit);
}

bool FixtureServer::WaitForFinished(std::size_t count, milliseconds limit) const {
    return WaitUntil(
        [&] {
            return static_cast<std::size_t>(std::count_if(
                       records_.begin(), records_.end(),
                       [](const ConnectionRecord& r) { return r.finished; })) >= count;
        },
        limit);
}

template <typename Change>
void FixtureServer::Update(std::size_t index, Change change) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        change(records_[index]);
    }
    changed_.notify_all();
}

void FixtureServer::AcceptLoop() {
    while (!stopping_) {
        if (WaitReady(listener_, false, Slice) <= 0) continue;
        SOCKET client = ::accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        u_long nonBlocking = 1;
        ::ioctlsocket(client, FIONBIO, &nonBlocking);
        // Each piece leaves as a segment of its own.
        BOOL noDelay = TRUE;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                     sizeof noDelay);
        std::size_t index;
        {
            std::lock_guard<std::mutex> guard(lock_);
            index = records_.size();
            records_.emplace_back();
        }
        changed_.notify_all();
        connectionThreads_.emplace_back([this, client, index] { Serve(client, index); });
    }
}

void FixtureServer::Serve(SOCKET client, std::size_t index) {
    const ReplyScript* script = index < replies_.size() ? &replies_[index] : nullptr;
    bool open = ReadRequest(client, index, script != nullptr && script->waitsForRequest());
    if (open && script != nullptr) open = RunSteps(client, index, *script);
    if (open) {
        ::shutdown(client, SD_SEND);
        Drain(client, index);
    }
    ::closesocket(client);
    Update(index, [](ConnectionRecord& r) { r.finished = true; });
}

bool FixtureServer::ReadRequest(SOCKET client, std::size_t index, bool wholeRequest) {
    std::string received;
    RecordedRequest request;
    bool open = true;
    const auto deadline = Clock::now() + RequestLimit;
    while (!stopping_ && Clock::now() < deadline) {
        int ready = WaitReady(client, false, Slice);
        if (ready < 0) {
            open = false;
            break;
        }
        if (ready == 0) continue;
        char buffer[4096];
        int got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (got == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) {
                open = false;
                break;
            }
            continue;
        }
        received.append(buffer, static_cast<std::size_t>(got));
        if (!wholeRequest) break;
        std::size_t headEnd = received.find("\r\n\r\n");
        if (headEnd == std::string::npos) continue;
        RecordedRequest parsed;
        ParseHead(received.substr(0, headEnd), parsed);
        std::size_t total = headEnd + 4 + ContentLength(parsed);
        if (received.size() >= total) {
            request = std::move(parsed);
            request.body = received.substr(headEnd + 4, total - headEnd - 4);
            request.complete = true;
            break;
        }
    }
    if (!request.complete) ParseHead(received.substr(0, received.find("\r\n\r\n")), request);
    request.raw = std::move(received);
    Update(index, [&](ConnectionRecord& r) {
        r.request = std::move(request);
        r.requestRead = true;
        if (!open) r.clientLeft = true;
    });
    return open && !stopping_;
}

bool FixtureServer::RunSteps(SOCKET client, std::size_t index, const ReplyScript& script) {
    for (const ReplyScript::Step& step : script.steps()) {
        switch (step.kind) {
        case ReplyScript::Step::Kind::Send:
            for (std::size_t at = 0; at < step.bytes.size(); at += step.piece) {
                std::size_t count = std::min(step.piece, step.bytes.size() - at);
                if (!WriteAll(client, step.bytes.data() + at, count)) {
                    Update(index, [](ConnectionRecord& r) { r.clientLeft = true; });
                    return false;
                }
                if (step.pause.count() > 0 && !PauseFor(step.pause)) return false;
            }
            break;
        case ReplyScript::Step::Kind::Hold:
            if (!HoldOn(client, *step.hold)) {
                if (!stopping_) Update(index, [](ConnectionRecord& r) { r.clientLeft = true; });
                return false;
            }
            break;
        case ReplyScript::Step::Kind::Reached:
            step.reached->Open();
            break;
        case ReplyScript::Step::Kind::Close:
            return false;
        }
        if (stopping_) return false;
    }
    return true;
}

bool FixtureServer::WriteAll(SOCKET client, const char* bytes, std::size_t count) {
    const auto deadline = Clock::now() + WriteLimit;
    while (count > 0) {
        if (stopping_ || Clock::now() >= deadline) return false;
        int sent = ::send(client, bytes, static_cast<int>(count), 0);
        if (sent == SOCKET_ERROR) {
            if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
            if (WaitReady(client, true, Slice) < 0) return false;
            continue;
        }
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool FixtureServer::PauseFor(milliseconds pause) {
    std::unique_lock<std::mutex> guard(lock_);
    return !changed_.wait_for(guard, pause, [this] { return stopping_.load(); });
}

// False when the client left or the server stops before the gate opens.
bool FixtureServer::HoldOn(SOCKET client, const Gate& gate) {
    const auto deadline = Clock::now() + HoldLimit;
    while (!stopping_ && Clock::now() < deadline) {
        if (gate.WaitFor(Slice)) return true;
        if (WaitReady(client, false, milliseconds(0)) != 0) {
            char byte;
            int got = ::recv(client, &byte, 1, MSG_PEEK);
            if (got == 0 || (got < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK)) return false;
        }
    }
    return false;
}

// Reads (and drops) whatever the client still sends until it closes.
void FixtureServer::Drain(SOCKET client, std::size_t index) {
    const auto deadline = Clock::now() + DrainLimit;
    while (!stopping_ && Clock::now() < deadline) {
        int ready = WaitReady(client, false, Slice);
        if (ready == 0) continue;
        char buffer[4096];
        int got = ready < 0 ? -1 : ::recv(client, buffer, sizeof buffer, 0);
        if (got > 0) continue;
        if (got < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
        Update(index, [](ConnectionRecord& r) { r.clientLeft = true; });
        return;
    }
}

std::uint16_t ClosedLoopbackPort() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    std::uint16_t port = 0;
    SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe != INVALID_SOCKET) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof local;
        if (::bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
            port = ntohs(local.sin_port);
        }
        ::closesocket(probe);
    }
    ::WSACleanup();
    return port;
}
