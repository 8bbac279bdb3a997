// GetReadSize reads Body's length and takes ErrorText while the worker grows
// them; under ThreadSanitizer this shows whether those accesses are guarded.
#include "exports/Exports.h"

#include "FakeTest.h"
#include "TestHostString.h"
#include "transfer/Library.h"

namespace {

class ConcurrencyTest : public FakeTest {};

TEST_F(ConcurrencyTest, GetReadSizeOnlyGrowsWhileTheBodyArrives) {
    LoadLibraryState();
    // Many small reads keep the worker appending while the host polls.
    ReadsReturn(std::vector<std::string>(20000, std::string(64, 'z')));
    TestHostString url("http://h/x");
    ASSERT_TRUE(Get(&url));
    std::uint32_t last = 0;
    bool running = true;
    while (running) {
        running = IsRun();
        std::uint32_t now = GetReadSize();
        EXPECT_GE(now, last);
        last = now;
    }
    EXPECT_EQ(last, 20000u * 64u);
    UnloadLibraryState(false);
}

TEST_F(ConcurrencyTest, APendingErrorRaisedWhilePollingIsShownOnce) {
    LoadLibraryState();
    for (int round = 0; round < 50; ++round) {
        Fake::Current().SendFails = true;
        TestHostString url("http://h/x");
        ASSERT_TRUE(Get(&url));
        while (IsRun()) GetReadSize();
    }
    EXPECT_EQ(Fake::Messages().size(), 50u);
    for (const std::string& text : Fake::Messages()) EXPECT_EQ(text, "Quillbarrow error\nHttpSendRequest error 0\n");
    UnloadLibraryState(false);
}

}  // namespace
