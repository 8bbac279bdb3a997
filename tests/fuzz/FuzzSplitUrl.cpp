// Any byte string is a URL: splitting never fails, and what it yields can
// go into a request line safely.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/SplitUrl.h"

namespace {
void Require(bool condition) {
    if (!condition) std::abort();
}
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string url(reinterpret_cast<const char*>(data), size);
    UrlParts parts = SplitUrl(url);

    Require(parts.Host.find('/') == std::string::npos);
    for (unsigned char c : parts.Path) Require(!IsControl(c));
    Require(parts.Port != 0);
    Require(parts.Host.compare(0, parts.ServerName.size(), parts.ServerName) == 0);
    if (parts.ServerName.size() != parts.Host.size()) {
        Require(parts.Host[parts.ServerName.size()] == ':');
        Require(std::atoi(parts.Host.c_str() + parts.ServerName.size() + 1) == parts.Port);
    }
    // The host and the path are taken from the URL in order, nothing else.
    Require(url.find(parts.Host) != std::string::npos);
    Require(parts.Path.size() <= 3 * url.size());
    if (HasInvalidHostByte(parts.Host)) {
        bool found = false;
        for (unsigned char c : parts.Host) found = found || IsControl(c) || c == ' ';
        Require(found);
    }
    return 0;
}
