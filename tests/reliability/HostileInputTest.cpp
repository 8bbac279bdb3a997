// Hostile texts through the exports: URLs that are empty, huge, or full of
// bytes a request line must not carry, format sequences that must never be
// taken as a format, POST data that is huge or holds a zero byte. What the
// server receives is checked wherever a request is made, and the library
// must be fit for a normal transfer afterwards.
#include <functional>

#include "FixtureServer.h"
#include "RecoveryTest.h"
#include "PatternStream.h"

namespace {

constexpr std::size_t KiB = 1024;
constexpr std::size_t MiB = 1024 * KiB;

}  // namespace

class HostileInput : public RecoveryTest {};

// A URL whose path the server must receive as one request line, escaped
// where a byte may not stand in it as it is.
struct HostilePathCase {
    const char* name;
    std::string path;
    std::string target;  // the request target the server sees
};

class HostilePath : public HostileInput, public ::testing::WithParamInterface<HostilePathCase> {};

TEST_P(HostilePath, ReachesTheServerAsOneRequestLine) {
    FixtureServer server(OkReply("ok"));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url(GetParam().path)));
    ASSERT_TRUE(WaitUntilIdle(std::chrono::milliseconds(30000)));

    RecordedRequest request = server.Request();
    ASSERT_TRUE(request.complete) << request.raw.substr(0, 200);
    EXPECT_TRUE(request.requestLine == "GET /" + GetParam().target + " HTTP/1.1")
        << request.requestLine.substr(0, 200);
    EXPECT_EQ(request.CountHeaders("Host"), 1);
    EXPECT_EQ(ReadText(), "ok");
    EXPECT_TRUE(BoxTexts().empty());
    ExpectANormalTransferAfterwards();
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HostilePath,
    ::testing::Values(
        HostilePathCase{"FormatSequences", "%s%n%x%p%d", "%s%n%x%p%d"},
        HostilePathCase{"BrokenPercentEscapes", "a%%b%zz%4", "a%%b%zz%4"},
        // Wine's WinINet passes bytes above 0x7F on unescaped.
        HostilePathCase{"NonAsciiBytes", "\xC3\xA9t\xE9\xFF", "\xC3\xA9t\xE9\xFF"},
        HostilePathCase{"Path64KiB", std::string(64 * KiB, 'p'), std::string(64 * KiB, 'p')},
        HostilePathCase{"Path1MiB", std::string(MiB, 'p'), std::string(MiB, 'p')}),
    [](const ::testing::TestParamInfo<HostilePathCase>& info) { return std::string(info.param.name); });

// A URL that cannot be fetched ends with the one error line of the step
// that refused it; the next transfer works.
struct HostileUrlCase {
    const char* name;
    std::function<std::string(const FixtureServer&)> url;
    std::string line;
};

class HostileUrl : public HostileInput, public ::testing::WithParamInterface<HostileUrlCase> {};

TEST_P(HostileUrl, EndsWithTheLineOfTheStepThatRefusedIt) {
    FixtureServer bystander(OkReply("must not be fetched"));
    ASSERT_TRUE(bystander.listening()) << bystander.failure();

    ASSERT_TRUE(Get(GetParam().url(bystander)));
    ASSERT_TRUE(WaitUntilIdle(std::chrono::milliseconds(30000)));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText(GetParam().line)});
    EXPECT_EQ(ReadText(), "");
    EXPECT_EQ(bystander.ConnectionCount(), 0u);
    ExpectANormalTransferAfterwards();
}

INSTANTIATE_TEST_SUITE_P(
    Urls, HostileUrl,
    ::testing::Values(
        HostileUrlCase{"Empty", [](const FixtureServer&) { return std::string(); },
                       "InternetConnect error 87\n"},
        HostileUrlCase{"FormatSequencesInHost",
                       [](const FixtureServer&) { return std::string("http://%s%n%x/"); },
                       "HttpSendRequest error 12007\n"},
        HostileUrlCase{"NonAsciiHost",
                       [](const FixtureServer&) { return std::string("http://h\xC3\xA9\xFF..invalid/"); },
                       "HttpSendRequest error 12007\n"},
        HostileUrlCase{"Host1MiB",
                       [](const FixtureServer&) { return "http://" + std::string(MiB, 'h') + "/"; },
                       "HttpSendRequest error 12007\n"}),
    [](const ::testing::TestParamInfo<HostileUrlCase>& info) { return std::string(info.param.name); });

// POST data goes out as it is, however large; the host's text ends at its
// first zero byte, so the bytes after it are never sent.
struct HostileDataCase {
    const char* name;
    std::string data;
    std::string sent;
};

class HostileData : public HostileInput, public ::testing::WithParamInterface<HostileDataCase> {};

TEST_P(HostileData, IsSentAsTheHostTextHoldsIt) {
    FixtureServer server(OkReply("posted"));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Post(server.Url("form"), GetParam().data));
    ASSERT_TRUE(WaitUntilIdle(std::chrono::milliseconds(60000)));

    RecordedRequest request = server.Request();
    ASSERT_TRUE(request.complete) << request.raw.substr(0, 200);
    EXPECT_EQ(request.requestLine, "POST /form HTTP/1.1");
    EXPECT_EQ(request.Header("Content-Length"), std::to_string(GetParam().sent.size()));
    EXPECT_TRUE(request.body == GetParam().sent) << "body of " << request.body.size() << " bytes";
    EXPECT_EQ(ReadText(), "posted");
    EXPECT_TRUE(BoxTexts().empty());
    ExpectANormalTransferAfterwards();
}

INSTANTIATE_TEST_SUITE_P(
    Data, HostileData,
    ::testing::Values(
        HostileDataCase{"Empty", "", ""},
        HostileDataCase{"FormatSequences", "a=%s%n%x&b=%p", "a=%s%n%x&b=%p"},
        HostileDataCase{"ZeroByteInside", std::string("before\0after", 12), "before"},
        HostileDataCase{"Data16MiB", PatternAt(0, 16 * MiB), PatternAt(0, 16 * MiB)}),
    [](const ::testing::TestParamInfo<HostileDataCase>& info) { return std::string(info.param.name); });
