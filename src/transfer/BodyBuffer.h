// The response body: bytes that grow by appending, always followed by a NUL
// so that the whole body can be handed out as text without a copy.
//
// One thread appends. size() may be read on another thread at any time,
// without a lock: the count is published after the bytes it covers are in
// place, so a reader never has to wait for an append or a growth under way.
// Everything else needs the appending thread to be absent or held off.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

class BodyBuffer {
public:
    BodyBuffer() = default;
    ~BodyBuffer();
    BodyBuffer(const BodyBuffer&) = delete;
    BodyBuffer& operator=(const BodyBuffer&) = delete;

    // Appends count bytes; false (and the body unchanged) when memory runs out.
    bool Append(const char* bytes, std::size_t count) noexcept;
    // Empties the body and keeps its storage for reuse.
    void Clear() noexcept {
        if (data_ != nullptr) data_[0] = '\0';
        size_.store(0, std::memory_order_release);
    }

    std::size_t size() const noexcept { return size_.load(std::memory_order_acquire); }
    bool empty() const noexcept { return size() == 0; }
    // The bytes followed by a NUL; "" when empty.
    const char* c_str() const noexcept { return data_ != nullptr ? data_ : ""; }
    std::string ToString() const { return std::string(c_str(), size()); }

private:
    bool Reserve(std::size_t needed) noexcept;

    char* data_ = nullptr;  // start of the reservation
    std::atomic<std::size_t> size_{0};
    std::size_t committed_ = 0;  // usable bytes, the NUL's included
    std::size_t reserved_ = 0;
};
