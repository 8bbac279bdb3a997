#include "transfer/BodyBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr std::size_t FirstCapacity = 16 * 1024;
}

BodyBuffer::~BodyBuffer() { std::free(data_); }

// Doubles the room when it runs out. A large block does not grow where it
// lies (the Windows heap, and Wine's, give it pages of its own), so each
// growth copies the body into fresh pages, and touching fresh pages is what
// a large body's storage costs most. Doubling copies less than the body in
// all, as std::string does; growing by half again copied twice the body
// and took twice as long for 64 MiB. The price is spare room of up to the
// body's size after a growth: committed on Windows, but not touched.
bool BodyBuffer::Reserve(std::size_t needed) noexcept {
    if (needed <= capacity_) return true;
    const std::size_t limit = std::numeric_limits<std::size_t>::max() - 1;
    if (needed > limit) return false;
    std::size_t capacity = capacity_ < FirstCapacity ? FirstCapacity : capacity_;
    while (capacity < needed) {
        capacity = capacity > limit / 2 ? limit : capacity * 2;
    }
    // When that fails the body stops growing, rather than squeezing the
    // last free memory out of the host's process in small steps.
    char* grown = static_cast<char*>(std::realloc(data_, capacity + 1));
    if (grown == nullptr) return false;
    data_ = grown;
    capacity_ = capacity;
    return true;
}

bool BodyBuffer::Append(const char* bytes, std::size_t count) noexcept {
    if (count == 0) return true;
    const std::size_t size = size_.load(std::memory_order_relaxed);  // this thread's own count
    if (count > std::numeric_limits<std::size_t>::max() - 1 - size) return false;
    if (!Reserve(size + count)) return false;
    std::memcpy(data_ + size, bytes, count);
    data_[size + count] = '\0';
    size_.store(size + count, std::memory_order_release);
    return true;
}
