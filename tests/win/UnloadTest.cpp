// The library's unload as the export that finishes a transfer: it stops and
// awaits the worker and shows a pending report. Unloading happens under the
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

// Right after a start the worker is still in its first WinINet steps (here
// a refused connect); the unload should wait for them and drop the report.
// Known defect, kept visible: under Wine 8 this unload deadlocks in most
// runs, because one of those steps needs the loader lock that the unload
// holds. Run it with --gtest_also_run_disabled_tests.
TEST_F(Unload, DISABLED_RightAfterAStartAwaitsTheWorker) {
    ASSERT_TRUE(Get("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/x"));
    {
        UnloadGuard guard(UnloadLimit);
        dll->Unload();
    }
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
