// An HTTP/1.1 server on 127.0.0.1 for the benchmark, one connection at a
// time. It listens on a free port, prints "port N" on its first line, and
// serves GET /NAME for the bodies of Bodies.h with Content-Length and
// "Connection: close". It ends by itself after IdleLimit without a
// connection, or after the given number of seconds in all:
//   quillbarrow_bench_server [MAX_SECONDS]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bodies.h"

namespace {

constexpr int IdleLimitMs = 60000;
constexpr std::size_t MaxRequestBytes = 16384;
constexpr std::size_t SendSlice = 4 * BlockSize;

bool SendAll(int s, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t sent = send(s, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::string RequestedName(const std::string& request) {
    std::size_t space = request.find(' ');
    if (space == std::string::npos) return std::string();
    std::size_t end = request.find(' ', space + 1);
    if (end == std::string::npos) return std::string();
    std::string path = request.substr(space + 1, end - space - 1);
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
    return path;
}

void Serve(int client) {
    timeval timeout{10, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (request.size() > MaxRequestBytes) return;
        ssize_t got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const BodySource* body = FindBody(RequestedName(request));
    std::size_t size = body != nullptr ? body->Size : 0;
    char head[256];
    int length = std::snprintf(head, sizeof head,
                               "HTTP/1.1 %s\r\nContent-Type: application/octet-stream\r\n"
                               "Content-Length: %zu\r\nConnection: close\r\n\r\n",
                               body != nullptr ? "200 OK" : "404 Not Found", size);
    if (!SendAll(client, head, static_cast<std::size_t>(length)) || body == nullptr) return;
    std::string slice;
    for (std::size_t i = 0; i < SendSlice / BlockSize; ++i) slice += body->Block;
    for (std::size_t offset = 0; offset < size; offset += SendSlice) {
        std::size_t count = size - offset < SendSlice ? size - offset : SendSlice;
        if (!SendAll(client, slice.data(), count)) return;
    }
    shutdown(client, SHUT_WR);
}

}  // namespace

int main(int argc, char** argv) {
    long maxSeconds = argc > 1 ? std::atol(argv[1]) : 900;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("quillbarrow_bench_server");
        return 1;
    }
    std::printf("port %u\n", ntohs(address.sin_port));
    std::fflush(stdout);

    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
    unsigned served = 0;
    for (;;) {
        pollfd ready{listener, POLLIN, 0};
        int n = poll(&ready, 1, IdleLimitMs);
        if (n <= 0 || std::chrono::steady_clock::now() > end) break;
        int client = accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        Serve(client);
        close(client);
        ++served;
    }
    close(listener);
    std::fprintf(stderr, "quillbarrow_bench_server: served %u connections\n", served);
    return 0;
}
