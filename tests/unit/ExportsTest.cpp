#include "exports/Exports.h"

#include <thread>

#include "FakeTest.h"
#include "TestHostString.h"
#include "transfer/Library.h"
#include "transfer/Transfer.h"

namespace {

class ExportsTest : public FakeTest {
protected:
    void SetUp() override {
        FakeTest::SetUp();
        LoadLibraryState();
    }
    void TearDown() override {
        Fake::Release();
        UnloadLibraryState(false);
        FakeTest::TearDown();
    }
    static void AwaitEnd() {
        while (IsRun()) std::this_thread::yield();
    }
};

TEST_F(ExportsTest, BeforeAnyTransfer) {
    EXPECT_FALSE(IsRun());
    Stop();
    EXPECT_EQ(GetReadSize(), 0u);
    TestHostString target("untouched");
    EXPECT_TRUE(ReadString(&target));
    EXPECT_EQ(target.text(), "");
    EXPECT_EQ(target.sets, 1);
    TestHostString converted("untouched");
    EXPECT_TRUE(ReadStringUTF8ToSJIS(&converted));
    EXPECT_EQ(converted.text(), "");
    EXPECT_TRUE(Fake::Messages().empty());
    EXPECT_TRUE(Fake::Calls().empty());
}

TEST_F(ExportsTest, GetThenReadDeliversTheSameBodyEachTime) {
    ReadsReturn({"hello ", "world"});
    TestHostString url("http://h/x");
    ASSERT_TRUE(Get(&url));
    EXPECT_EQ(url.gets, 1);
    AwaitEnd();
    EXPECT_EQ(GetReadSize(), 11u);
    TestHostString first, second;
    EXPECT_TRUE(ReadString(&first));
    EXPECT_TRUE(ReadString(&second));
    EXPECT_EQ(first.text(), "hello world");
    EXPECT_EQ(second.text(), "hello world");
    EXPECT_TRUE(Fake::Messages().empty());
}

TEST_F(ExportsTest, PostAsksForTheDataFirstAndSendsItUpToItsNul) {
    std::vector<std::string> order;
    struct Recording final : HostString {
        Recording(std::vector<std::string>& order, const char* name, const char* text)
            : order(order), name(name), text(text) {}
        const char* GetText() override {
            order.push_back(name);
            return text;
        }
        void SetText(const char*) override {}
        std::vector<std::string>& order;
        const char* name;
        const char* text;
    };
    static const char data[] = "a=1\0hidden";
    Recording url(order, "url", "http://h/form");
    Recording body(order, "data", data);
    ASSERT_TRUE(Post(&url, &body));
    AwaitEnd();
    EXPECT_EQ(order, (std::vector<std::string>{"data", "url"}));
    EXPECT_EQ(Fake::Calls()[7],
              "HttpSendRequestA(request, \"Content-Type: application/x-www-form-urlencoded\", 47, \"a=1\", 3)");
}

TEST_F(ExportsTest, NullObjectsAreRefusedAndNullTextIsEmpty) {
    TestHostString url("http://h/x");
    EXPECT_FALSE(Get(nullptr));
    EXPECT_FALSE(Post(nullptr, &url));
    EXPECT_FALSE(Post(&url, nullptr));
    EXPECT_FALSE(ReadString(nullptr));
    EXPECT_FALSE(ReadStringUTF8ToSJIS(nullptr));
    EXPECT_TRUE(Fake::Calls().empty());

    TestHostString nullUrl("", true);
    ASSERT_TRUE(Get(&nullUrl));
    AwaitEnd();
    EXPECT_EQ(Fake::Calls()[2], "InternetConnectA(internet, \"\", 80, null, null, 3, 0, 0)");
    TestHostString nullData("", true);
    ASSERT_TRUE(Post(&url, &nullData));
    AwaitEnd();
    EXPECT_EQ(Fake::Calls().back(), "InternetCloseHandle(internet)");
}

TEST_F(ExportsTest, ReadingWhileTheWorkerRunsLeavesTheTargetAlone) {
    ReadsReturn({"body"});
    Fake::HoldRead(0);
    TestHostString url("http://h/x");
    ASSERT_TRUE(Get(&url));
    Fake::WaitUntilHeld();
    EXPECT_TRUE(IsRun());
    TestHostString target("mine");
    EXPECT_FALSE(ReadString(&target));
    EXPECT_FALSE(ReadStringUTF8ToSJIS(&target));
    EXPECT_EQ(target.text(), "mine");
    EXPECT_EQ(target.sets, 0);
    Fake::Release();
    AwaitEnd();
    EXPECT_TRUE(ReadString(&target));
    EXPECT_EQ(target.text(), "body");
}

TEST_F(ExportsTest, AZeroByteEndsTheTextButNotTheCount) {
    ReadsReturn({std::string("ab\0cd", 5)});
    TestHostString url("http://h/x");
    ASSERT_TRUE(Get(&url));
    AwaitEnd();
    EXPECT_EQ(GetReadSize(), 5u);
    TestHostString target;
    EXPECT_TRUE(ReadString(&target));
    EXPECT_EQ(target.text(), "ab");
}

TEST_F(ExportsTest, StopWhileReadingReportsEventStopAndKeepsTheBytes) {
    ReadsReturn({std::string(4096, 'x'), std::string(4096, 'y'), "never read"});
    Fake::HoldRead(1);
    TestHostString url("http://h/x");
    ASSERT_TRUE(Get(&url));
    Fake::WaitUntilHeld();
    Fake::ReleaseWhenSignalled();
    Stop();
    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{"Quillbarrow error\nEventStop\n"});
    EXPECT_FALSE(IsRun());
    EXPECT_EQ(GetReadSize(), 8192u);
    TestHostString target;
    EXPECT_TRUE(ReadString(&target));
    EXPECT_EQ(target.text(), std::string(4096, 'x') + std::string(4096, 'y'));
    EXPECT_EQ(Fake::Messages().size(), 1u);
}

