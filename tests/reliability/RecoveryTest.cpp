#include "RecoveryTest.h"

#include "FixtureServer.h"

void RecoveryTest::ExpectANormalTransferAfterwards() {
    FixtureServer next(OkReply("next body"));
    ASSERT_TRUE(next.listening()) << next.failure();
    const std::size_t boxes = catcher.Count();
    ASSERT_TRUE(Get(next.Url("next")));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(ReadText(), "next body");
    EXPECT_EQ(next.Request().requestLine, "GET /next HTTP/1.1");
    EXPECT_EQ(catcher.Count(), boxes);
}
