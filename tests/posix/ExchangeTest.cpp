// GET and POST end to end against the loopback server: the exact request
// bytes and the body as the host reads it back.
#include <string>
#include <vector>

#include "support/LibraryTest.h"

namespace {

class ExchangeTest : public LibraryTest {};

TEST_F(ExchangeTest, GetSendsTheRequestOfTheContractAndReadsTheBody) {
    LoopbackServer server({OkReply("hello, host")});
    Fetch(server.Url("dir/page.cgi?a=1&b=2"));

    EXPECT_EQ(server.Request(0), GetRequest("/dir/page.cgi?a=1&b=2", server.HostPart()));
    EXPECT_EQ(library->GetReadSize(), 11u);
    EXPECT_EQ(library->Body(), "hello, host");
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(server.Connections(), 1u);
}

TEST_F(ExchangeTest, PostSendsTheDataUnchangedAsAFormBody) {
    const std::string data = "name=%E6%97%A5&x=a+b&raw=\r\n;\"'";
    LoopbackServer server({OkReply("posted")});
    std::vector<std::string> calls;
    TestString url(server.Url("form"), "url", &calls), body(data, "data", &calls);
    ASSERT_TRUE(library->Post(&url, &body));
    ASSERT_TRUE(library->WaitUntilIdle());

    std::string host = server.HostPart();
    EXPECT_EQ(server.Request(0),
              "POST /form HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: Ferrywright\r\nReferer: " +
                  host +
                  "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\n"
                  "Content-Length: " + std::to_string(data.size()) + "\r\n\r\n" + data);
    EXPECT_EQ(calls, (std::vector<std::string>{"GetText data", "GetText url"}));
    EXPECT_EQ(library->Body(), "posted");
    EXPECT_EQ(Messages(), "");
}

TEST_F(ExchangeTest, PostWithEmptyDataSendsAZeroLength) {
    LoopbackServer server({OkReply("")});
    ASSERT_TRUE(Post(server.Url("empty"), ""));
    ASSERT_TRUE(library->WaitUntilIdle());
    std::string host = server.HostPart();
    EXPECT_EQ(server.Request(0),
              "POST /empty HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: Ferrywright\r\nReferer: " +
                  host +
                  "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\n"
                  "Content-Length: 0\r\n\r\n");
}

// The object reaches the server whole: bytes libcurl's URL parser would
// refuse or cut off go percent-encoded, everything else stays as written.
TEST_F(ExchangeTest, ObjectReachesTheServerWhole) {
    struct Case {
        std::string path;    // after "http://host:port/"
        std::string target;  // in the request line
    };
    const std::vector<Case> cases = {
        {"", "/"},
        {"a b", "/a%20b"},
        {"page#part?q", "/page%23part?q"},
        {"x/../y/./z", "/x/../y/./z"},
        {"%41%zz%", "/%41%zz%"},
        {"\xE6\x97\xA5?k=\xFF", "/%E6%97%A5?k=%FF"},
        {"tab\there", "/tab%09here"},
        {"/rooted", "/rooted"},  // the object has its slash: no second one
    };
    std::vector<Reply> replies;
    for (std::size_t i = 0; i < cases.size(); ++i) replies.push_back(OkReply("ok"));
    LoopbackServer server(replies);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("path " + cases[i].path);
        Fetch(server.Url(cases[i].path));
        EXPECT_EQ(server.Request(i), GetRequest(cases[i].target, server.HostPart()));
        EXPECT_EQ(library->Body(), "ok");
    }
    EXPECT_EQ(Messages(), "");
}

// The body as the host reads it, whatever shape the response had.
TEST_F(ExchangeTest, BodyShapes) {
    const std::string big = PatternBytes(0, 300000);
    struct Case {
        const char* name;
        Reply reply;
        std::string body;
    };
    std::vector<Case> cases;
    cases.push_back({"404 with a body", SizedReply(404, "Not Found", "no such page"), "no such page"});
    cases.push_back({"empty", OkReply(""), ""});
    cases.push_back({"chunked", ChunkedReply({"first ", "second ", std::string(5000, 'x')}),
                     "first second " + std::string(5000, 'x')});
    cases.push_back({"large", OkReply(big), big});
    cases.push_back({"trickled in small pieces",
                     Reply()
                         .Send(ResponseHead(200, "OK", {"Content-Length: 9000", "Connection: close"}))
                         .Trickle(PatternBytes(7, 9000), 333),
                     PatternBytes(7, 9000)});
    cases.push_back({"no length, ends at close",
                     Reply().Send(ResponseHead(200, "OK", {"Connection: close"}) + "until the end"),
                     "until the end"});
    cases.push_back({"closed mid-body",
                     Reply()
                         .Send(ResponseHead(200, "OK", {"Content-Length: 100", "Connection: close"}) +
                               "forty bytes of a hundred, then nothing.")
                         .Close(),
                     "forty bytes of a hundred, then nothing."});
    cases.push_back({"redirect not followed",
                     Reply().Send(ResponseHead(302, "Found",
                                               {"Location: /elsewhere", "Content-Length: 5",
                                                "Connection: close"}) +
                                  "moved"),
                     "moved"});
    std::vector<Reply> replies;
    for (const Case& c : cases) replies.push_back(c.reply);
    LoopbackServer server(replies);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        Fetch(server.Url("shape"));
        EXPECT_EQ(library->GetReadSize(), cases[i].body.size());
        EXPECT_EQ(library->Body(), cases[i].body);
    }
    EXPECT_EQ(server.Connections(), cases.size());  // the redirect was not followed
    EXPECT_EQ(Messages(), "");
}

TEST_F(ExchangeTest, ReadStringStopsAtAZeroByteWhileTheSizeCountsAll) {
    LoopbackServer server({OkReply(std::string("before\0after", 12))});
    Fetch(server.Url("zero"));
    EXPECT_EQ(library->GetReadSize(), 12u);
    EXPECT_EQ(library->Body(), "before");
}

TEST_F(ExchangeTest, PortInTheUrlIsTheOneConnectedTo) {
    LoopbackServer other({OkReply("wrong server")});
    LoopbackServer server({OkReply("right server"), OkReply("plain")});
    Fetch("HTTP://" + server.HostPart() + "/p");
    EXPECT_EQ(library->Body(), "right server");
    EXPECT_EQ(server.Request(0), GetRequest("/p", server.HostPart()));
    Fetch(server.HostPart() + "/no-scheme");  // no scheme: plain HTTP
    EXPECT_EQ(library->Body(), "plain");
    EXPECT_EQ(other.Connections(), 0u);
    EXPECT_EQ(Messages(), "");
}

// Without a port the library connects to 80; Host and Referer carry the
// server part as written, without a port.
TEST_F(ExchangeTest, DefaultPortIsEighty) {
    const std::string address = UniqueLoopbackAddress();
    LoopbackServer server({OkReply("port 80")}, address, 80);
    Fetch("http://" + address + "/index.html");
    EXPECT_EQ(library->Body(), "port 80");
    EXPECT_EQ(server.Request(0), GetRequest("/index.html", address));
}

TEST_F(ExchangeTest, ReadBeforeAnyTransferGivesTheEmptyText) {
    TestString target("old text");
    EXPECT_TRUE(library->ReadString(&target));
    EXPECT_EQ(target.text(), "");
    EXPECT_EQ(target.sets, 1);
    EXPECT_EQ(library->GetReadSize(), 0u);
}

}  // namespace
