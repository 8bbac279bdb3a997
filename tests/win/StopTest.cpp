// Stopping a transfer while it reads: by Stop or by a new transfer. (The
// unload's stop is in UnloadTest.cpp.)
#include <atomic>

#include "FixtureServer.h"
#include "Gate.h"
#include "LibraryTest.h"

namespace {

// A body far longer than any test waits for: `first` full blocks at once,
// then (after `hold`, if given) one block every few milliseconds, so that a
// stop always comes while blocks are still arriving.
constexpr std::size_t Block = 4096;
constexpr std::size_t EndlessBlocks = 1000;
const std::string EndlessBody = PatternBytes(EndlessBlocks * Block);

ReplyScript EndlessReply(std::size_t first, const Gate* hold = nullptr) {
    ReplyScript script;
    script.Send(SizedHead(200, "OK", EndlessBody.size()) + EndlessBody.substr(0, first * Block));
    if (hold != nullptr) script.HoldUntil(*hold);
    script.Trickle(EndlessBody.substr(first * Block), Block, std::chrono::milliseconds(5));
    return script;
}

const std::string StopBox = ErrorBoxText("EventStop\n");

}  // namespace

class Stop : public LibraryTest {
protected:
    // The bytes read before the stop are kept: a whole number of reads, a
    // prefix of what the server sent, and nothing is reported again.
    void ExpectTheBytesReadSoFar(std::uint32_t atLeast) {
        std::uint32_t size = dll->GetReadSize();
        EXPECT_GE(size, atLeast);
        EXPECT_LT(size, EndlessBody.size());
        EXPECT_EQ(size % Block, 0u);
        EXPECT_EQ(ReadText(), EndlessBody.substr(0, size));
        EXPECT_EQ(ReadText(), EndlessBody.substr(0, size));
    }
};

TEST_F(Stop, WhileReadingReportsEventStopOnceAndKeepsTheBytesRead) {
    Gate more;
    FixtureServer server(EndlessReply(3, &more));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("endless")));
    ASSERT_TRUE(WaitForReadSize(3 * Block));
    EXPECT_EQ(dll->GetReadSize(), 3 * Block);  // the server holds: nothing more came
    EXPECT_TRUE(dll->IsRun());
    EXPECT_TRUE(BoxTexts().empty());

    more.Open();
    dll->Stop();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{StopBox}) << "shown by Stop itself";

    EXPECT_FALSE(dll->IsRun());
    ExpectTheBytesReadSoFar(3 * Block);
    dll->Stop();
    EXPECT_EQ(catcher.Count(), 1u);
    EXPECT_TRUE(server.WaitForClientLeft(0));
}

TEST_F(Stop, AfterTheEndChangesNothing) {
    const std::string body = "complete";
    FixtureServer server(OkReply(body));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("done")));
    ASSERT_TRUE(server.WaitForClientLeft(0));
    dll->Stop();
    dll->Stop();

    EXPECT_FALSE(dll->IsRun());
    EXPECT_EQ(dll->GetReadSize(), body.size());
    EXPECT_EQ(ReadText(), body);
    EXPECT_TRUE(BoxTexts().empty());
}

// A transfer started while another runs: Get or Post.
struct RestartCase {
    const char* name;
    bool post;
};

class StopByNewTransfer : public LibraryTest, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(StopByNewTransfer, StopsAndReportsTheOldOneBeforeItStarts) {
    const std::string second = "the second transfer";
    FixtureServer oldServer(EndlessReply(1));
    FixtureServer newServer(OkReply(second));
    ASSERT_TRUE(oldServer.listening() && newServer.listening());
    std::atomic<int> newConnectionsAtBox{-1};
    catcher.OnShown([&](const ShownBox&) {
        newConnectionsAtBox = static_cast<int>(newServer.ConnectionCount());
    });

    ASSERT_TRUE(Get(oldServer.Url("old")));
    ASSERT_TRUE(WaitForReadSize(Block));
    const bool started = GetParam().post ? Post(newServer.Url("new"), "n=2")
                                         : Get(newServer.Url("new"));
    EXPECT_TRUE(started);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{StopBox}) << "shown before the call returned";
    EXPECT_EQ(newConnectionsAtBox, 0) << "the new transfer began before the old one was reported";
    EXPECT_TRUE(oldServer.WaitForClientLeft(0));

    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(newServer.Request().requestLine,
              std::string(GetParam().post ? "POST" : "GET") + " /new HTTP/1.1");
    EXPECT_EQ(dll->GetReadSize(), second.size());
    EXPECT_EQ(ReadText(), second);
    EXPECT_EQ(catcher.Count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Restart, StopByNewTransfer,
                         ::testing::Values(RestartCase{"Get", false}, RestartCase{"Post", true}),
                         [](const ::testing::TestParamInfo<RestartCase>& info) {
                             return std::string(info.param.name);
                         });
