#include "DemoServer.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <stdexcept>

#include "DemoHttp.h"

namespace {

constexpr DWORD AcceptTimeoutMs = 30000;
constexpr DWORD SocketTimeoutMs = 10000;
constexpr std::size_t MaxHeadSize = 64 * 1024;

std::runtime_error SocketError(const char* what) {
    return std::runtime_error(std::string("demo server: ") + what + " failed (error " +
                              std::to_string(WSAGetLastError()) + ")");
}

// Closes the accepted socket however Answer leaves.
struct ClientSocket {
    SOCKET Socket;
    ~ClientSocket() { closesocket(Socket); }
};

bool SendAll(SOCKET socket, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        int chunk = send(socket, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (chunk <= 0) return false;
        sent += static_cast<std::size_t>(chunk);
    }
    return true;
}

}  // namespace

DemoServer::DemoServer(bool verbose) : verbose_(verbose) {
    try {
        WSADATA data;
        int started = WSAStartup(MAKEWORD(2, 2), &data);
        if (started != 0) {
            throw std::runtime_error("demo server: WSAStartup failed (error " +
                                     std::to_string(started) + ")");
        }
        winsock_ = true;

        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (listener_ == INVALID_SOCKET) throw SocketError("socket");
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;  // any free port
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw SocketError("bind");
        }
        int length = sizeof address;
        if (getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw SocketError("getsockname");
        }
        port_ = ntohs(address.sin_port);
        // Listening before the thread starts: a client may connect at once.
        if (listen(listener_, 1) != 0) throw SocketError("listen");

        acceptEvent_ = WSACreateEvent();
        if (acceptEvent_ == WSA_INVALID_EVENT) throw SocketError("WSACreateEvent");
        if (WSAEventSelect(listener_, acceptEvent_, FD_ACCEPT) != 0) {
            throw SocketError("WSAEventSelect");
        }
        stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (stopEvent_ == nullptr) {
            throw std::runtime_error("demo server: CreateEvent failed (error " +
                                     std::to_string(GetLastError()) + ")");
        }
        thread_ = std::thread(&DemoServer::Serve, this);
    } catch (...) {
        Release();  // what was set up so far; the thread never started
        throw;
    }
}

DemoServer::~DemoServer() { Release(); }

void DemoServer::Release() {
    if (thread_.joinable()) {
        SetEvent(stopEvent_);
        thread_.join();
    }
    if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
    if (acceptEvent_ != WSA_INVALID_EVENT) WSACloseEvent(acceptEvent_);
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (winsock_) WSACleanup();
    stopEvent_ = nullptr;
    acceptEvent_ = WSA_INVALID_EVENT;
    listener_ = INVALID_SOCKET;
    winsock_ = false;
}

std::string DemoServer::Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/demo";
}

void DemoServer::Serve() {
    HANDLE events[] = {stopEvent_, acceptEvent_};
    DWORD woken = WaitForMultipleObjects(2, events, FALSE, AcceptTimeoutMs);
    if (woken == WAIT_OBJECT_0) return;  // stopped before anyone connected
    if (woken != WAIT_OBJECT_0 + 1) {
        std::fprintf(stderr, "[demo] no request came; the server ends\n");
        return;
    }
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) {
        std::fprintf(stderr, "%s\n", SocketError("accept").what());
        return;
    }
    Answer(client);
}

void DemoServer::Answer(SOCKET client) {
    ClientSocket guard{client};
    // The accepted socket inherits the listener's event selection, which
    // makes it non-blocking: back to plain blocking calls with time limits.
    WSAEventSelect(client, nullptr, 0);
    u_long nonBlocking = 0;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    DWORD timeout = SocketTimeoutMs;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

    std::string received;
    char buffer[4096];
    std::string::size_type headEnd;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        if (received.size() > MaxHeadSize) {
            std::fprintf(stderr, "[demo] request head too large\n");
            SendAll(client, BadRequestResponse());
            return;
        }
        int chunk = recv(client, buffer, sizeof buffer, 0);
        if (chunk <= 0) {
            std::fprintf(stderr, "[demo] the client left before its request was complete\n");
            return;
        }
        received.append(buffer, static_cast<std::size_t>(chunk));
    }

    std::optional<DemoRequest> request = ParseRequestHead(received.substr(0, headEnd));
    if (!request) {
        std::fprintf(stderr, "[demo] malformed request\n");
        SendAll(client, BadRequestResponse());
        return;
    }
    std::string body = received.substr(headEnd + 4);
    while (body.size() < request->ContentLength) {
        int chunk = recv(client, buffer, sizeof buffer, 0);
        if (chunk <= 0) {
            std::fprintf(stderr, "[demo] the client left before its request body was complete\n");
            return;
        }
        body.append(buffer, static_cast<std::size_t>(chunk));
    }
    body.resize(request->ContentLength);

    std::string response = BuildResponse(*request, body);
    if (!SendAll(client, response)) {
        std::fprintf(stderr, "%s\n", SocketError("send").what());
        return;
    }
    if (verbose_) {
        std::fprintf(stderr, "[demo] answered %s %s (request body: %u bytes)\n",
                     request->Method.c_str(), request->Path.c_str(),
                     static_cast<unsigned>(body.size()));
    }
    // Close gracefully: say we are done, then wait for the client to close
    // its side, so the answer is not cut off by a reset.
    shutdown(client, SD_SEND);
    std::size_t drained = 0;
    int chunk;
    while (drained < MaxHeadSize && (chunk = recv(client, buffer, sizeof buffer, 0)) > 0) {
        drained += static_cast<std::size_t>(chunk);
    }
}
