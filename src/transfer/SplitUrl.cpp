#include "transfer/SplitUrl.h"

#include <cstddef>

namespace {

constexpr std::uint16_t HttpPort = 80;
constexpr std::uint16_t HttpsPort = 443;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool IsControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A request line must never carry CR, LF or other control bytes: they are
// sent percent-encoded instead, so a URL cannot inject headers.
std::string EncodeControlBytes(const std::string& path) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        if (IsControlByte(c)) {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Splits "name:digits" into name and port; anything else stays whole.
void SplitPort(UrlParts& parts) {
    const std::string& host = parts.Host;
    std::size_t colon = host.rfind(':');
    if (colon == std::string::npos || colon + 1 == host.size()) return;
    if (host.size() - colon - 1 > 5) return;
    std::uint32_t port = 0;
    for (std::size_t i = colon + 1; i < host.size(); ++i) {
        if (host[i] < '0' || host[i] > '9') return;
        port = port * 10 + static_cast<std::uint32_t>(host[i] - '0');
    }
    if (port == 0 || port > 65535) return;
    parts.ServerName = host.substr(0, colon);
    parts.Port = static_cast<std::uint16_t>(port);
}

}  // namespace

UrlParts SplitUrl(const std::string& url) {
    UrlParts parts;
    std::size_t start = 0;
    if (StartsWithNoCase(url, "http://")) {
        start = 7;
    } else if (StartsWithNoCase(url, "https://")) {
        start = 8;
        parts.Secure = true;
    }
    std::size_t slash = url.find('/', start);
    if (slash == std::string::npos) {
        parts.Host = url.substr(start);
    } else {
        parts.Host = url.substr(start, slash - start);
        parts.Path = EncodeControlBytes(url.substr(slash + 1));
    }
    parts.ServerName = parts.Host;
    parts.Port = parts.Secure ? HttpsPort : HttpPort;
    SplitPort(parts);
    return parts;
}

bool HasInvalidHostByte(const std::string& host) {
    for (unsigned char c : host) {
        if (IsControlByte(c) || c == ' ') return true;
    }
    return false;
}
