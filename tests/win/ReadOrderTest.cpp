// IsRun, GetReadSize and the read exports, called in the intended order and
// out of it.
#include "FixtureServer.h"
#include "Gate.h"
#include "LibraryTest.h"

class ReadOrder : public LibraryTest {};

TEST_F(ReadOrder, BeforeAnyTransferNothingRunsAndTheBodyIsEmpty) {
    EXPECT_FALSE(dll->IsRun());
    EXPECT_EQ(dll->GetReadSize(), 0u);

    CountingHostString plain("stale");
    EXPECT_TRUE(dll->ReadString(&plain));
    EXPECT_EQ(plain.text(), "");
    EXPECT_EQ(plain.sets(), 1);
    EXPECT_EQ(plain.gets(), 0);

    CountingHostString converted("stale");
    EXPECT_TRUE(dll->ReadStringUTF8ToSJIS(&converted));
    EXPECT_EQ(converted.text(), "");
    EXPECT_EQ(converted.sets(), 1);

    dll->Stop();
    EXPECT_FALSE(dll->IsRun());
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ReadOrder, WhileTheWorkerRunsReadsRefuseAndLeaveTheTargetAlone) {
    // Two full 4096-byte reads arrive, then the server holds the rest.
    const std::string body = PatternBytes(3 * 4096 + 100);
    Gate release;
    FixtureServer server(ReplyScript()
                             .Send(SizedHead(200, "OK", body.size()) + body.substr(0, 2 * 4096))
                             .HoldUntil(release)
                             .Send(body.substr(2 * 4096)));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("held")));
    ASSERT_TRUE(WaitForReadSize(2 * 4096));

    // GetReadSize answers at once with what has arrived.
    EXPECT_EQ(dll->GetReadSize(), 2u * 4096);
    EXPECT_TRUE(dll->IsRun());
    CountingHostString target("untouched");
    EXPECT_FALSE(dll->ReadString(&target));
    EXPECT_FALSE(dll->ReadStringUTF8ToSJIS(&target));
    EXPECT_EQ(target.text(), "untouched");
    EXPECT_EQ(target.sets(), 0);
    EXPECT_EQ(target.gets(), 0);

    release.Open();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(dll->GetReadSize(), body.size());
    EXPECT_EQ(ReadText(), body);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ReadOrder, ThePreviousBodyCountsUntilTheNewRequestHasBeenSent) {
    const std::string first = "the first body";
    const std::string second = "second";
    Gate answer;
    FixtureServer firstServer(OkReply(first));
    FixtureServer secondServer(
        ReplyScript().HoldUntil(answer).Send(SizedHead(200, "OK", second.size()) + second));
    ASSERT_TRUE(firstServer.listening() && secondServer.listening());

    ASSERT_TRUE(Get(firstServer.Url("one")));
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_TRUE(Get(secondServer.Url("two")));
    // The request is out but no response has come: the send has not finished.
    ASSERT_TRUE(secondServer.WaitForRequests(1));
    EXPECT_TRUE(dll->IsRun());
    EXPECT_EQ(dll->GetReadSize(), first.size());

    answer.Open();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(dll->GetReadSize(), second.size());
    EXPECT_EQ(ReadText(), second);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ReadOrder, ReadsRepeatTheSameTextAndIsRunStaysFalse) {
    const std::string body = "same text every time";
    FixtureServer server(OkReply(body));
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("again")));
    ASSERT_TRUE(WaitUntilIdle());

    EXPECT_EQ(ReadText(), body);
    EXPECT_EQ(ReadText(), body);
    EXPECT_EQ(ReadAnsiText(), body);  // ASCII is the same in every code page
    EXPECT_FALSE(dll->IsRun());
    EXPECT_FALSE(dll->IsRun());
    EXPECT_EQ(dll->GetReadSize(), body.size());
    EXPECT_EQ(ReadText(), body);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ReadOrder, TheSameUrlAgainFetchesAFreshBodyThatReplacesTheOld) {
    const std::string first = "a rather longer first body";
    const std::string second = "short";
    FixtureServer server({OkReply(first), OkReply(second)});
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("same")));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(ReadText(), first);
    ASSERT_TRUE(Get(server.Url("same")));
    ASSERT_TRUE(WaitUntilIdle());

    EXPECT_EQ(server.ConnectionCount(), 2u);
    EXPECT_EQ(server.Request(1).requestLine, "GET /same HTTP/1.1");
    EXPECT_EQ(dll->GetReadSize(), second.size());
    EXPECT_EQ(ReadText(), second);
    EXPECT_TRUE(BoxTexts().empty());
}
