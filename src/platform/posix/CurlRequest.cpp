#include "platform/posix/CurlRequest.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "platform/posix/CurlErrors.h"

namespace PosixBackEnd {

namespace {

// How long one wait for network activity lasts before the loop looks again;
// an abort wakes it earlier.
constexpr int PollSliceMs = 1000;

std::atomic<bool> Aborting{false};
std::mutex LiveLock;
CurlRequest* LiveRequests = nullptr;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t length = std::strlen(prefix);
    if (text.size() < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The object as the request target. libcurl's URL parser refuses a space
// and takes '#' as the start of a fragment that it never sends; bytes from
// 0x80 on it would escape itself. These go percent-encoded, so the server
// receives the whole object and nothing else is changed.
std::string RequestTarget(const std::string& object) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string target;
    target.reserve(object.size() + 1);
    if (object.empty() || object[0] != '/') target += '/';
    for (unsigned char c : object) {
        if (c <= 0x20 || c == '#' || c >= 0x7F) {
            target += '%';
            target += Hex[c >> 4];
            target += Hex[c & 0x0F];
        } else {
            target += static_cast<char>(c);
        }
    }
    return target;
}

// "[::1]" as written in a URL, or a bare "::1".
bool IsIpv6Literal(const std::string& server) {
    std::string bare = server;
    if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
        bare = bare.substr(1, bare.size() - 2);
    }
    in6_addr address;
    return inet_pton(AF_INET6, bare.c_str(), &address) == 1;
}

// A server part that no name lookup could find; libcurl would read it as
// credentials, a port or the start of the path instead.
bool HasForeignServerByte(const std::string& server) {
    if (IsIpv6Literal(server)) return false;
    return server.find_first_of("@/?#\\[]:") != std::string::npos;
}

// The server as the URL needs it: an IPv6 address in brackets.
std::string UrlHost(const std::string& server) {
    return server.find(':') != std::string::npos && server.front() != '[' ? "[" + server + "]"
                                                                          : server;
}

}  // namespace

CurlRequest::CurlRequest(RequestSettings settings) : settings_(std::move(settings)) {}

CurlRequest* CurlRequest::Create(RequestSettings settings, std::uint32_t& error) {
    auto* request = new (std::nothrow) CurlRequest(std::move(settings));
    if (request == nullptr) {
        error = ErrorNotEnoughMemory;
        return nullptr;
    }
    request->easy_ = curl_easy_init();
    request->multi_ = curl_multi_init();
    if (request->easy_ == nullptr || request->multi_ == nullptr) {
        delete request;
        error = ErrorNotEnoughMemory;
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(LiveLock);
    request->next_ = LiveRequests;
    LiveRequests = request;
    return request;
}

CurlRequest::~CurlRequest() {
    {
        std::lock_guard<std::mutex> guard(LiveLock);
        for (CurlRequest** link = &LiveRequests; *link != nullptr; link = &(*link)->next_) {
            if (*link == this) {
                *link = next_;
                break;
            }
        }
    }
    if (added_) curl_multi_remove_handle(multi_, easy_);
    if (easy_ != nullptr) curl_easy_cleanup(easy_);
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
    curl_slist_free_all(headerList_);
}

void CurlRequest::AbortAll() {
    Aborting = true;
    std::lock_guard<std::mutex> guard(LiveLock);
    for (CurlRequest* request = LiveRequests; request != nullptr; request = request->next_) {
        curl_multi_wakeup(request->multi_);
    }
}

bool CurlRequest::Configure(const char* headers, std::uint32_t headersLength) {
    const RequestSettings& s = settings_;
    url_ = std::string(s.Secure ? "https://" : "http://") + UrlHost(s.Server) + ":" +
           std::to_string(s.Port) + RequestTarget(s.Object);

    auto add = [this](const std::string& line) {
        curl_slist* grown = curl_slist_append(headerList_, line.c_str());
        if (grown == nullptr) return false;
        headerList_ = grown;
        return true;
    };
    // No Accept line (no accept types were given) and no "Expect:
    // 100-continue" before a body: the request is sent in one go.
    bool ok = add("Accept:") && add("Expect:");
    if (s.Reload) ok = ok && add("Cache-Control: no-cache") && add("Pragma: no-cache");

    bool hasContentType = false;
    if (headers != nullptr) {
        std::size_t length = headersLength == 0xFFFFFFFFu ? std::strlen(headers) : headersLength;
        std::string all(headers, strnlen(headers, length));
        std::size_t start = 0;
        while (ok && start < all.size()) {
            std::size_t end = all.find('\n', start);
            if (end == std::string::npos) end = all.size();
            std::string line = all.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) {
                hasContentType = hasContentType || StartsWithNoCase(line, "content-type:");
                ok = add(line);
            }
            start = end + 1;
        }
    }
    bool isGet = s.Verb == "GET";
    bool isPost = s.Verb == "POST";
    bool isHead = s.Verb == "HEAD";
    bool sendsBody = isPost || !body_.empty();
    // libcurl adds a form Content-Type to every body unless told otherwise.
    if (sendsBody && !hasContentType) ok = ok && add("Content-Type:");
    if (!ok) return false;

    CURL* e = easy_;
    bool set = curl_easy_setopt(e, CURLOPT_URL, url_.c_str()) == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(e, CURLOPT_DISALLOW_USERNAME_IN_URL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!s.Agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, s.Agent.c_str());
    if (!s.Referrer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, s.Referrer.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList_);
    if (s.ConnectTimeoutMs > 0) curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, s.ConnectTimeoutMs);
    if (s.LowSpeedSeconds > 0) {
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, s.LowSpeedSeconds);
    }
    if (s.Secure) {
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    }
    if (isHead) {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (sendsBody) {
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, body_.data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
        if (!isPost) curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, s.Verb.c_str());
    } else if (isGet) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, s.Verb.c_str());
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    return set;
}

