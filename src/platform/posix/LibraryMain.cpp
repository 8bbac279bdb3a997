// Load and unload of libquillbarrow.so.
//
// The constructor sets up libcurl, the message descriptor and the state,
// and registers OnProcessExit as an exit handler of this library
// (__cxa_atexit with its DSO handle, as atexit would; some sanitizer
// runtimes register a plain atexit for the whole process instead, which
// would call into the library after dlclose). The destructor runs both when the
// host calls dlclose and when the process exits; the two are told apart by
// the order glibc runs them in:
//   exit():  atexit handlers first (OnProcessExit, then later the ELF
//            destructors through _dl_fini);
//   dlclose: the library's ELF destructors first, then its atexit handlers
//            (__cxa_finalize for this library runs last in .fini_array).
// So the destructor sees ProcessExiting only at process exit.
//
// At dlclose a running worker is stopped and awaited, its report shown, the
// state freed and libcurl's global state released. At process exit the
// worker's HTTP calls are aborted so that it returns soon, and exit waits a
// bounded time for it to leave libcurl and OpenSSL before their own exit
// handlers (registered before ours, so run after it) tear them down; the
// state is then left to the end of the process and nothing is shown.
#include <curl/curl.h>

#include <atomic>
#include <chrono>

#include "platform/posix/BackEnd.h"
#include "transfer/Library.h"

extern "C" {
extern void* __dso_handle;
int __cxa_atexit(void (*function)(void*), void* argument, void* dso);
}

namespace {

constexpr std::chrono::seconds ExitWaitLimit{10};

std::atomic<bool> ProcessExiting{false};
std::atomic<bool> Unloaded{false};

void OnProcessExit(void*) {
    if (Unloaded) return;  // run by dlclose after the destructor: nothing to do
    ProcessExiting = true;
    PosixBackEnd::AbortTransfers();
    PosixBackEnd::AwaitWorkers(ExitWaitLimit);
}

__attribute__((constructor)) void LoadQuillbarrow() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    PosixBackEnd::ConfigureMessages();
    LoadLibraryState();
    __cxa_atexit(OnProcessExit, nullptr, &__dso_handle);
}

__attribute__((destructor)) void UnloadQuillbarrow() {
    bool exiting = ProcessExiting;
    UnloadLibraryState(exiting);
    Unloaded = true;
    if (!exiting) curl_global_cleanup();
}

}  // namespace
