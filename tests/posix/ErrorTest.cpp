// Failing steps: the error line the host is shown, once, and what the
// failure leaves of the previous body.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "support/LibraryTest.h"

namespace {

class ErrorTest : public LibraryTest {};

// A loopback port on which nothing listens: bound, never listened on.
class ClosedPort {
public:
    ClosedPort() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where);
        socklen_t length = sizeof where;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&where), &length);
        port_ = ntohs(where.sin_port);
    }
    ~ClosedPort() { close(fd_); }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

private:
    int fd_ = -1;
    unsigned short port_ = 0;
};

TEST_F(ErrorTest, FailedSendsShowTheirLineOnce) {
    ClosedPort closed;
    LoopbackServer silent({Reply()});  // reads the request, closes without answer
    struct Case {
        std::string url;
        std::string line;
    };
    // "name..invalid" fails inside the resolver without a query leaving
    // the machine.
    const Case cases[] = {
        {closed.Url(), "HttpSendRequest error 12029\n"},
        {"http://name..invalid/page", "HttpSendRequest error 12007\n"},
        {silent.Url("nothing"), "HttpSendRequest error 12152\n"},
        {"http://127.0.0.1:1x/", "HttpSendRequest error 12007\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        ClearMessages();
        ASSERT_TRUE(Get(c.url));
        ASSERT_TRUE(library->WaitUntilIdle());
        EXPECT_EQ(Messages(), ErrorBox(c.line));
        EXPECT_FALSE(library->IsRun());
        library->Stop();
        EXPECT_EQ(library->GetReadSize(), 0u);
        EXPECT_EQ(Messages(), ErrorBox(c.line));  // shown once only
    }
}

TEST_F(ErrorTest, PreviousBodySurvivesAFailedSend) {
    LoopbackServer server({OkReply("the first body")});
    Fetch(server.Url("first"));
    ASSERT_EQ(library->Body(), "the first body");

    ClosedPort closed;
    ASSERT_TRUE(Get(closed.Url()));
    // Stop waits for the worker, whose connect fails on its own.
    library->Stop();
    EXPECT_EQ(Messages(), ErrorBox("HttpSendRequest error 12029\n"));
    EXPECT_EQ(library->GetReadSize(), 14u);
    EXPECT_EQ(library->Body(), "the first body");
}

// Get shows the report of the transfer before it, before it returns.
TEST_F(ErrorTest, NextStartShowsThePendingReportFirst) {
    ClosedPort closed;
    LoopbackServer server({OkReply("second")});
    ASSERT_TRUE(Get(closed.Url()));
    ASSERT_TRUE(Get(server.Url("next")));
    EXPECT_EQ(Messages(), ErrorBox("HttpSendRequest error 12029\n"));
    ASSERT_TRUE(library->WaitUntilIdle());
    EXPECT_EQ(library->Body(), "second");
    EXPECT_EQ(Messages(), ErrorBox("HttpSendRequest error 12029\n"));
}

}  // namespace
