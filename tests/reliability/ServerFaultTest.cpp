// A server that breaks the exchange: closes early, sends no HTTP, sends a
// framing that cannot be followed, goes silent, or never ends its body.
// Each case checks the outcome Wine's WinINet gives the worker (a true
// result and the bytes that arrived, or the one error line of the failing
// step), and that the next transfer works.
#include <chrono>
#include <cstdio>
#include <functional>

#include "FixtureServer.h"
#include "RecoveryTest.h"
#include "PatternStream.h"
#include "StreamServer.h"

namespace {

std::string ChunkedHead() {
    return ResponseHead(200, "OK", {"Transfer-Encoding: chunked", "Connection: close"});
}

std::string BinaryGarbage() {
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes += static_cast<char>((i * 37 % 256) | 1);
    return bytes;
}

}  // namespace

class ServerFaultTest : public RecoveryTest {
protected:
    static double SecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

struct ServerFaultCase {
    const char* name;
    std::function<ReplyScript()> reply;
    std::string body;               // what ReadString delivers afterwards
    std::vector<std::string> lines;  // the error lines shown, in order
};

class ServerFault : public ServerFaultTest, public ::testing::WithParamInterface<ServerFaultCase> {};

TEST_P(ServerFault, EndsWithWhatArrivedAndTheNextTransferWorks) {
    const ServerFaultCase& c = GetParam();
    FixtureServer server(c.reply());
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("fault")));
    ASSERT_TRUE(WaitUntilIdle());
    std::vector<std::string> boxes;
    for (const std::string& line : c.lines) boxes.push_back(ErrorBoxText(line));
    EXPECT_EQ(BoxTexts(), boxes);
    EXPECT_EQ(dll->GetReadSize(), c.body.size());
    EXPECT_TRUE(ReadText() == c.body);
    ExpectANormalTransferAfterwards();
}

// Wine's WinINet takes a response that ends early as a complete one, and a
// chunk size it cannot read as the end of the chunks (or, where it reads no
// size at all, as a body that runs to the close): the worker's result is
// true, with the bytes that came.
INSTANTIATE_TEST_SUITE_P(
    Replies, ServerFault,
    ::testing::Values(
        ServerFaultCase{"ClosesInsideAHeaderName",
                        [] { return ReplyScript().Send("HTTP/1.1 200 OK\r\nContent-Len").Close(); },
                        "", {}},
        ServerFaultCase{"ClosesAfterAHeaderLine",
                        [] {
                            return ReplyScript().Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n").Close();
                        },
                        "", {}},
        ServerFaultCase{"ClosesInsideASizedBody",
                        [] {
                            return ReplyScript().Send(SizedHead(200, "OK", 100000) + PatternAt(0, 10000)).Close();
                        },
                        PatternAt(0, 10000), {}},
        ServerFaultCase{"ClosesInsideAChunk",
                        [] {
                            return ReplyScript()
                                .Send(ChunkedHead() + "2710\r\n" + PatternAt(0, 10000) + "\r\n2710\r\n" +
                                      PatternAt(10000, 5000))
                                .Close();
                        },
                        PatternAt(0, 15000), {}},
        ServerFaultCase{"TextThatIsNoHttp",
                        [] { return ReplyScript().Send("this is no HTTP at all %s%n\r\n\r\nmore garbage").Close(); },
                        "\r\nmore garbage", {}},
        ServerFaultCase{"BinaryGarbage", [] { return ReplyScript().Send(BinaryGarbage()).Close(); }, "", {}},
        ServerFaultCase{"OneHeaderOf1MiB",
                        [] {
                            return ReplyScript().Send("HTTP/1.1 200 OK\r\nX-Big: " + std::string(1 << 20, 'h') +
                                                          "\r\nContent-Length: 4\r\nConnection: close\r\n\r\nbody",
                                                      65536);
                        },
                        "body", {}},
        ServerFaultCase{"ChunkSizeNotHex",
                        [] {
                            return ReplyScript().Send(ChunkedHead() + "5\r\nhello\r\nzz\r\nworld\r\n0\r\n\r\n").Close();
                        },
                        "hello", {}},
        ServerFaultCase{"ChunkSizeNegative",
                        [] {
                            return ReplyScript().Send(ChunkedHead() + "5\r\nhello\r\n-5\r\nworld\r\n0\r\n\r\n").Close();
                        },
                        "helloworld", {}},
        ServerFaultCase{"ChunkSizeOverflows",
                        [] {
                            return ReplyScript()
                                .Send(ChunkedHead() + "5\r\nhello\r\nFFFFFFFFFFFFFFFFFF\r\nworld\r\n0\r\n\r\n")
                                .Close();
                        },
                        "helloworld\r\n0\r\n\r\n", {}}),
    [](const ::testing::TestParamInfo<ServerFaultCase>& info) { return std::string(info.param.name); });

