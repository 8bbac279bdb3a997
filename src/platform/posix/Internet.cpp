// WinINet's calls on libcurl. The internet and connection handles only
// record their arguments; the request handle owns the libcurl transfer.
#include <new>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/BackEnd.h"
#include "platform/posix/CurlErrors.h"
#include "platform/posix/CurlRequest.h"

namespace {

using PosixBackEnd::CurlRequest;
using PosixBackEnd::RequestSettings;

constexpr std::uint32_t OptionConnectTimeout = 2;
constexpr std::uint32_t OptionSendTimeout = 5;
constexpr std::uint32_t OptionReceiveTimeout = 6;
constexpr std::uint32_t FlagReload = 0x80000000u;
constexpr std::uint32_t FlagSecure = 0x00800000u;

// Set by the failing call, read by GetLastError on the same thread.
thread_local std::uint32_t LastError = 0;

struct InternetObject {
    virtual ~InternetObject() = default;
};

struct Session final : InternetObject {
    std::string Agent;
    long ConnectTimeoutMs = 0;
    long SendTimeoutMs = 0;
    long ReceiveTimeoutMs = 0;
};

struct Connection final : InternetObject {
    Session Settings;  // a copy: the connection outlives nothing it needs
    std::string Server;
    std::uint16_t Port = 80;
};

struct Request final : InternetObject {
    explicit Request(CurlRequest* transfer) : Transfer(transfer) {}
    ~Request() override { delete Transfer; }
    CurlRequest* Transfer;
    long SendTimeoutMs = 0;
    long ReceiveTimeoutMs = 0;
};

template <typename Object>
Object* As(Platform::Handle handle) {
    return dynamic_cast<Object*>(static_cast<InternetObject*>(handle));
}

Platform::Handle Fail(std::uint32_t error) {
    LastError = error;
    return nullptr;
}

// libcurl's low-speed limit stands for WinINet's send and receive
// time-outs: a transfer that moves no byte for that long fails (12002).
long LowSpeedSeconds(long sendMs, long receiveMs) {
    long ms = sendMs > receiveMs ? sendMs : receiveMs;
    return ms <= 0 ? 0 : (ms + 999) / 1000;
}

// A request takes time-outs of its own, as WinINet's request handles do.
bool SetRequestTimeout(Request& request, std::uint32_t option, long value) {
    switch (option) {
    case OptionConnectTimeout:
        request.Transfer->SetConnectTimeout(value);
        return true;
    case OptionSendTimeout:
        request.SendTimeoutMs = value;
        break;
    case OptionReceiveTimeout:
        request.ReceiveTimeoutMs = value;
        break;
    default:
        LastError = PosixBackEnd::ErrorInternetInvalidOption;
        return false;
    }
    request.Transfer->SetLowSpeedSeconds(LowSpeedSeconds(request.SendTimeoutMs, request.ReceiveTimeoutMs));
    return true;
}

}  // namespace

namespace PosixBackEnd {

void AbortTransfers() { CurlRequest::AbortAll(); }

}  // namespace PosixBackEnd

