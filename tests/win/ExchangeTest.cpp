// One transfer end to end: the exact request the library sends and the body
// it hands back.
#include <algorithm>
#include <functional>

#include "FixedAddresses.h"
#include "FixtureServer.h"
#include "LibraryTest.h"

namespace {

std::vector<std::string> SortedHeaders(const RecordedRequest& request) {
    std::vector<std::string> lines = request.headerLines;
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string Head(const RecordedRequest& request) {
    return request.raw.substr(0, request.raw.find("\r\n\r\n") + 4);
}

}  // namespace

class Exchange : public LibraryTest {};

TEST_F(Exchange, GetSendsTheRequestOfTheUrlAndDeliversTheBody) {
    const std::string body = "<html>hello, world</html>";
    FixtureServer server(OkReply(body), ListenOn::HttpPortOf(FixedAddress::ExchangeGet));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get("http://127.0.0.31/path?q=1"));
    ASSERT_TRUE(WaitUntilIdle());

    ASSERT_EQ(server.ConnectionCount(), 1u);
    RecordedRequest request = server.Request();
    ASSERT_TRUE(request.complete) << request.raw;
    EXPECT_EQ(request.requestLine, "GET /path?q=1 HTTP/1.1");
    EXPECT_EQ(SortedHeaders(request),
              (std::vector<std::string>{"Host: 127.0.0.31", "Referer: 127.0.0.31",
                                        "User-Agent: Ferrywright"}));
    EXPECT_EQ(request.raw, Head(request)) << "a GET carries no body";

    EXPECT_EQ(dll->GetReadSize(), body.size());
    EXPECT_EQ(ReadText(), body);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(Exchange, PostSendsTheDataUnchangedAsAFormBody) {
    // Form syntax, percent escapes, '+', a space, UTF-8 and bytes that are
    // no UTF-8 at all: the library must pass every byte as it is.
    const std::string data = "name=J%C3%BCrgen&sum=1+2&amp;x=a b\xE6\x97\xA5\xFF\x80~";
    const std::string reply = "accepted";
    FixtureServer server(OkReply(reply), ListenOn::HttpPortOf(FixedAddress::ExchangePost));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Post("http://127.0.0.32/path?q=1", data));
    ASSERT_TRUE(WaitUntilIdle());

    ASSERT_EQ(server.ConnectionCount(), 1u);
    RecordedRequest request = server.Request();
    ASSERT_TRUE(request.complete) << request.raw;
    EXPECT_EQ(request.requestLine, "POST /path?q=1 HTTP/1.1");
    EXPECT_EQ(SortedHeaders(request),
              (std::vector<std::string>{"Content-Length: " + std::to_string(data.size()),
                                        "Content-Type: application/x-www-form-urlencoded",
                                        "Host: 127.0.0.32", "Referer: 127.0.0.32",
                                        "User-Agent: Ferrywright"}));
    EXPECT_EQ(request.body, data);
    EXPECT_EQ(request.raw, Head(request) + data) << "nothing follows the body";

    EXPECT_EQ(dll->GetReadSize(), reply.size());
    EXPECT_EQ(ReadText(), reply);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(Exchange, PostWithEmptyDataSendsAnEmptyFormBody) {
    FixtureServer server(OkReply("ok"));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Post(server.Url("form"), ""));
    ASSERT_TRUE(WaitUntilIdle());

    RecordedRequest request = server.Request();
    EXPECT_EQ(request.requestLine, "POST /form HTTP/1.1");
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.Header("Content-Length"), "0");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(ReadText(), "ok");
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(Exchange, PostTakesTheDataBeforeTheUrl) {
    FixtureServer server(OkReply("ok"));
    ASSERT_TRUE(server.listening()) << server.failure();
    std::vector<std::string> calls;
    CountingHostString url(server.Url("order"));
    CountingHostString data("a=1");
    url.LogCallsTo(calls, "url");
    data.LogCallsTo(calls, "data");

    ASSERT_TRUE(dll->Post(&url, &data));
    ASSERT_TRUE(WaitUntilIdle());

    EXPECT_EQ(calls, (std::vector<std::string>{"data.GetText", "url.GetText"}));
    EXPECT_EQ(server.Request().body, "a=1");
}

// How a response is framed and written must not matter to the body.
struct BodyCase {
    const char* name;
    std::function<ReplyScript()> reply;
    std::string text;    // what ReadString delivers
    std::uint32_t size;  // what GetReadSize counts
};

class ExchangeBody : public LibraryTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(ExchangeBody, ArrivesWhole) {
    const BodyCase& c = GetParam();
    FixtureServer server(c.reply());
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("body")));
    ASSERT_TRUE(WaitUntilIdle());

    EXPECT_EQ(dll->GetReadSize(), c.size);
    CountingHostString target("(not set)");
    EXPECT_TRUE(dll->ReadString(&target));
    EXPECT_EQ(target.text(), c.text);
    EXPECT_EQ(target.sets(), 1);
    EXPECT_TRUE(BoxTexts().empty());
}

const std::string LongBody = PatternBytes(3 * 4096 + 1234);
const std::string ZeroInside("before\0after", 12);

INSTANTIATE_TEST_SUITE_P(
    Responses, ExchangeBody,
    ::testing::Values(
        BodyCase{"LongBodyInSmallPieces", [] { return OkReply(LongBody); }, LongBody,
                 static_cast<std::uint32_t>(LongBody.size())},
        BodyCase{"TrickledBody",
                 [] {
                     return ReplyScript().Trickle(SizedHead(200, "OK", 5000) + PatternBytes(5000),
                                                  333, std::chrono::milliseconds(1));
                 },
                 PatternBytes(5000), 5000},
        BodyCase{"EmptyBody", [] { return OkReply(""); }, "", 0},
        BodyCase{"ChunkedBody",
                 [] { return ChunkedReply({"first, ", std::string(5000, 'x'), ", last"}); },
                 "first, " + std::string(5000, 'x') + ", last", 5013},
        BodyCase{"BodyEndedByClosing",
                 [] {
                     return ReplyScript().Send(ResponseHead(200, "OK", {"Connection: close"}) +
                                               "no length given");
                 },
                 "no length given", 15},
        BodyCase{"ClosedMidBody",
                 [] {
                     return ReplyScript().Send(SizedHead(200, "OK", 10000) + PatternBytes(5000)).Close();
                 },
                 PatternBytes(5000), 5000},
        BodyCase{"ErrorPage",
                 [] { return SizedReply(404, "Not Found", "<h1>no such page</h1>"); },
                 "<h1>no such page</h1>", 21},
        BodyCase{"ZeroByteInBody", [] { return OkReply(ZeroInside); }, "before", 12}),
    [](const ::testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.name); });
