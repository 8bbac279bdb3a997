// What the loopback server does on one connection, and ready-made replies.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class Gate;

class Reply {
public:
    struct Step {
        enum class Kind { Send, Trickle, Hold, Reached, Stream, Close };
        Kind kind = Kind::Send;
        std::string bytes;
        std::size_t piece = 0;
        const Gate* hold = nullptr;
        Gate* reached = nullptr;
    };

    // Writes the bytes in one go.
    Reply& Send(std::string bytes);
    // Writes the bytes piece by piece, with a short pause after each piece.
    Reply& Trickle(std::string bytes, std::size_t piece);
    // Writes nothing more until the gate opens, the client leaves or the
    // server stops. The gate must outlive the server.
    Reply& HoldUntil(const Gate& gate);
    // Opens the gate once everything before this step has been written.
    Reply& Reached(Gate& gate);
    // Writes PatternBytes from offset `from` on, until the client leaves.
    Reply& StreamPattern(std::size_t from);
    // Ends the connection here, whatever the response promised.
    Reply& Close();

    const std::vector<Step>& steps() const { return steps_; }

private:
    std::vector<Step> steps_;
};

// "HTTP/1.1 <status> <reason>\r\n" + each header line + "\r\n".
std::string ResponseHead(int status, const std::string& reason,
                         const std::vector<std::string>& headers);
// A complete response with Content-Length and "Connection: close".
Reply SizedReply(int status, const std::string& reason, const std::string& body);
Reply OkReply(const std::string& body);
// "Transfer-Encoding: chunked", one chunk per element.
Reply ChunkedReply(const std::vector<std::string>& chunks);
// A head promising far more body than will ever come, then the pattern
// until the client leaves: a transfer that only a stop ends.
Reply EndlessReply();

// Printable bytes that differ from one 4096-byte block to the next, so a
// prefix of any length can be checked; never a zero byte.
std::string PatternBytes(std::size_t from, std::size_t count);
