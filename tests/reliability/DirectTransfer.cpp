#include "DirectTransfer.h"

#include <windows.h>
#include <wininet.h>

#include <thread>

namespace {

class Handle {
public:
    explicit Handle(HINTERNET handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr) ::InternetCloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

std::string Failed(const char* step) {
    return std::string("error ") + step + " " + std::to_string(::GetLastError());
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds) {
    ::InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}

std::string Run(const DirectRequest& r) {
    if (::InternetAttemptConnect(0) != ERROR_SUCCESS) return Failed("InternetAttemptConnect");
    Handle internet(::InternetOpenA("Ferrywright", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return Failed("InternetOpen");
    Handle connection(::InternetConnectA(internet.get(), r.server.c_str(), r.port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Failed("InternetConnect");
    Handle request(::HttpOpenRequestA(connection.get(), r.verb.c_str(), r.path.c_str(), nullptr,
                                      r.server.c_str(), nullptr, INTERNET_FLAG_RELOAD, 0));
    if (!request) return Failed("HttpOpenRequest");
    SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, 60000);
    SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, 30000);
    SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 30000);
    static const char PostHeader[] = "Content-Type: application/x-www-form-urlencoded";
    const bool post = r.verb == "POST";
    if (!::HttpSendRequestA(request.get(), post ? PostHeader : nullptr, post ? sizeof PostHeader - 1 : 0,
                            r.data.empty() ? nullptr : const_cast<char*>(r.data.data()),
                            static_cast<DWORD>(r.data.size()))) {
        return Failed("HttpSendRequest");
    }
    std::string body;
    char buffer[4096];
    DWORD got = 0;
    while (::InternetReadFile(request.get(), buffer, sizeof buffer, &got) && got > 0) {
        body.append(buffer, got);
    }
    return body;
}

}  // namespace

std::string DirectTransfer(const DirectRequest& request) {
    std::string result;
    std::thread worker([&] { result = Run(request); });
    worker.join();
    return result;
}
