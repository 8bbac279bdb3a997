// What the fixture server does on one connection, and ready-made replies.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

class Gate;

class ReplyScript {
public:
    // Pieces small enough that a 4096-byte read needs several of them.
    static constexpr std::size_t DefaultPiece = 700;

    struct Step {
        enum class Kind { Send, Hold, Reached, Close };
        Kind kind = Kind::Send;
        std::string bytes;
        std::size_t piece = DefaultPiece;
        std::chrono::milliseconds pause{0};
        const Gate* hold = nullptr;  // Hold: waits until it opens
        Gate* reached = nullptr;     // Reached: opened when the step is reached
    };

    // Writes the bytes piece by piece without pauses.
    ReplyScript& Send(std::string bytes, std::size_t piece = DefaultPiece);
    // Writes the bytes piece by piece with a pause after each piece.
    ReplyScript& Trickle(std::string bytes, std::size_t piece, std::chrono::milliseconds pause);
    // Writes nothing more until the gate opens (or the client leaves, or the
    // server stops). The gate must outlive the server.
    ReplyScript& HoldUntil(const Gate& gate);
    // Opens the gate once everything before this step has been written.
    ReplyScript& Reached(Gate& gate);
    // Ends the connection here, whatever the response promised.
    ReplyScript& Close();
    // Starts on the first bytes received instead of a whole HTTP request
    // (for a client that speaks TLS first).
    ReplyScript& WithoutRequest();

    const std::vector<Step>& steps() const { return steps_; }
    bool waitsForRequest() const { return waitsForRequest_; }

private:
    std::vector<Step> steps_;
    bool waitsForRequest_ = true;
};

// "HTTP/1.1 <status> <reason>\r\n" + each header line + "\r\n".
std::string ResponseHead(int status, const std::string& reason,
                         const std::vector<std::string>& headers);
// The head of a response with this Content-Length and "Connection: close".
std::string SizedHead(int status, const std::string& reason, std::size_t contentLength);

// A complete response: head with Content-Length, then the body.
ReplyScript SizedReply(int status, const std::string& reason, const std::string& body);
ReplyScript OkReply(const std::string& body);
// "Transfer-Encoding: chunked", one chunk per element.
ReplyScript ChunkedReply(const std::vector<std::string>& chunks);

// Printable bytes that differ from one 4096-byte block to the next, so that
// a prefix of any length can be checked; never a zero byte.
std::string PatternBytes(std::size_t count);
