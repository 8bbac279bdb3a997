#include "transfer/Transfer.h"

#include <thread>

#include "FakeTest.h"
#include "transfer/Messages.h"

namespace {

class TransferTest : public FakeTest {
protected:
    void TearDown() override {
        Fake::Release();
        FinishTransfer(state);
        FakeTest::TearDown();
    }
    TransferState state;
};

TEST_F(TransferTest, FinishingWithNothingStartedDoesNothing) {
    FinishTransfer(state);
    EXPECT_TRUE(Fake::Calls(true).empty());
    EXPECT_TRUE(Fake::Messages().empty());
    EXPECT_FALSE(WorkerRunning(state));
}

TEST_F(TransferTest, ARunningWorkerIsSignalledAwaitedAndReported) {
    ReadsReturn({"first", "second"});
    Fake::HoldRead(1);
    ASSERT_TRUE(StartTransfer(state, "http://h/x", "GET", ""));
    Fake::WaitUntilHeld();
    EXPECT_TRUE(WorkerRunning(state));

    // The held read ends only once the stop has been asked for, so the
    // finish must signal, wait, and then show the worker's line.
    Fake::ReleaseWhenSignalled();
    FinishTransfer(state);

    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{"Quillbarrow error\nEventStop\n"});
    EXPECT_EQ(state.WorkerThread, nullptr);
    EXPECT_EQ(state.StopEvent, nullptr);
    EXPECT_EQ(state.ErrorText, "");
    EXPECT_EQ(state.Body.ToString(), "firstsecond");
}

TEST_F(TransferTest, AnEndedWorkerIsNeitherSignalledNorAwaited) {
    ASSERT_TRUE(StartTransfer(state, "http://h/x", "GET", ""));
    while (WorkerRunning(state)) std::this_thread::yield();
    FinishTransfer(state);
    for (const std::string& call : Fake::Calls(true)) EXPECT_NE(call, "SignalEvent(stop)");
    EXPECT_TRUE(Fake::Messages().empty());
    EXPECT_EQ(state.WorkerThread, nullptr);
    EXPECT_EQ(state.StopEvent, nullptr);
}

TEST_F(TransferTest, StartFillsTheRequestFieldsAndKeepsBody) {
    state.Body.Append("previous body", 13);
    Fake::Current().SendFails = true;
    ASSERT_TRUE(StartTransfer(state, "http://srv:81/a/b", "POST", "data"));
    FinishTransfer(state);
    EXPECT_EQ(state.Host, "srv:81");
    EXPECT_EQ(state.Path, "a/b");
    EXPECT_EQ(state.Verb, "POST");
    EXPECT_EQ(state.PostData, "data");
    EXPECT_EQ(state.Body.ToString(), "previous body");
    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{"Quillbarrow error\nHttpSendRequest error 0\n"});

    ASSERT_TRUE(StartTransfer(state, "x", "GET", ""));
    FinishTransfer(state);
    EXPECT_EQ(state.PostData, "");
    EXPECT_EQ(state.Verb, "GET");
}

TEST_F(TransferTest, EventCreationFailureShowsItsMessage) {
    state.Body.Append("kept", 4);
    Fake::Current().CreateEventFails = true;
    EXPECT_FALSE(StartTransfer(state, "http://h/x", "GET", ""));
    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{EventCreationFailedText});
    EXPECT_EQ(Fake::MessageCaptions(), std::vector<std::string>{"Quillbarrow"});
    EXPECT_EQ(Fake::MessageStyles(), std::vector<std::uint32_t>{0x50000});
    EXPECT_EQ(state.Host, "h");
    EXPECT_EQ(state.WorkerThread, nullptr);
    EXPECT_EQ(state.Body.ToString(), "kept");
    EXPECT_EQ(std::string(EventCreationFailedText),
              "\x83\x43\x83\x78\x83\x93\x83\x67\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd");
}

