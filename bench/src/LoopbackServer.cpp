#include "LoopbackServer.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Bodies.h"

namespace {

constexpr int IdleLimitMs = 60000;
constexpr int PollMs = 100;
constexpr std::size_t MaxRequestBytes = 16384;
constexpr std::size_t SendSlice = 4 * BlockSize;

bool SendAll(SOCKET s, const char* data, std::size_t size) {
    while (size > 0) {
        int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
        int sent = send(s, data, chunk, 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// The path of "GET /name HTTP/1.1", without slashes; empty when malformed.
std::string RequestedName(const std::string& request) {
    std::size_t space = request.find(' ');
    if (space == std::string::npos) return std::string();
    std::size_t end = request.find(' ', space + 1);
    if (end == std::string::npos) return std::string();
    std::string path = request.substr(space + 1, end - space - 1);
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
    return path;
}

}  // namespace

LoopbackServer::LoopbackServer() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s, SOMAXCONN) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return;
    }
    listener_ = s;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    WSACleanup();
}

void LoopbackServer::Run() {
    int idleMs = 0;
    while (!stop_ && idleMs < IdleLimitMs) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait{0, PollMs * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready <= 0) {
            idleMs += PollMs;
            continue;
        }
        idleMs = 0;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        Serve(client);
        closesocket(client);
        ++served_;
    }
}

void LoopbackServer::Serve(SOCKET client) {
    DWORD receiveTimeoutMs = 10000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeoutMs),
               sizeof receiveTimeoutMs);
    BOOL noDelay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);

    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (request.size() > MaxRequestBytes) return;
        int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        request.append(buffer, static_cast<std::size_t>(got));
    }

    const BodySource* body = FindBody(RequestedName(request));
    std::size_t size = body != nullptr ? body->Size : 0;
    char head[256];
    std::snprintf(head, sizeof head,
                  "HTTP/1.1 %s\r\nContent-Type: application/octet-stream\r\n"
                  "Content-Length: %llu\r\nConnection: close\r\n\r\n",
                  body != nullptr ? "200 OK" : "404 Not Found",
                  static_cast<unsigned long long>(size));
    if (!SendAll(client, head, std::strlen(head)) || body == nullptr) return;

    std::string slice;
    for (std::size_t i = 0; i < SendSlice / BlockSize; ++i) slice += body->Block;
    for (std::size_t offset = 0; offset < size; offset += SendSlice) {
        std::size_t count = size - offset < SendSlice ? size - offset : SendSlice;
        if (!SendAll(client, slice.data(), count)) return;
    }
    shutdown(client, SD_SEND);
}
