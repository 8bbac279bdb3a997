// One HTTP exchange on libcurl's multi interface, shaped like a WinINet
// request handle: Send returns once the response headers have arrived, Read
// hands out the body a few kilobytes at a time. The body is pulled from
// libcurl: its write callback fills a staging buffer of at most one of
// libcurl's chunks and pauses the transfer while that buffer still holds
// unread bytes, so nothing beyond that chunk is kept in memory.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace PosixBackEnd {

struct RequestSettings {
    std::string Agent;
    long ConnectTimeoutMs = 0;   // 0: libcurl's default
    long LowSpeedSeconds = 0;    // no byte for this long fails the transfer; 0: no limit
    std::string Server;
    std::uint16_t Port = 80;
    std::string Verb;
    std::string Object;
    std::string Referrer;        // empty: no Referer header
    bool Secure = false;
    bool Reload = false;         // ask every cache on the way for a fresh answer
};

class CurlRequest {
public:
    // Null (and error set) when libcurl cannot make its handles.
    static CurlRequest* Create(RequestSettings settings, std::uint32_t& error);
    ~CurlRequest();
    CurlRequest(const CurlRequest&) = delete;
    CurlRequest& operator=(const CurlRequest&) = delete;

    // Time-outs set on the request after it was opened; they take effect
    // when it is sent.
    void SetConnectTimeout(long milliseconds) { settings_.ConnectTimeoutMs = milliseconds; }
    void SetLowSpeedSeconds(long seconds) { settings_.LowSpeedSeconds = seconds; }

    // Sends the request and waits for the response headers. headers holds
    // CRLF-separated lines (length -1: up to its NUL); body is sent as is.
    bool Send(const char* headers, std::uint32_t headersLength, const void* body,
              std::uint32_t bodyLength, std::uint32_t& error);
    // At most toRead bytes; read = 0 and true at the end of the body, false
    // (error set) when the transfer failed.
    bool Read(void* buffer, std::uint32_t toRead, std::uint32_t& read, std::uint32_t& error);

    // Every request of the process fails from now on; waiting ones wake up.
    static void AbortAll();

private:
    explicit CurlRequest(RequestSettings settings);
    bool Configure(const char* headers, std::uint32_t headersLength);
    template <typename Ready> void Drive(Ready ready);
    void CollectResult();
    void Finish(CURLcode result);
    void Resume();
    std::size_t Staged() const { return staged_.size() - stagedOffset_; }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);

    RequestSettings settings_;
    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;
    curl_slist* headerList_ = nullptr;
    std::string url_;
    std::string body_;
    bool added_ = false;
    bool sent_ = false;
    int status_ = 0;              // of the response whose headers are arriving
    bool headersDone_ = false;    // the final response's headers are complete
    bool paused_ = false;         // the write callback refused a chunk
    bool finished_ = false;
    CURLcode result_ = CURLE_OK;
    std::vector<char> staged_;
    std::size_t stagedOffset_ = 0;
    CurlRequest* next_ = nullptr;  // in the list of live requests
};

}  // namespace PosixBackEnd
