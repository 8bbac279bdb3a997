#include "transfer/BodyBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr std::size_t FirstCapacity = 16 * 1024;
}

BodyBuffer::~BodyBuffer() { std::free(data_); }

// Grows by half again rather than doubling: the spare room stays under half
// the body, and realloc can often extend a large block where it lies.
bool BodyBuffer::Reserve(std::size_t needed) noexcept {
    if (needed <= capacity_) return true;
    const std::size_t limit = std::numeric_limits<std::size_t>::max() - 1;
    if (needed > limit) return false;
    std::size_t capacity = capacity_ < FirstCapacity ? FirstCapacity : capacity_;
    while (capacity < needed) {
        capacity = capacity > limit - capacity / 2 ? limit : capacity + capacity / 2;
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
    if (count > std::numeric_limits<std::size_t>::max() - 1 - size_) return false;
    if (!Reserve(size_ + count)) return false;
    std::memcpy(data_ + size_, bytes, count);
    size_ += count;
    data_[size_] = '\0';
    return true;
}
