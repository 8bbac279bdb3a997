// What the demo server says: the request head it understands and the
// HTTP/1.1 answers it gives.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The demo body, UTF-8, with a few characters outside ASCII for --ansi.
extern const char DemoText[];

struct DemoRequest {
    std::string Method;
    std::string Path;
    std::size_t ContentLength = 0;
};

// Parses a request head (up to and without the blank line); nullopt when
// the request line or a Content-Length header is malformed.
std::optional<DemoRequest> ParseRequestHead(const std::string& head);

// GET /demo: the demo text. POST /demo: the request body echoed. Other
// paths 404, other methods 405. Always "Connection: close".
std::string BuildResponse(const DemoRequest& request, const std::string& body);

std::string BadRequestResponse();
