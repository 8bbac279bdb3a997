// Body bytes that can be produced from any offset: printable, never zero,
// and different from one 4096-byte block to the next, so that a prefix of
// any length (or a block out of place) shows.
#pragma once

#include <cstdint>
#include <string>

inline char PatternByte(std::uint64_t offset) {
    return static_cast<char>('!' + (offset * 7 + offset / 4096 * 13) % 90);
}

inline std::string PatternAt(std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = PatternByte(offset + i);
    return bytes;
}
