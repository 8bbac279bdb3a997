#include "Replies.h"

#include <cstdio>
#include <utility>

Reply& Reply::Send(std::string bytes) {
    Step step;
    step.bytes = std::move(bytes);
    steps_.push_back(std::move(step));
    return *this;
}

Reply& Reply::Trickle(std::string bytes, std::size_t piece) {
    Step step;
    step.kind = Step::Kind::Trickle;
    step.bytes = std::move(bytes);
    step.piece = piece;
    steps_.push_back(std::move(step));
    return *this;
}

Reply& Reply::HoldUntil(const Gate& gate) {
    Step step;
    step.kind = Step::Kind::Hold;
    step.hold = &gate;
    steps_.push_back(std::move(step));
    return *this;
}

Reply& Reply::Reached(Gate& gate) {
    Step step;
    step.kind = Step::Kind::Reached;
    step.reached = &gate;
    steps_.push_back(std::move(step));
    return *this;
}

Reply& Reply::StreamPattern(std::size_t from) {
    Step step;
    step.kind = Step::Kind::Stream;
    step.piece = from;
    steps_.push_back(std::move(step));
    return *this;
}

Reply& Reply::Close() {
    Step step;
    step.kind = Step::Kind::Close;
    steps_.push_back(std::move(step));
    return *this;
}

std::string ResponseHead(int status, const std::string& reason,
                         const std::vector<std::string>& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    for (const std::string& line : headers) head += line + "\r\n";
    return head + "\r\n";
}

Reply SizedReply(int status, const std::string& reason, const std::string& body) {
    return Reply().Send(ResponseHead(status, reason,
                                     {"Content-Length: " + std::to_string(body.size()),
                                      "Connection: close"}) +
                        body);
}

Reply OkReply(const std::string& body) { return SizedReply(200, "OK", body); }

Reply ChunkedReply(const std::vector<std::string>& chunks) {
    std::string bytes =
        ResponseHead(200, "OK", {"Transfer-Encoding: chunked", "Connection: close"});
    for (const std::string& chunk : chunks) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        bytes += size + chunk + "\r\n";
    }
    return Reply().Send(bytes + "0\r\n\r\n");
}

Reply EndlessReply() {
    return Reply()
        .Send(ResponseHead(200, "OK", {"Content-Length: 1000000000000", "Connection: close"}))
        .StreamPattern(0);
}

std::string PatternBytes(std::size_t from, std::size_t count) {
    static const char Alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string bytes(count, ' ');
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t at = from + i;
        bytes[i] = Alphabet[(at + at / 4096) % (sizeof Alphabet - 1)];
    }
    return bytes;
}