// A body of 1 GiB that trickles on for as long as the client stays: Stop
// ends it with "EventStop" once, keeps a prefix of what was sent, and the
// server sees the client leave.
TEST_F(ServerFaultTest, EndlessTrickleEndsAtStop) {
    constexpr std::uint64_t Total = 1ull << 30;
    StreamServer server([](StreamConnection& connection) {
        if (!connection.ReadRequest()) return;
        if (!connection.Send(SizedHead(200, "OK", Total))) return;
        connection.SendPattern(Total, 4096, std::chrono::milliseconds(5));
    });
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("endless")));
    ASSERT_TRUE(WaitForReadSize(20 * 4096));
    dll->Stop();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText("EventStop\n")});
    EXPECT_FALSE(dll->IsRun());
    const std::uint32_t size = dll->GetReadSize();
    EXPECT_GE(size, 20u * 4096);
    EXPECT_EQ(size % 4096, 0u);
    EXPECT_TRUE(ReadText() == PatternAt(0, size));
    ASSERT_TRUE(server.WaitForFinished(1, std::chrono::milliseconds(10000)));
    EXPECT_LT(server.Records()[0].sentBytes, Total);
    dll->Stop();
    EXPECT_EQ(catcher.Count(), 1u);
    ExpectANormalTransferAfterwards();
}

// Silence longer than the worker's 30 s receive limit. The time each case
// blocked is printed for the record; the checks are on the outcome only.
class ServerSilence : public ServerFaultTest {};

TEST_F(ServerSilence, NoAnswerEndsWithTheSendLineAfterTheReceiveLimit) {
    StreamServer server([](StreamConnection& connection) {
        if (!connection.ReadRequest()) return;
        connection.WaitForClientToLeave(std::chrono::milliseconds(90000));
    });
    ASSERT_TRUE(server.listening()) << server.failure();

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Get(server.Url("silent")));
    ASSERT_TRUE(WaitUntilIdle(std::chrono::milliseconds(70000)));
    std::printf("[ figures  ] no answer: the worker ended after %.1f s\n", SecondsSince(start));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText("HttpSendRequest error 12030\n")});
    EXPECT_EQ(dll->GetReadSize(), 0u);
    ExpectANormalTransferAfterwards();
}

// The read that times out ends the transfer like the end of the body, and
// the bytes it had before the limit ran out are kept.
TEST_F(ServerSilence, StallAfterTheHeadersEndsAfterTheReceiveLimit) {
    StreamServer server([](StreamConnection& connection) {
        if (!connection.ReadRequest()) return;
        if (!connection.Send(SizedHead(200, "OK", 1000) + "abc")) return;
        connection.WaitForClientToLeave(std::chrono::milliseconds(90000));
    });
    ASSERT_TRUE(server.listening()) << server.failure();

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Get(server.Url("stall")));
    ASSERT_TRUE(WaitUntilIdle(std::chrono::milliseconds(70000)));
    std::printf("[ figures  ] stall after the headers: the worker ended after %.1f s\n",
                SecondsSince(start));
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(dll->GetReadSize(), 3u);
    EXPECT_EQ(ReadText(), "abc");
    ExpectANormalTransferAfterwards();
}

// Known to fail under Wine 8: a stall after part of the headers holds the
// worker in HttpSendRequestA for as long as the server keeps the connection
// (over 70 s here), past the receive limit, and Stop, the next Get and the
// unload wait with it. Run it with --gtest_also_run_disabled_tests.
TEST_F(ServerSilence, DISABLED_StallInsideTheHeadersEndsAfterTheReceiveLimit) {
    StreamServer server([](StreamConnection& connection) {
        if (!connection.ReadRequest()) return;
        if (!connection.Send("HTTP/1.1 200 OK\r\nX-A: b\r\n")) return;
        connection.WaitForClientToLeave(std::chrono::milliseconds(90000));
    });
    ASSERT_TRUE(server.listening()) << server.failure();

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Get(server.Url("stall")));
    ASSERT_TRUE(WaitUntilIdle(std::chrono::milliseconds(70000)));
    std::printf("[ figures  ] stall inside the headers: the worker ended after %.1f s\n",
                SecondsSince(start));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText("HttpSendRequest error 12002\n")});
    EXPECT_EQ(dll->GetReadSize(), 0u);
    ExpectANormalTransferAfterwards();
}
