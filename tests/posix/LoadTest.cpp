// Loading and unloading: dlclose with a transfer running, loading again,
// and a C host that exits with a transfer running.
#include <string>
#include <vector>

#include "support/Gate.h"
#include "support/LibraryTest.h"
#include "support/Subprocess.h"

namespace {

class LoadTest : public LibraryTest {};

// The C host's environment: no message descriptor, so its messages go to
// its standard error.
std::vector<std::string> CHostEnvironment() { return EnvironmentWithout({"QUILLBARROW_MESSAGE_FD"}); }

TEST_F(LoadTest, DlcloseWhileRunningStopsTheWorkerAndShowsItsReport) {
    LoopbackServer server({EndlessReply(), OkReply("after the reload")});
    ASSERT_TRUE(Get(server.Url("endless")));
    ASSERT_TRUE(library->WaitForBytes(1));

    EXPECT_TRUE(library->Unload());  // really gone: no code of it may run on
    EXPECT_EQ(Messages(), ErrorBox("EventStop\n"));
    EXPECT_TRUE(server.WaitUntilClientLeft(0));

    library = std::make_unique<Quillbarrow>();
    ASSERT_TRUE(library->Loaded());
    EXPECT_EQ(library->GetReadSize(), 0u);  // a fresh state
    Fetch(server.Url("again"));
    EXPECT_EQ(library->Body(), "after the reload");
    EXPECT_EQ(Messages(), ErrorBox("EventStop\n"));
}

TEST_F(LoadTest, DlcloseAfterAFailureShowsThePendingReport) {
    LoopbackServer server({Reply()});  // no answer at all
    ASSERT_TRUE(Get(server.Url("x")));
    ASSERT_NE(server.Request(0), "");
    EXPECT_TRUE(library->Unload());
    EXPECT_EQ(Messages(), ErrorBox("HttpSendRequest error 12152\n"));
}

// Messages reach a host without a message descriptor on standard error.
TEST_F(LoadTest, CHostFetchesABodyAndSeesMessagesOnStandardError) {
    LoopbackServer server({OkReply("body for the C host"), Reply()});
    ScratchFolder folder;
    const auto environment = CHostEnvironment();
    {
        Subprocess host({C_HOST, QUILLBARROW_LIBRARY, "fetch", server.Url("c")}, environment,
                        folder.Path("out"), folder.Path("err"));
        ASSERT_TRUE(host.Started());
        EXPECT_EQ(host.Wait(std::chrono::seconds(60)), 0);
        EXPECT_EQ(ReadWholeFile(folder.Path("out")), "body for the C host");
        EXPECT_EQ(ReadWholeFile(folder.Path("err")), "");
        EXPECT_EQ(server.Request(0), GetRequest("/c", server.HostPart()));
    }
    {
        Subprocess host({C_HOST, QUILLBARROW_LIBRARY, "fetch", server.Url("none")}, environment,
                        folder.Path("out"), folder.Path("err"));
        EXPECT_EQ(host.Wait(std::chrono::seconds(60)), 0);
        EXPECT_EQ(ReadWholeFile(folder.Path("out")), "");
        EXPECT_EQ(ReadWholeFile(folder.Path("err")), ErrorBox("HttpSendRequest error 12152\n"));
    }
}

// At exit the worker is cut off from the network and the process ends,
// neither hanging nor crashing, and nothing is shown.
TEST_F(LoadTest, ProcessExitWithATransferRunningEndsCleanly) {
    Gate never;
    struct Case {
        const char* name;
        Reply reply;
    };
    const Case cases[] = {
        {"reading", EndlessReply()},
        {"waiting for more body",
         Reply()
             .Send(ResponseHead(200, "OK", {"Content-Length: 100000"}) + "a first piece")
             .HoldUntil(never)},
    };
    ScratchFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server({c.reply});
        Subprocess host({C_HOST, QUILLBARROW_LIBRARY, "exit-running", server.Url("exit")},
                        CHostEnvironment(), folder.Path("out"),
                        folder.Path("err"));
        ASSERT_TRUE(host.Started());
        EXPECT_EQ(host.Wait(std::chrono::seconds(60)), 0);
        EXPECT_EQ(ReadWholeFile(folder.Path("out")), "running 1\n");
        EXPECT_EQ(ReadWholeFile(folder.Path("err")), "");
        EXPECT_TRUE(server.WaitUntilClientLeft(0));
    }
}

}  // namespace
