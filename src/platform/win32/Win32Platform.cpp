// The Win32 back end: Kernel32, User32 and WinINet.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <new>

#include "platform/Platform.h"

// wininet.h maps these names to their A or W forms; here they name the
// back end's own functions.
#undef InternetOpen
#undef InternetConnect
#undef HttpOpenRequest
#undef HttpSendRequest

namespace Platform {

namespace {

struct WorkerStart {
    WorkerEntry Entry;
    void* Arg;
    HANDLE Done;
    HANDLE Running;  // set once the callback runs; null when nobody waits for it
};

// The reference to this library that the running worker holds during its
// set-up, or null. At most one worker runs at a time, and a start happens
// only once the previous worker's callback has returned.
std::atomic<HMODULE> SetUpReference{nullptr};

HMODULE ReferenceThisLibrary() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&SetUpReference), &module)) {
        return nullptr;
    }
    return module;
}

// Drops a reference on a pool thread, after this callback has returned: if
// it is the last one, the library unloads there, with none of its code left
// to run on that thread.
void CALLBACK ReleaseReference(PTP_CALLBACK_INSTANCE instance, void* context) {
    FreeLibraryWhenCallbackReturns(instance, static_cast<HMODULE>(context));
}

// Runs on a thread-pool thread. The pool signals Done only after this
// callback has returned, so once Done is set no instruction of the library
// is left to run on that thread: the library may then be unloaded even from
// inside its process-detach notification, where a thread handle could not
// be awaited (the exiting thread needs the loader lock).
//
// While the worker sets up its request it holds a reference to the library:
// a host that unloads the library then only drops its own reference, and the
// unload itself, which stops and awaits the worker under the loader lock,
// comes once the worker has reached its reads (EndWorkerSetUp) or ended. The
// pool sets Done before it drops a reference left for it here.
void CALLBACK RunWorker(PTP_CALLBACK_INSTANCE instance, void* context) {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(context));
    SetEventWhenCallbackReturns(instance, start->Done);
    if (start->Running != nullptr) ::SetEvent(start->Running);
    WorkerEntry entry = start->Entry;
    void* arg = start->Arg;
    start.reset();
    entry(arg);
    if (HMODULE module = SetUpReference.exchange(nullptr)) {
        FreeLibraryWhenCallbackReturns(instance, module);
    }
}

}  // namespace

// Returns as soon as the callback is queued: the reference the worker holds
// keeps the library loaded until the callback has run. Should no reference
// be had, the start waits until the callback runs instead, since a pool
// thread that is still starting up needs the loader lock for its
// thread-attach notifications and an unload could otherwise wait for a
// callback that cannot begin.
Handle StartWorker(WorkerEntry entry, void* arg) {
    HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (done == nullptr) return nullptr;
    HMODULE reference = ReferenceThisLibrary();
    HANDLE running = reference == nullptr ? ::CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
    std::unique_ptr<WorkerStart> start(new (std::nothrow) WorkerStart{entry, arg, done, running});
    SetUpReference.store(reference);
    bool started = start != nullptr && (reference != nullptr || running != nullptr) &&
                   ::TrySubmitThreadpoolCallback(RunWorker, start.get(), nullptr);
    if (started) {
        start.release();  // the callback owns it now
        if (running != nullptr) ::WaitForSingleObject(running, INFINITE);
    }
    if (running != nullptr) ::CloseHandle(running);
    if (!started) {
        SetUpReference.store(nullptr);
        if (reference != nullptr) ::FreeLibrary(reference);
        ::CloseHandle(done);
        return nullptr;
    }
    return done;
}

// If the reference cannot be handed to a pool callback, the worker keeps it
// until it ends.
void EndWorkerSetUp() {
    HMODULE module = SetUpReference.exchange(nullptr);
    if (module == nullptr) return;
    if (!::TrySubmitThreadpoolCallback(ReleaseReference, module, nullptr)) {
        SetUpReference.store(module);
    }
}

WaitResult Wait(Handle handle, std::uint32_t timeoutMs) {
    switch (::WaitForSingleObject(handle, timeoutMs)) {
    case WAIT_OBJECT_0:
        return WaitResult::Signalled;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Failed;
    }
}

void CloseHandle(Handle handle) { ::CloseHandle(handle); }

void ShowMessageBox(const char* text, const char* caption, std::uint32_t style) {
    ::MessageBoxA(nullptr, text, caption, style);
}

std::uint32_t InternetAttemptConnect(std::uint32_t reserved) {
    return ::InternetAttemptConnect(reserved);
}

Handle InternetOpen(const char* agent, std::uint32_t accessType, const char* proxy,
                    const char* proxyBypass, std::uint32_t flags) {
    return ::InternetOpenA(agent, accessType, proxy, proxyBypass, flags);
}

bool InternetSetTimeout(Handle internet, std::uint32_t option, std::uint32_t milliseconds) {
    DWORD value = milliseconds;
    return ::InternetSetOptionA(internet, option, &value, sizeof value) != FALSE;
}

Handle InternetConnect(Handle internet, const char* server, std::uint16_t port, const char* user,
                       const char* password, std::uint32_t service, std::uint32_t flags,
                       std::uintptr_t context) {
    return ::InternetConnectA(internet, server, port, user, password, service, flags, context);
}

Handle HttpOpenRequest(Handle connection, const char* verb, const char* object,
                       const char* version, const char* referrer, const char** acceptTypes,
                       std::uint32_t flags, std::uintptr_t context) {
    return ::HttpOpenRequestA(connection, verb, object, version, referrer, acceptTypes, flags,
                              context);
}

bool HttpSendRequest(Handle request, const char* headers, std::uint32_t headersLength,
                     const void* optional, std::uint32_t optionalLength) {
    return ::HttpSendRequestA(request, headers, headersLength, const_cast<void*>(optional),
                              optionalLength) != FALSE;
}

bool InternetReadFile(Handle request, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    DWORD got = 0;
    BOOL ok = ::InternetReadFile(request, buffer, toRead, &got);
    *read = got;
    return ok != FALSE;
}

bool InternetCloseHandle(Handle internet) { return ::InternetCloseHandle(internet) != FALSE; }

std::uint32_t GetLastError() { return ::GetLastError(); }

int MultiByteToWideChar(std::uint32_t codePage, std::uint32_t flags, const char* in, int inLength,
                        char16_t* out, int outLength) {
    return ::MultiByteToWideChar(codePage, flags, in, inLength, reinterpret_cast<wchar_t*>(out),
                                 outLength);
}

int WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags, const char16_t* in,
                        int inLength, char* out, int outLength, const char* defaultChar,
                        int* usedDefaultChar) {
    // Where the ANSI code page is UTF-8 every character has its bytes, and
    // Windows refuses a default character for that code page outright.
    if (codePage == CP_ACP && ::GetACP() == CP_UTF8) {
        defaultChar = nullptr;
        usedDefaultChar = nullptr;
    }
    return ::WideCharToMultiByte(codePage, flags, reinterpret_cast<const wchar_t*>(in), inLength,
                                 out, outLength, defaultChar, usedDefaultChar);
}

}  // namespace Platform
