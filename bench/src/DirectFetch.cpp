#include "DirectFetch.h"

#include <wininet.h>

#include <memory>

namespace {

constexpr DWORD ReadSize = 4096;

// Closes a WinINet handle at the end of its scope.
struct HandleCloser {
    void operator()(void* handle) const { InternetCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds) {
    InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}

}  // namespace

DirectFetch::~DirectFetch() {
    if (done_ != nullptr) {
        Wait();
        CloseHandle(done_);
    }
}

bool DirectFetch::Start(std::uint16_t port, const std::string& object) {
    if (done_ != nullptr) {
        Wait();
        CloseHandle(done_);
    }
    port_ = port;
    object_ = object;
    referrer_ = "127.0.0.1:" + std::to_string(port);
    body_.clear();
    failure_.clear();
    received_.store(0, std::memory_order_release);
    done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (done_ == nullptr) return false;
    return TrySubmitThreadpoolCallback(Run, this, nullptr) != FALSE;
}

void DirectFetch::Release() { std::string().swap(body_); }

void CALLBACK DirectFetch::Run(PTP_CALLBACK_INSTANCE instance, void* self) {
    auto* fetch = static_cast<DirectFetch*>(self);
    SetEventWhenCallbackReturns(instance, fetch->done_);
    fetch->Exchange();
}

void DirectFetch::Exchange() {
    if (InternetAttemptConnect(0) != ERROR_SUCCESS) {
        failure_ = "InternetAttemptConnect";
        return;
    }
    Handle internet(InternetOpenA("Ferrywright", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) {
        failure_ = "InternetOpen";
        return;
    }
    Handle connection(InternetConnectA(internet.get(), "127.0.0.1", port_, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        failure_ = "InternetConnect";
        return;
    }
    Handle request(HttpOpenRequestA(connection.get(), "GET", object_.c_str(), nullptr,
                                    referrer_.c_str(), nullptr, INTERNET_FLAG_RELOAD, 0));
    if (!request) {
        failure_ = "HttpOpenRequest";
        return;
    }
    // The worker sets its three limits on the request handle.
    SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, 60000);
    SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, 30000);
    SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 30000);
    if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        failure_ = "HttpSendRequest";
        return;
    }
    std::unique_ptr<char[]> buffer(new char[ReadSize]);
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.get(), buffer.get(), ReadSize, &read) || read == 0) break;
        body_.append(buffer.get(), read);
        received_.store(body_.size(), std::memory_order_release);
    }
}