TEST_F(TransferTest, ThreadCreationFailureKeepsTheEventUntilTheNextFinish) {
    Fake::Current().StartWorkerFails = true;
    EXPECT_FALSE(StartTransfer(state, "http://h/x", "GET", ""));
    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{ThreadCreationFailedText});
    EXPECT_NE(state.StopEvent, nullptr);
    EXPECT_FALSE(WorkerRunning(state));
    FinishTransfer(state);
    EXPECT_EQ(state.StopEvent, nullptr);
    EXPECT_EQ(Fake::Calls(true).back(), "CloseStopEvent(stop)");
    EXPECT_EQ(std::string(ThreadCreationFailedText),
              "\x83\x58\x83\x8c\x83\x62\x83\x68\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd");
}

TEST_F(TransferTest, APendingErrorIsShownOnceAndNeverAsAFormat) {
    state.ErrorText = "%s%n%x\n";
    ReportPendingError(state);
    ReportPendingError(state);
    FinishTransfer(state);
    EXPECT_EQ(Fake::Messages(), std::vector<std::string>{"Quillbarrow error\n%s%n%x\n"});
}

TEST_F(TransferTest, StartingAgainFinishesTheRunningTransferFirst) {
    ReadsReturn({"old"});
    Fake::HoldRead(0);
    ASSERT_TRUE(StartTransfer(state, "http://old/x", "GET", ""));
    Fake::WaitUntilHeld();
    std::vector<std::string> shownDuringStart;
    Fake::OnMessage([&](const std::string& text) { shownDuringStart.push_back(text); });
    Fake::ReleaseWhenSignalled();
    ASSERT_TRUE(StartTransfer(state, "http://new/y", "GET", ""));
    Fake::OnMessage(nullptr);
    EXPECT_EQ(shownDuringStart, std::vector<std::string>{"Quillbarrow error\nEventStop\n"});
    EXPECT_EQ(state.Host, "new");
    while (WorkerRunning(state)) std::this_thread::yield();
    FinishTransfer(state);
    EXPECT_EQ(Fake::Messages(), shownDuringStart);
}

}  // namespace

namespace {

// A message box runs a message loop: the host may start a transfer from a
// timer or window procedure while the report of the previous one is open.
class ReentryTest : public TransferTest {};

TEST_F(ReentryTest, ATransferStartedWhileAReportIsOpenIsKeptByFinish) {
    Fake::Current().SendFails = true;
    ASSERT_TRUE(StartTransfer(state, "http://first/x", "GET", ""));
    while (WorkerRunning(state)) std::this_thread::yield();

    bool nestedStarted = false;
    Fake::OnMessage([&](const std::string&) {
        Fake::OnMessage(nullptr);
        Fake::Current().SendFails = false;
        nestedStarted = StartTransfer(state, "http://nested/y", "GET", "");
    });
    FinishTransfer(state);
    ASSERT_TRUE(nestedStarted);
    // The nested transfer's handles are still the state's, and it runs on.
    EXPECT_NE(state.WorkerThread, nullptr);
    EXPECT_NE(state.StopEvent, nullptr);
    EXPECT_EQ(state.Host, "nested");
    while (WorkerRunning(state)) std::this_thread::yield();
    FinishTransfer(state);
    EXPECT_EQ(Fake::Messages().size(), 1u);
}

TEST_F(ReentryTest, AStartFinishesATransferStartedDuringItsOwnReport) {
    Fake::Current().SendFails = true;
    ASSERT_TRUE(StartTransfer(state, "http://first/x", "GET", ""));
    while (WorkerRunning(state)) std::this_thread::yield();

    Fake::OnMessage([&](const std::string&) {
        Fake::OnMessage(nullptr);
        Fake::Current().SendFails = false;
        Fake::Current().Reads = {{"nested body", false}};
        Fake::HoldRead(0);
        Fake::ReleaseWhenSignalled();
        EXPECT_TRUE(StartTransfer(state, "http://nested/y", "GET", ""));
    });
    // The outer start must not rewrite the request fields under the nested
    // worker: it finishes that one too before it fills them.
    ASSERT_TRUE(StartTransfer(state, "http://outer/z", "GET", ""));
    EXPECT_EQ(state.Host, "outer");
    while (WorkerRunning(state)) std::this_thread::yield();
    FinishTransfer(state);
    EXPECT_EQ(Fake::Messages(), (std::vector<std::string>{"Quillbarrow error\nHttpSendRequest error 0\n",
                                                          "Quillbarrow error\nEventStop\n"}));
}

}  // namespace