// Whichever export comes first after the worker's failure shows it, once.
class FirstReporter : public ExportsTest, public ::testing::WithParamInterface<int> {};

TEST_P(FirstReporter, ShowsThePendingErrorOnce) {
    TestHostString url("http://h/x");
    ReadsReturn({"first body"});
    ASSERT_TRUE(Get(&url));
    AwaitEnd();
    Fake::Current().ConnectFails = true;
    Fake::Current().LastError = 12029;
    ASSERT_TRUE(Get(&url));
    while (WorkerRunning(LibraryState())) std::this_thread::yield();

    TestHostString target;
    switch (GetParam()) {
    case 0: EXPECT_FALSE(IsRun()); break;
    case 1: Stop(); break;
    case 2: EXPECT_EQ(GetReadSize(), 10u); break;
    case 3: EXPECT_TRUE(ReadString(&target)); break;
    case 4: EXPECT_TRUE(ReadStringUTF8ToSJIS(&target)); break;
    case 5: Fake::Current().ConnectFails = false; EXPECT_TRUE(Get(&url)); break;
    }
    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{"Quillbarrow error\nInternetConnect error 12029\n"});
    AwaitEnd();
    Stop();
    GetReadSize();
    EXPECT_EQ(Fake::Messages().size(), 1u);
    // A run that failed before sending leaves the previous body in place.
    if (GetParam() != 5) {
        EXPECT_TRUE(ReadString(&target));
        EXPECT_EQ(target.text(), "first body");
    }
}

INSTANTIATE_TEST_SUITE_P(Exports, FirstReporter, ::testing::Range(0, 6));

TEST_F(ExportsTest, UnloadStopsTheWorkerAndShowsItsReport) {
    ReadsReturn({std::string(4096, 'x'), "rest"});
    Fake::HoldRead(1);
    TestHostString url("http://h/x");
    ASSERT_TRUE(Get(&url));
    Fake::WaitUntilHeld();
    Fake::ReleaseWhenSignalled();
    UnloadLibraryState(false);
    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{"Quillbarrow error\nEventStop\n"});
    LoadLibraryState();
    EXPECT_EQ(GetReadSize(), 0u);
}

TEST_F(ExportsTest, AnUnloadThatMayNotShowStillStopsTheWorker) {
    ReadsReturn({std::string(4096, 'x'), "rest"});
    Fake::HoldRead(1);
    TestHostString url("http://h/x");
    ASSERT_TRUE(Get(&url));
    Fake::WaitUntilHeld();
    Fake::ReleaseWhenSignalled();
    UnloadLibraryState(false, false);
    EXPECT_TRUE(Fake::Messages().empty());
    LoadLibraryState();
    EXPECT_EQ(GetReadSize(), 0u);
    EXPECT_TRUE(Fake::Messages().empty());
}

}  // namespace
