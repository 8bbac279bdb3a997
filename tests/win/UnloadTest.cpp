// The library's unload as the step that finishes a transfer: it stops and
// awaits the worker and drops a pending report. Unloading happens under the
// loader lock, so a wait there can deadlock; a guard thread turns a hang
// into a failure of this process (its own ctest entry) instead of a
// silent timeout.
#include <cstdio>
#include <thread>

#include "FixtureServer.h"
#include "Gate.h"
#include "LibraryTest.h"

namespace {

class UnloadGuard {
public:
    explicit UnloadGuard(std::chrono::milliseconds limit)
        : thread_([this, limit] {
              running_.Open();
              if (done_.WaitFor(limit)) return;
              std::fprintf(stderr, "\nFreeLibrary(Quillbarrow.dll) did not return within %lld ms:"
                                   " deadlock in the library's unload\n",
                           static_cast<long long>(limit.count()));
              std::fflush(stderr);
              ::TerminateProcess(::GetCurrentProcess(), 4);
          }) {
        // The guard must be past its own start-up before the loader lock is
        // taken, or it could not run at all.
        running_.WaitFor(std::chrono::milliseconds(10000));
    }
    ~UnloadGuard() {
        done_.Open();
        thread_.join();
    }

private:
    Gate running_;
    Gate done_;
    std::thread thread_;
};

constexpr std::chrono::milliseconds UnloadLimit{15000};

}  // namespace

class Unload : public LibraryTest {};

// Right after a start the worker is in its first WinINet steps (here a
// refused connect), some of which need the loader lock that an unload
// holds. The host's FreeLibrary returns at once; the library unloads once
// the worker has ended, and drops its report. Repeated, because whether a
// step needs the lock at that moment varies from run to run.
TEST_F(Unload, RightAfterAStartReturnsAndUnloadsOnceTheWorkerEnds) {
    const std::string url = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/x";
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (!dll) dll = std::make_unique<QuillbarrowDll>();
        ASSERT_TRUE(dll->loaded()) << dll->failure();
        ASSERT_TRUE(Get(url));
        {
            UnloadGuard guard(UnloadLimit);
            dll->Unload();
        }
        dll.reset();
        ASSERT_TRUE(QuillbarrowDll::WaitUntilUnmapped(UnloadLimit));
    }
    EXPECT_TRUE(BoxTexts().empty());
}

// An unload while the worker waits for the response to its request: the
// library stays loaded while the request is under way, and once the answer
// comes the worker is stopped before its first read and the library goes.
// The server sees the client leave long before the body is through.
TEST_F(Unload, DuringTheRequestStopsTheWorkerAtItsFirstRead) {
    const std::size_t bodySize = 4 << 20;
    Gate answer;
    FixtureServer server(ReplyScript()
                             .HoldUntil(answer)
                             .Send(SizedHead(200, "OK", bodySize))
                             .Trickle(PatternBytes(bodySize), 4096, std::chrono::milliseconds(20)));
    ASSERT_TRUE(server.listening()) << server.failure();
    ASSERT_TRUE(Get(server.Url("held")));
    ASSERT_TRUE(server.WaitForRequests(1));
    {
        UnloadGuard guard(UnloadLimit);
        dll->Unload();
    }
    dll.reset();
    ::Sleep(200);
    EXPECT_TRUE(QuillbarrowDll::Mapped()) << "unloaded while the worker was in its request";
    answer.Open();
    EXPECT_TRUE(QuillbarrowDll::WaitUntilUnmapped(UnloadLimit));
    EXPECT_TRUE(server.WaitForClientLeft(0, std::chrono::milliseconds(10000)))
        << "the worker went on reading after the unload";
    EXPECT_TRUE(BoxTexts().empty());
}

// Unloading while the worker reads a trickled body: the worker is asked to
// stop and awaited, the unload shows no box (under the loader lock a box can
// deadlock the host), and the library loads again with a fresh state and
// fetches.
TEST_F(Unload, WhileReadingStopsTheWorkerAndLoadsAgain) {
    const std::size_t bodySize = 1 << 20;
    FixtureServer trickling(ReplyScript()
                                .Send(SizedHead(200, "OK", bodySize))
                                .Send(PatternBytes(3 * 4096))
                                .Trickle(PatternBytes(bodySize - 3 * 4096), 4096,
                                         std::chrono::milliseconds(50)));
    ASSERT_TRUE(trickling.listening()) << trickling.failure();
    ASSERT_TRUE(Get(trickling.Url("big")));
    ASSERT_TRUE(WaitForReadSize(3 * 4096));
    {
        UnloadGuard guard(UnloadLimit);
        dll->Unload();
    }
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(trickling.WaitForClientLeft(0));

    dll = std::make_unique<QuillbarrowDll>();
    ASSERT_TRUE(dll->loaded()) << dll->failure();
    EXPECT_EQ(dll->GetReadSize(), 0u);
    FixtureServer server(OkReply("again"));
    ASSERT_TRUE(Get(server.Url("next")));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(ReadText(), "again");
    EXPECT_TRUE(BoxTexts().empty());
}
