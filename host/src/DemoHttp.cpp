#include "DemoHttp.h"

#include <cctype>
#include <sstream>

const char DemoText[] =
    "Quillbarrow demo worked: this body came from the host's own loopback server.\n"
    "Non-ASCII, to try --ansi: Grüße, ようこそ, 2 × 3\n";

namespace {

constexpr std::size_t MaxContentLength = 1 << 20;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    std::string::size_type first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::string::size_type last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Response(const char* status, const char* contentType, const std::string& body) {
    std::ostringstream out;
    out << "HTTP/1.1 " << status << "\r\n"
        << "Content-Type: " << contentType << "\r\n"
        << "Content-Length: " << body.size() << "\r\n"
        << "Connection: close\r\n"
        << "\r\n"
        << body;
    return out.str();
}

}  // namespace

std::optional<DemoRequest> ParseRequestHead(const std::string& head) {
    std::istringstream lines(head);
    std::string line;
    if (!std::getline(lines, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    DemoRequest request;
    std::istringstream requestLine(line);
    std::string version;
    if (!(requestLine >> request.Method >> request.Path >> version)) return std::nullopt;
    if (version.rfind("HTTP/", 0) != 0) return std::nullopt;

    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string::size_type colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (Lower(Trim(line.substr(0, colon))) != "content-length") continue;
        std::string value = Trim(line.substr(colon + 1));
        if (value.empty() || value.size() > 8 ||
            value.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        request.ContentLength = std::stoul(value);
        if (request.ContentLength > MaxContentLength) return std::nullopt;
    }
    return request;
}

std::string BuildResponse(const DemoRequest& request, const std::string& body) {
    if (request.Method != "GET" && request.Method != "POST") {
        return Response("405 Method Not Allowed", "text/plain", "only GET and POST\n");
    }
    if (request.Path != "/demo") return Response("404 Not Found", "text/plain", "try /demo\n");
    if (request.Method == "POST") return Response("200 OK", "text/plain", body);
    return Response("200 OK", "text/plain; charset=utf-8", DemoText);
}

std::string BadRequestResponse() {
    return Response("400 Bad Request", "text/plain", "malformed request\n");
}
