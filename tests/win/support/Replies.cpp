#include "Replies.h"

#include <cstdio>
#include <utility>

ReplyScript& ReplyScript::Send(std::string bytes, std::size_t piece) {
    Step step;
    step.kind = Step::Kind::Send;
    step.bytes = std::move(bytes);
    step.piece = piece == 0 ? DefaultPiece : piece;
    steps_.push_back(std::move(step));
    return *this;
}

ReplyScript& ReplyScript::Trickle(std::string bytes, std::size_t piece,
                                  std::chrono::milliseconds pause) {
    Send(std::move(bytes), piece);
    steps_.back().pause = pause;
    return *this;
}

ReplyScript& ReplyScript::HoldUntil(const Gate& gate) {
    Step step;
    step.kind = Step::Kind::Hold;
    step.hold = &gate;
    steps_.push_back(std::move(step));
    return *this;
}

ReplyScript& ReplyScript::Reached(Gate& gate) {
    Step step;
    step.kind = Step::Kind::Reached;
    step.reached = &gate;
    steps_.push_back(std::move(step));
    return *this;
}

ReplyScript& ReplyScript::Close() {
    Step step;
    step.kind = Step::Kind::Close;
    steps_.push_back(std::move(step));
    return *this;
}

ReplyScript& ReplyScript::WithoutRequest() {
    waitsForRequest_ = false;
    return *this;
}

std::string ResponseHead(int status, const std::string& reason,
                         const std::vector<std::string>& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    for (const std::string& line : headers) head += line + "\r\n";
    return head + "\r\n";
}

std::string SizedHead(int status, const std::string& reason, std::size_t contentLength) {
    return ResponseHead(status, reason,
                        {"Content-Length: " + std::to_string(contentLength), "Connection: close"});
}

ReplyScript SizedReply(int status, const std::string& reason, const std::string& body) {
    return ReplyScript().Send(SizedHead(status, reason, body.size()) + body);
}

ReplyScript OkReply(const std::string& body) { return SizedReply(200, "OK", body); }

ReplyScript ChunkedReply(const std::vector<std::string>& chunks) {
    std::string bytes = ResponseHead(200, "OK", {"Transfer-Encoding: chunked", "Connection: close"});
    for (const std::string& chunk : chunks) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        bytes += size + chunk + "\r\n";
    }
    bytes += "0\r\n\r\n";
    return ReplyScript().Send(std::move(bytes));
}

std::string PatternBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>('!' + (i * 7 + i / 4096 * 13) % 90);
    }
    return bytes;
}
