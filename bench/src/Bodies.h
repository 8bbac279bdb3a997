// The response bodies the loopback server offers. Each is one 64 KiB block
// repeated, so the server holds 64 KiB per body whatever its length, and the
// process's private bytes are the client's.
#pragma once

#include <cstddef>
#include <string>

struct BodySource {
    const char* Name;   // the URL's path, without the leading '/'
    std::size_t Size;   // bytes sent
    std::string Block;  // BlockSize bytes; the body is Block repeated, cut at Size
};

constexpr std::size_t BlockSize = 64 * 1024;
constexpr std::size_t LargeBodySize = 64u * 1024 * 1024;
constexpr std::size_t SmallBodySize = 1024;

// "big": printable bytes, no NUL; "small": 1 KiB of the same;
// "ascii": English text; "japanese": UTF-8 Japanese text with some ASCII.
// The two texts are whole characters in every block.
const BodySource* FindBody(const std::string& name);

// True when text[0..size) is the body (used to check what the host got).
bool MatchesBody(const BodySource& body, const char* text, std::size_t size);
