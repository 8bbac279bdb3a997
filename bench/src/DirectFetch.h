// The baseline: the worker's WinINet calls with no library around them,
// on a thread-pool thread as the library's worker runs. The body goes into a
// std::string by 4096-byte reads; the count of bytes held is published after
// each read for a reader on another thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

class DirectFetch {
public:
    DirectFetch() = default;
    ~DirectFetch();
    DirectFetch(const DirectFetch&) = delete;
    DirectFetch& operator=(const DirectFetch&) = delete;

    // Starts "GET object" from 127.0.0.1:port; false when no thread started.
    bool Start(std::uint16_t port, const std::string& object);
    bool Done() const { return WaitForSingleObject(done_, 0) == WAIT_OBJECT_0; }
    void Wait() const { WaitForSingleObject(done_, INFINITE); }

    // Valid once Done(): the body, and the failed step's name or empty.
    const std::string& body() const { return body_; }
    const std::string& failure() const { return failure_; }
    std::size_t received() const { return received_.load(std::memory_order_acquire); }
    // Frees the body's storage.
    void Release();

private:
    static void CALLBACK Run(PTP_CALLBACK_INSTANCE instance, void* self);
    void Exchange();

    HANDLE done_ = nullptr;
    std::uint16_t port_ = 0;
    std::string object_;
    std::string referrer_;
    std::string body_;
    std::string failure_;
    std::atomic<std::size_t> received_{0};
};
