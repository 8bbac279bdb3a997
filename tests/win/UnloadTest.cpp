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

TEST_F(Unload, RightAfterAStartShowsTheWorkersReport) {
    ASSERT_TRUE(Get("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/x"));
    {
        UnloadGuard guard(UnloadLimit);
        dll->Unload();
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText("HttpSendRequest error 12029\n")});
}