bool CurlRequest::Send(const char* headers, std::uint32_t headersLength, const void* body,
                       std::uint32_t bodyLength, std::uint32_t& error) {
    if (sent_) {
        error = ErrorInvalidParameter;
        return false;
    }
    sent_ = true;
    if (HasForeignServerByte(settings_.Server)) {
        error = ErrorInternetNameNotResolved;
        return false;
    }
    try {
        if (body != nullptr) body_.assign(static_cast<const char*>(body), bodyLength);
    } catch (const std::bad_alloc&) {
        error = ErrorNotEnoughMemory;
        return false;
    }
    if (!Configure(headers, headersLength)) {
        error = ErrorNotEnoughMemory;
        return false;
    }
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
        error = ErrorNotEnoughMemory;
        return false;
    }
    added_ = true;
    Drive([this] { return headersDone_; });
    if (headersDone_ || (finished_ && result_ == CURLE_OK)) return true;
    error = WinInetError(result_);
    return false;
}

bool CurlRequest::Read(void* buffer, std::uint32_t toRead, std::uint32_t& read,
                       std::uint32_t& error) {
    read = 0;
    if (!sent_ || !added_) {
        error = ErrorInvalidHandle;
        return false;
    }
    for (;;) {
        if (Staged() > 0) {
            std::size_t count = std::min<std::size_t>(Staged(), toRead);
            std::memcpy(buffer, staged_.data() + stagedOffset_, count);
            stagedOffset_ += count;
            read = static_cast<std::uint32_t>(count);
            if (Staged() == 0) Resume();
            return true;
        }
        if (finished_) {
            if (result_ == CURLE_OK) return true;
            error = WinInetError(result_);
            return false;
        }
        if (paused_) {
            Resume();
            continue;
        }
        if (toRead == 0) return true;
        Drive([this] { return Staged() > 0; });
    }
}

// Runs libcurl until ready() holds or the transfer has ended.
template <typename Ready>
void CurlRequest::Drive(Ready ready) {
    while (!ready() && !finished_) {
        if (Aborting) {
            Finish(CURLE_ABORTED_BY_CALLBACK);
            return;
        }
        int running = 0;
        CURLMcode code = curl_multi_perform(multi_, &running);
        if (code != CURLM_OK) {
            Finish(code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT);
            return;
        }
        CollectResult();
        if (ready() || finished_) return;
        code = curl_multi_poll(multi_, nullptr, 0, PollSliceMs, nullptr);
        if (code != CURLM_OK) {
            Finish(code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT);
            return;
        }
    }
}

void CurlRequest::CollectResult() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
            Finish(message->data.result);
        }
    }
}

void CurlRequest::Finish(CURLcode result) {
    if (finished_) return;
    finished_ = true;
    result_ = result;
}

// Takes the chunk libcurl held back; it may arrive in the call itself.
void CurlRequest::Resume() {
    if (!paused_ || finished_) return;
    paused_ = false;
    staged_.clear();
    stagedOffset_ = 0;
    CURLcode result = curl_easy_pause(easy_, CURLPAUSE_CONT);
    if (result != CURLE_OK) Finish(result);
}

std::size_t CurlRequest::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<CurlRequest*>(self);
    std::size_t length = size * count;
    std::string line(data, length);
    if (line.compare(0, 5, "HTTP/") == 0) {
        std::size_t space = line.find(' ');
        request->status_ = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
    } else if (line == "\r\n" || line == "\n") {
        // An interim 1xx answer is followed by the real one.
        if (request->status_ >= 200) request->headersDone_ = true;
    }
    return length;
}

std::size_t CurlRequest::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<CurlRequest*>(self);
    std::size_t length = size * count;
    request->headersDone_ = true;
    if (request->Staged() > 0) {
        request->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    try {
        request->staged_.assign(data, data + length);
    } catch (const std::bad_alloc&) {
        return 0;  // libcurl ends the transfer with a write error
    }
    request->stagedOffset_ = 0;
    return length;
}

}  // namespace PosixBackEnd
