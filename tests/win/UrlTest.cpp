// How the URL becomes the connection and the request.
#include "FixedAddresses.h"
#include "FixtureServer.h"
#include "LibraryTest.h"

class Url : public LibraryTest {};

// The scheme is optional and its case does not matter; an explicit port is
// where the library connects, and it stays in the referrer as written.
struct SchemeCase {
    const char* name;
    const char* scheme;
};

class UrlScheme : public LibraryTest, public ::testing::WithParamInterface<SchemeCase> {};

TEST_P(UrlScheme, ReachesTheGivenPortWithTheServerPartAsReferrer) {
    FixtureServer server(OkReply("reached"));
    ASSERT_TRUE(server.listening()) << server.failure();
    const std::string authority = "127.0.0.1:" + std::to_string(server.port());

    ASSERT_TRUE(Get(GetParam().scheme + authority + "/x"));
    ASSERT_TRUE(WaitUntilIdle());

    RecordedRequest request = server.Request();
    EXPECT_EQ(request.requestLine, "GET /x HTTP/1.1");
    EXPECT_EQ(request.Header("Referer"), authority);
    EXPECT_EQ(request.Header("Host"), authority);
    EXPECT_EQ(ReadText(), "reached");
    EXPECT_TRUE(BoxTexts().empty());
}

INSTANTIATE_TEST_SUITE_P(Spellings, UrlScheme,
                         ::testing::Values(SchemeCase{"LowerCase", "http://"},
                                           SchemeCase{"UpperCase", "HTTP://"},
                                           SchemeCase{"MixedCase", "hTtP://"},
                                           SchemeCase{"NoScheme", ""}),
                         [](const ::testing::TestParamInfo<SchemeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Url, WithoutAPathRequestsTheRoot) {
    FixtureServer server(OkReply("root"));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get("http://" + server.Authority()));
    ASSERT_TRUE(WaitUntilIdle());

    EXPECT_EQ(server.Request().requestLine, "GET / HTTP/1.1");
    EXPECT_EQ(server.Request().Header("Referer"), server.Authority());
    EXPECT_EQ(ReadText(), "root");
}

// Control bytes in the path reach the server percent-encoded: a URL cannot
// end the request line or add header lines.
struct PathCase {
    const char* name;
    std::string path;
    std::string requestLine;
};

class UrlPath : public LibraryTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(UrlPath, ReachesTheServerAsOneRequestLine) {
    FixtureServer server(OkReply("ok"));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url(GetParam().path)));
    ASSERT_TRUE(WaitUntilIdle());

    RecordedRequest request = server.Request();
    ASSERT_TRUE(request.complete) << request.raw;
    EXPECT_EQ(request.requestLine, GetParam().requestLine);
    EXPECT_EQ(request.CountHeaders("Injected"), 0);
    EXPECT_EQ(request.CountHeaders("Host"), 1);
    EXPECT_EQ(ReadText(), "ok");
    EXPECT_TRUE(BoxTexts().empty());
}

// Wine's WinINet itself escapes a space as %20.
INSTANTIATE_TEST_SUITE_P(
    Paths, UrlPath,
    ::testing::Values(
        PathCase{"CarriageReturnLineFeed", "x\r\nInjected: 1",
                 "GET /x%0D%0AInjected:%201 HTTP/1.1"},
        PathCase{"LineFeedOnly", "x\nInjected: 1", "GET /x%0AInjected:%201 HTTP/1.1"},
        PathCase{"OtherControlBytes", std::string("a\tb\x01\x1F\x7F", 6) + "c",
                 "GET /a%09b%01%1F%7Fc HTTP/1.1"},
        PathCase{"PrintableBytesUnchanged", "dir/file.cgi?a=%41&b=1+2~",
                 "GET /dir/file.cgi?a=%41&b=1+2~ HTTP/1.1"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

// "https://" makes the client speak TLS first: on the given port, or on 443.
// The fixture closes each connection on its first bytes; Wine's WinINet
// tries the handshake a second time, then fails with 12157
// (ERROR_INTERNET_SECURITY_CHANNEL_ERROR).
class UrlSecure : public LibraryTest {
protected:
    void ExpectOnlyTlsHandshakes(const FixtureServer& server) {
        ASSERT_TRUE(WaitUntilIdle());
        ASSERT_GE(server.ConnectionCount(), 1u);
        for (const ConnectionRecord& connection : server.Connections()) {
            const std::string& first = connection.request.raw;
            ASSERT_GE(first.size(), 3u);
            EXPECT_EQ(first[0], '\x16') << "not a TLS handshake record";
            EXPECT_EQ(first[1], '\x03');
        }
        EXPECT_EQ(BoxTexts(),
                  std::vector<std::string>{ErrorBoxText("HttpSendRequest error 12157\n")});
    }
};

TEST_F(UrlSecure, AnExplicitPortIsUsedForTls) {
    FixtureServer server(std::vector<ReplyScript>{});
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get("HTTPS://" + server.Authority() + "/x"));
    ExpectOnlyTlsHandshakes(server);
}

TEST_F(UrlSecure, WithoutAPortTlsGoesTo443) {
    const std::string address = "127.0.0." + std::to_string(FixedAddress::HttpsDefaultPort);
    FixtureServer server(std::vector<ReplyScript>{}, ListenOn::At(address, 443));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get("https://" + address + "/x"));
    ExpectOnlyTlsHandshakes(server);
}