namespace Platform {

std::uint32_t InternetAttemptConnect(std::uint32_t) { return 0; }

// Proxies come from the environment as libcurl reads it (http_proxy,
// https_proxy, all_proxy, no_proxy), whatever the access type.
Handle InternetOpen(const char* agent, std::uint32_t, const char*, const char*, std::uint32_t) {
    auto* session = new (std::nothrow) Session();
    if (session == nullptr) return Fail(PosixBackEnd::ErrorNotEnoughMemory);
    try {
        session->Agent = agent != nullptr ? agent : "";
    } catch (...) {
        delete session;
        return Fail(PosixBackEnd::ErrorNotEnoughMemory);
    }
    return static_cast<InternetObject*>(session);
}

bool InternetSetTimeout(Handle internet, std::uint32_t option, std::uint32_t milliseconds) {
    long value = static_cast<long>(milliseconds);
    if (Request* request = internet != nullptr ? As<Request>(internet) : nullptr) {
        return SetRequestTimeout(*request, option, value);
    }
    Session* session = internet != nullptr ? As<Session>(internet) : nullptr;
    if (session == nullptr) {
        LastError = PosixBackEnd::ErrorInvalidHandle;
        return false;
    }
    switch (option) {
    case OptionConnectTimeout:
        session->ConnectTimeoutMs = value;
        return true;
    case OptionSendTimeout:
        session->SendTimeoutMs = value;
        return true;
    case OptionReceiveTimeout:
        session->ReceiveTimeoutMs = value;
        return true;
    default:
        LastError = PosixBackEnd::ErrorInternetInvalidOption;
        return false;
    }
}

Handle InternetConnect(Handle internet, const char* server, std::uint16_t port, const char*,
                       const char*, std::uint32_t, std::uint32_t, std::uintptr_t) {
    Session* session = internet != nullptr ? As<Session>(internet) : nullptr;
    if (session == nullptr) return Fail(PosixBackEnd::ErrorInvalidHandle);
    auto* connection = new (std::nothrow) Connection();
    if (connection == nullptr) return Fail(PosixBackEnd::ErrorNotEnoughMemory);
    try {
        connection->Settings = *session;
        connection->Server = server != nullptr ? server : "";
    } catch (...) {
        delete connection;
        return Fail(PosixBackEnd::ErrorNotEnoughMemory);
    }
    connection->Port = port;
    return static_cast<InternetObject*>(connection);
}

Handle HttpOpenRequest(Handle connection, const char* verb, const char* object, const char*,
                       const char* referrer, const char**, std::uint32_t flags, std::uintptr_t) {
    Connection* parent = connection != nullptr ? As<Connection>(connection) : nullptr;
    if (parent == nullptr) return Fail(PosixBackEnd::ErrorInvalidHandle);
    RequestSettings settings;
    try {
        settings.Agent = parent->Settings.Agent;
        settings.Server = parent->Server;
        settings.Verb = verb != nullptr && *verb != '\0' ? verb : "GET";
        settings.Object = object != nullptr ? object : "";
        settings.Referrer = referrer != nullptr ? referrer : "";
    } catch (...) {
        return Fail(PosixBackEnd::ErrorNotEnoughMemory);
    }
    settings.Port = parent->Port;
    settings.ConnectTimeoutMs = parent->Settings.ConnectTimeoutMs;
    settings.LowSpeedSeconds = LowSpeedSeconds(parent->Settings.SendTimeoutMs, parent->Settings.ReceiveTimeoutMs);
    settings.Secure = (flags & FlagSecure) != 0;
    settings.Reload = (flags & FlagReload) != 0;

    std::uint32_t error = 0;
    CurlRequest* transfer = CurlRequest::Create(std::move(settings), error);
    if (transfer == nullptr) return Fail(error);
    auto* request = new (std::nothrow) Request(transfer);
    if (request == nullptr) {
        delete transfer;
        return Fail(PosixBackEnd::ErrorNotEnoughMemory);
    }
    return static_cast<InternetObject*>(request);
}

bool HttpSendRequest(Handle request, const char* headers, std::uint32_t headersLength,
                     const void* optional, std::uint32_t optionalLength) {
    Request* target = request != nullptr ? As<Request>(request) : nullptr;
    if (target == nullptr) {
        LastError = PosixBackEnd::ErrorInvalidHandle;
        return false;
    }
    std::uint32_t error = 0;
    if (target->Transfer->Send(headers, headersLength, optional, optionalLength, error)) return true;
    LastError = error;
    return false;
}

bool InternetReadFile(Handle request, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    std::uint32_t got = 0;
    Request* source = request != nullptr ? As<Request>(request) : nullptr;
    bool ok = false;
    std::uint32_t error = PosixBackEnd::ErrorInvalidHandle;
    if (source != nullptr) ok = source->Transfer->Read(buffer, toRead, got, error);
    if (read != nullptr) *read = got;
    if (!ok) LastError = error;
    return ok;
}

bool InternetCloseHandle(Handle internet) {
    if (internet == nullptr) {
        LastError = PosixBackEnd::ErrorInvalidHandle;
        return false;
    }
    delete static_cast<InternetObject*>(internet);
    return true;
}

std::uint32_t GetLastError() { return LastError; }

}  // namespace Platform
