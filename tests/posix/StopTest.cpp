// Stopping: what is kept, what is shown, and a start while one runs.
#include <future>
#include <string>

#include "support/Gate.h"
#include "support/LibraryTest.h"

namespace {

class StopTest : public LibraryTest {};

// The server streams for as long as the client stays, so only a stop ends
// the transfer, and the worker always comes back from its read to see it.
TEST_F(StopTest, StopWhileReadingKeepsTheBytesAndShowsEventStop) {
    LoopbackServer server({EndlessReply()});
    ASSERT_TRUE(Get(server.Url("endless")));
    ASSERT_TRUE(library->WaitForBytes(20000));
    EXPECT_TRUE(library->IsRun());
    EXPECT_EQ(Messages(), "");

    library->Stop();
    EXPECT_EQ(Messages(), ErrorBox("EventStop\n"));
    EXPECT_FALSE(library->IsRun());
    std::uint32_t kept = library->GetReadSize();
    EXPECT_GE(kept, 20000u);
    std::string body = library->Body();
    EXPECT_EQ(body.size(), kept);
    EXPECT_EQ(body, PatternBytes(0, body.size()));
    EXPECT_EQ(library->GetReadSize(), kept);
    EXPECT_TRUE(server.WaitUntilClientLeft(0));
    EXPECT_EQ(Messages(), ErrorBox("EventStop\n"));  // once
}

TEST_F(StopTest, ReadsAreRefusedWhileTheWorkerRuns) {
    LoopbackServer server({EndlessReply()});
    ASSERT_TRUE(Get(server.Url("endless")));
    ASSERT_TRUE(library->WaitForBytes(1));
    TestString plain("untouched"), converted("untouched");
    EXPECT_FALSE(library->ReadString(&plain));
    EXPECT_FALSE(library->ReadStringUTF8ToSJIS(&converted));
    EXPECT_EQ(plain.sets + converted.sets, 0);
    EXPECT_EQ(plain.text(), "untouched");
    EXPECT_TRUE(library->IsRun());
    library->Stop();
}

TEST_F(StopTest, StartWhileOneRunsStopsTheOldOneFirst) {
    LoopbackServer server({EndlessReply(), OkReply("the second body")});
    ASSERT_TRUE(Get(server.Url("first")));
    ASSERT_TRUE(library->WaitForBytes(1));

    ASSERT_TRUE(Get(server.Url("second")));
    EXPECT_EQ(Messages(), ErrorBox("EventStop\n"));  // shown before Get returned
    EXPECT_TRUE(server.WaitUntilClientLeft(0));
    ASSERT_TRUE(library->WaitUntilIdle());
    EXPECT_EQ(library->Body(), "the second body");
    EXPECT_EQ(server.Request(1), GetRequest("/second", server.HostPart()));
    EXPECT_EQ(Messages(), ErrorBox("EventStop\n"));
}

// A stop asked for while the request is on its way does not cut the send
// short: the send ends when the headers come, and the stop is seen before
// the first read.
TEST_F(StopTest, StopDuringTheSendLetsTheSendFinish) {
    Gate answer;
    LoopbackServer server({Reply()
                               .HoldUntil(answer)
                               .Send(ResponseHead(200, "OK", {"Content-Length: 1000000000000"}))
                               .StreamPattern(0)});
    ASSERT_TRUE(Get(server.Url("slow")));
    ASSERT_NE(server.Request(0), "");
    auto stopped = std::async(std::launch::async, [this] { library->Stop(); });
    // The worker sits in the send, so Stop cannot return yet.
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    answer.Open();
    stopped.get();
    EXPECT_EQ(Messages(), ErrorBox("EventStop\n"));
    std::string body = library->Body();
    EXPECT_EQ(body, PatternBytes(0, body.size()));
}

}  // namespace
