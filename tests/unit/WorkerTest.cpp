#include "http/Worker.h"

#include <thread>

#include "FakeTest.h"
#include "platform/Platform.h"

namespace {

using Calls = std::vector<std::string>;

const Calls OpenAndConnect = {
    "InternetAttemptConnect(0)",
    "InternetOpenA(\"Ferrywright\", 0, null, null, 0)",
};

const Calls TimeOuts = {
    "InternetSetOptionA(request, 2, 60000)",
    "InternetSetOptionA(request, 5, 30000)",
    "InternetSetOptionA(request, 6, 30000)",
};

Calls Concat(Calls head, const Calls& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const Calls CloseAll = {"InternetCloseHandle(request)", "InternetCloseHandle(connection)",
                        "InternetCloseHandle(internet)"};

class WorkerTest : public FakeTest {
protected:
    TransferState state;
};

TEST_F(WorkerTest, GetMakesTheExactCallsAndCollectsTheBody) {
    Prepare(state, "http://example.com/dir/page?q=1");
    state.Body.Append("previous body", 13);
    ReadsReturn({std::string(4096, 'a'), "tail"});

    EXPECT_TRUE(RunRequest(state));

    EXPECT_EQ(Fake::Calls(), Concat(Concat(Concat(Concat(OpenAndConnect, {
        "InternetConnectA(internet, \"example.com\", 80, null, null, 3, 0, 0)",
        "HttpOpenRequestA(connection, \"GET\", \"dir/page?q=1\", null, \"example.com\", null, 0x80000000, 0)",
        }), TimeOuts), {
        "HttpSendRequestA(request, null, 0, null, 0)",
        "InternetReadFile(request, 4096)",
        "InternetReadFile(request, 4096)",
        "InternetReadFile(request, 4096)",
    }), CloseAll));
    EXPECT_EQ(state.Body.ToString(), std::string(4096, 'a') + "tail");
    EXPECT_EQ(state.ErrorText, "");
    EXPECT_EQ(WorkerMain(&state), 0u);
}

TEST_F(WorkerTest, PostSendsTheHeaderAndTheBodyUnchanged) {
    Prepare(state, "h/form", "POST", "a=1&b=%20+\xe6\x97\xa5");
    EXPECT_TRUE(RunRequest(state));
    Calls calls = Fake::Calls();
    EXPECT_EQ(calls[7],
              "HttpSendRequestA(request, \"Content-Type: application/x-www-form-urlencoded\", 47, "
              "\"a=1&b=%20+\xe6\x97\xa5\", 13)");
}

TEST_F(WorkerTest, PostWithoutDataSendsTheHeaderAndNoBody) {
    Prepare(state, "h/form", "POST", "");
    EXPECT_TRUE(RunRequest(state));
    EXPECT_EQ(Fake::Calls()[7],
              "HttpSendRequestA(request, \"Content-Type: application/x-www-form-urlencoded\", 47, null, 0)");
}

TEST_F(WorkerTest, OnlyTheExactVerbPostGetsTheHeader) {
    Prepare(state, "h/x", "post", "data");
    EXPECT_TRUE(RunRequest(state));
    EXPECT_EQ(Fake::Calls()[7], "HttpSendRequestA(request, null, 0, \"data\", 4)");
}

TEST_F(WorkerTest, HttpsUsesTlsOnPort443AndAnExplicitPortIsHonoured) {
    Prepare(state, "https://secure.example/x");
    EXPECT_TRUE(RunRequest(state));
    EXPECT_EQ(Fake::Calls()[2], "InternetConnectA(internet, \"secure.example\", 443, null, null, 3, 0, 0)");
    EXPECT_EQ(Fake::Calls()[3],
              "HttpOpenRequestA(connection, \"GET\", \"x\", null, \"secure.example\", null, 0x80800000, 0)");

    Fake::Reset();
    Prepare(state, "http://127.0.0.1:8080/");
    EXPECT_TRUE(RunRequest(state));
    EXPECT_EQ(Fake::Calls()[2], "InternetConnectA(internet, \"127.0.0.1\", 8080, null, null, 3, 0, 0)");
    EXPECT_EQ(Fake::Calls()[3],
              "HttpOpenRequestA(connection, \"GET\", \"\", null, \"127.0.0.1:8080\", null, 0x80000000, 0)");
}

// Each failing step appends its one line, closes what it opened in reverse
// order and leaves Body as the previous run left it.
struct FailureCase {
    const char* Name;
    void (*Arrange)(Fake::Script&);
    const char* Line;
    Calls Tail;  // the calls after the failing one
};

class WorkerFailure : public FakeTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(WorkerFailure, AppendsOneLineAndClosesInReverse) {
    const FailureCase& c = GetParam();
    TransferState state;
    Prepare(state, "http://h/x");
    state.Body.Append("previous body", 13);
    Fake::Current().LastError = 12029;
    c.Arrange(Fake::Current());

    EXPECT_FALSE(RunRequest(state));
    EXPECT_EQ(state.ErrorText, c.Line);
    EXPECT_EQ(state.Body.ToString(), "previous body");
    Calls calls = Fake::Calls();
    ASSERT_GE(calls.size(), c.Tail.size());
    EXPECT_EQ(Calls(calls.end() - c.Tail.size(), calls.end()), c.Tail);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WorkerFailure,
    ::testing::Values(
        FailureCase{"AttemptConnect",
                    [](Fake::Script& s) { s.AttemptConnectResults[0] = 5; s.AttemptConnectResults[1] = 7; },
                    "InternetAttemptConnect error 7\n",
                    {"InternetAttemptConnect(0)", "InternetAttemptConnect(0)"}},
        FailureCase{"AttemptConnectRecovers",
                    [](Fake::Script& s) { s.AttemptConnectResults[0] = 5; },
                    "InternetAttemptConnect error 0\n",
                    {"InternetAttemptConnect(0)", "InternetAttemptConnect(0)"}},
        FailureCase{"Open", [](Fake::Script& s) { s.OpenFails = true; }, "InternetOpen error 12029\n",
                    {"InternetOpenA(\"Ferrywright\", 0, null, null, 0)"}},
        FailureCase{"Connect", [](Fake::Script& s) { s.ConnectFails = true; },
                    "InternetConnect error 12029\n",
                    {"InternetConnectA(internet, \"h\", 80, null, null, 3, 0, 0)",
                     "InternetCloseHandle(internet)"}},
        FailureCase{"OpenRequest", [](Fake::Script& s) { s.OpenRequestFails = true; },
                    "HttpOpenRequest error 12029\n",
                    {"InternetCloseHandle(connection)", "InternetCloseHandle(internet)"}},
        FailureCase{"Send", [](Fake::Script& s) { s.SendFails = true; }, "HttpSendRequest error 12029\n",
                    {"HttpSendRequestA(request, null, 0, null, 0)", "InternetCloseHandle(request)",
                     "InternetCloseHandle(connection)", "InternetCloseHandle(internet)"}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.Name); });

TEST_F(WorkerTest, TheThreadExitCodeTellsAFailedRun) {
    Prepare(state, "h/x");
    Fake::Current().SendFails = true;
    EXPECT_EQ(WorkerMain(&state), 0xFFFFFFFFu);
}

TEST_F(WorkerTest, AHostWithAControlByteOrSpaceNeverConnects) {
    for (const char* url : {"http://bad host/x", "http://h\r\nX: 1/x", "http://h\x01/"}) {
        Fake::Reset();
        state.ErrorText.clear();
        Prepare(state, url);
        EXPECT_FALSE(RunRequest(state));
        EXPECT_EQ(state.ErrorText, "InternetConnect error 12005\n");
        Calls calls = Fake::Calls();
        EXPECT_EQ(calls, Concat(OpenAndConnect, {"InternetCloseHandle(internet)"})) << url;
    }
}

TEST_F(WorkerTest, AFailedReadEndsLikeTheEndOfTheBody) {
    Prepare(state, "h/x");
    Fake::Current().Reads = {{"part", false}, {"", true}, {"never", false}};
    EXPECT_TRUE(RunRequest(state));
    EXPECT_EQ(state.Body.ToString(), "part");
    EXPECT_EQ(state.ErrorText, "");
}

// Wine's InternetReadFile fills its whole buffer before it returns; when the
// receive limit runs out part-way, it fails with the bytes it had.
TEST_F(WorkerTest, AReadThatFailsPartWayKeepsWhatItGot) {
    Prepare(state, "h/x");
    Fake::Current().Reads = {{"whole", false}, {"abc", true}, {"never", false}};
    EXPECT_TRUE(RunRequest(state));
    EXPECT_EQ(state.Body.ToString(), "wholeabc");
    EXPECT_EQ(state.ErrorText, "");
}

TEST_F(WorkerTest, AnEmptyResponseEmptiesThePreviousBody) {
    Prepare(state, "h/x");
    state.Body.Append("previous body", 13);
    EXPECT_TRUE(RunRequest(state));
    EXPECT_EQ(state.Body.ToString(), "");
}

TEST_F(WorkerTest, TheStopTestComesBeforeEveryRead) {
    Prepare(state, "h/x");
    state.StopEvent = Platform::CreateStopEvent();
    ReadsReturn({"a", "b"});
    EXPECT_TRUE(RunRequest(state));
    Calls calls = Fake::Calls(true);
    Calls loop(calls.begin() + 9, calls.end() - 3);
    EXPECT_EQ(loop, (Calls{"TestStopEvent(stop)=clear", "InternetReadFile(request, 4096)",
                           "TestStopEvent(stop)=clear", "InternetReadFile(request, 4096)",
                           "TestStopEvent(stop)=clear", "InternetReadFile(request, 4096)"}));
    Platform::CloseStopEvent(state.StopEvent);
}

TEST_F(WorkerTest, AStopBeforeTheFirstReadStillSendsThenEmptiesBody) {
    Prepare(state, "h/x");
    state.Body.Append("previous body", 13);
    state.StopEvent = Platform::CreateStopEvent();
    Platform::SignalEvent(state.StopEvent);
    ReadsReturn({"arrived already"});

    EXPECT_FALSE(RunRequest(state));
    EXPECT_EQ(state.ErrorText, "EventStop\n");
    EXPECT_EQ(state.Body.ToString(), "");
    Calls calls = Fake::Calls();
    EXPECT_EQ(calls[7], "HttpSendRequestA(request, null, 0, null, 0)");
    EXPECT_EQ(Calls(calls.begin() + 8, calls.end()), CloseAll);
    Platform::CloseStopEvent(state.StopEvent);
}

TEST_F(WorkerTest, AStopBetweenReadsKeepsTheBytesReadSoFar) {
    Prepare(state, "h/x");
    state.StopEvent = Platform::CreateStopEvent();
    ReadsReturn({std::string(4096, 'x'), "more"});
    Fake::HoldRead(1);
    std::thread worker([this] { EXPECT_FALSE(RunRequest(state)); });
    Fake::WaitUntilHeld();
    Platform::SignalEvent(state.StopEvent);
    Fake::Release();
    worker.join();
    // The read under way completes; the stop is seen before the next one.
    EXPECT_EQ(state.Body.ToString(), std::string(4096, 'x') + "more");
    EXPECT_EQ(state.ErrorText, "EventStop\n");
    Platform::CloseStopEvent(state.StopEvent);
}

TEST_F(WorkerTest, AFailureBeforeTheReadsLeavesTheStopSignalUnconsumed) {
    Prepare(state, "h/x");
    state.StopEvent = Platform::CreateStopEvent();
    Platform::SignalEvent(state.StopEvent);
    Fake::Current().SendFails = true;
    EXPECT_FALSE(RunRequest(state));
    EXPECT_EQ(state.ErrorText, "HttpSendRequest error 0\n");
    EXPECT_TRUE(Platform::TestStopEvent(state.StopEvent));
    Platform::CloseStopEvent(state.StopEvent);
}

}  // namespace
