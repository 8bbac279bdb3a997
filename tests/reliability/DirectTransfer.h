// The library's sequence of WinINet calls made directly, on a thread of its
// own: the control against which the library's own resource use is judged,
// since Wine's WinINet itself keeps some memory per request.
#pragma once

#include <cstdint>
#include <string>

struct DirectRequest {
    std::string server;  // name or address, without a port
    std::uint16_t port = 80;
    std::string path;    // without the leading '/'
    std::string verb = "GET";
    std::string data;    // POST body
};

// The body, or "error <step> <number>" when a step fails.
std::string DirectTransfer(const DirectRequest& request);
