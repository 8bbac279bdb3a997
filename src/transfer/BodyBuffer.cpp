#include "transfer/BodyBuffer.h"

#include <cstring>
#include <limits>

#include "platform/Platform.h"

namespace {

constexpr std::size_t FirstReservation = 1u << 20;
constexpr std::size_t CommitStep = 64u * 1024;  // Windows' allocation granularity
constexpr std::size_t Largest = std::numeric_limits<std::size_t>::max();

// What to commit for `needed` bytes: a thirty-second more, so that commits
// stay few, in whole steps, never past the reservation.
std::size_t CommitFor(std::size_t needed, std::size_t reserved) {
    std::size_t wanted = needed + needed / 32;
    if (wanted < needed || wanted > Largest - CommitStep) return reserved;
    wanted = (wanted + CommitStep - 1) / CommitStep * CommitStep;
    return wanted < reserved ? wanted : reserved;
}

}  // namespace

BodyBuffer::~BodyBuffer() { Platform::ReleaseMemory(data_); }

// The body lies in a reservation of address space and is committed as it
// fills, so the process pays only for the bytes it holds (and a thirty-
// second more). A body that outgrows its reservation moves once into one
// twice as large, committed only as far as the body: at that moment the old
// and the new copy are all that is held, about twice the body. Moving
// doubles the room, so the bytes ever copied stay below twice the body,
// as with any doubling growth.
bool BodyBuffer::Reserve(std::size_t needed) noexcept {
    if (needed == Largest) return false;
    const std::size_t withNul = needed + 1;
    if (withNul <= committed_) return true;
    if (withNul <= reserved_) {
        const std::size_t commit = CommitFor(withNul, reserved_);
        if (!Platform::CommitMemory(data_, commit)) return false;
        committed_ = commit;
        return true;
    }
    std::size_t reserve = reserved_ < FirstReservation ? FirstReservation : reserved_;
    while (reserve < withNul) {
        if (reserve > Largest / 2) return false;
        reserve *= 2;
    }
    // When that fails the body stops growing, rather than squeezing the
    // last free address space out of the host's process in small steps.
    auto* moved = static_cast<char*>(Platform::ReserveMemory(reserve));
    if (moved == nullptr) return false;
    const std::size_t commit = CommitFor(withNul, reserve);
    if (!Platform::CommitMemory(moved, commit)) {
        Platform::ReleaseMemory(moved);
        return false;
    }
    if (data_ != nullptr) {
        std::memcpy(moved, data_, size_.load(std::memory_order_relaxed) + 1);
        Platform::ReleaseMemory(data_);
    }
    data_ = moved;
    reserved_ = reserve;
    committed_ = commit;
    return true;
}

bool BodyBuffer::Append(const char* bytes, std::size_t count) noexcept {
    if (count == 0) return true;
    const std::size_t size = size_.load(std::memory_order_relaxed);  // this thread's own count
    if (count > Largest - 1 - size) return false;
    if (!Reserve(size + count)) return false;
    std::memcpy(data_ + size, bytes, count);
    data_[size + count] = '\0';
    size_.store(size + count, std::memory_order_release);
    return true;
}
