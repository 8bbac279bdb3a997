// A body that outgrows the memory the process may have: the run ends with
// its handles closed, the bytes that arrived kept and one error line.
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "FakeTest.h"
#include "http/Worker.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

// Caps the address space a little above what the process uses now.
void LimitAddressSpace(std::size_t headroom) {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom;
    setrlimit(RLIMIT_AS, &limit);
}

int RunOutOfMemory() {
    Fake::Reset();
    Fake::Current().Reads = {{std::string(4096, 'm'), false}};
    Fake::Current().RepeatLastRead = true;
    TransferState state;
    state.Host = state.ServerName = "h";
    state.Verb = "GET";
    LimitAddressSpace(256u << 20);
    bool result = RunRequest(state);
    std::vector<std::string> calls = Fake::Calls();
    bool closed = calls.size() >= 3 && calls[calls.size() - 3] == "InternetCloseHandle(request)" &&
                  calls[calls.size() - 2] == "InternetCloseHandle(connection)" &&
                  calls.back() == "InternetCloseHandle(internet)";
    bool kept = state.Body.size() > (64u << 20) && state.Body.size() % 4096 == 0;
    return !result && closed && kept && state.ErrorText == "InternetReadFile error 8\n" ? 0 : 1;
}

TEST(WorkerMemoryDeathTest, ABodyThatCannotGrowEndsTheRunCleanly) {
    if (Sanitized) GTEST_SKIP() << "sanitizers reserve address space of their own";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(RunOutOfMemory()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
