// Owns one WinINet handle and closes it when it goes out of scope.
#pragma once

#include "platform/Platform.h"

class InternetHandle {
public:
    explicit InternetHandle(Platform::Handle handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) Platform::InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    Platform::Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    Platform::Handle handle_;
};
