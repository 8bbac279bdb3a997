// Splitting a URL into the server and object of the request.
#pragma once

#include <cstdint>
#include <string>

struct UrlParts {
    std::string Host;        // everything before the first '/' after the scheme
    std::string Path;        // everything after that '/', control bytes percent-encoded
    std::string ServerName;  // Host without a trailing ":digits" port
    std::uint16_t Port = 80;
    bool Secure = false;
};

UrlParts SplitUrl(const std::string& url);

// True when a server name holds a byte that no host name may contain.
bool HasInvalidHostByte(const std::string& host);
