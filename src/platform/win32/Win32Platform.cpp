// The Win32 back end: Kernel32, User32 and WinINet.
#include <windows.h>
#include <wininet.h>

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
    HANDLE Running;
};

// Runs on a thread-pool thread. The pool signals Done only after this
// callback has returned, so once Done is set no instruction of the library
// is left to run on that thread: the library may then be unloaded even from
// inside its process-detach notification, where a thread handle could not
// be awaited (the exiting thread needs the loader lock).
void CALLBACK RunWorker(PTP_CALLBACK_INSTANCE instance, void* context) {
    auto* start = static_cast<WorkerStart*>(context);
    WorkerEntry entry = start->Entry;
    void* arg = start->Arg;
    SetEventWhenCallbackReturns(instance, start->Done);
    ::SetEvent(start->Running);
    entry(arg);
}

}  // namespace

// Returns once the callback runs. A pool thread that is still starting up
// needs the loader lock for its thread-attach notifications, so an unload
// right after a start could otherwise wait for a callback that cannot begin.
Handle StartWorker(WorkerEntry entry, void* arg) {
    HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE running = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WorkerStart start{entry, arg, done, running};
    bool started = done != nullptr && running != nullptr &&
                   ::TrySubmitThreadpoolCallback(RunWorker, &start, nullptr);
    if (started) ::WaitForSingleObject(running, INFINITE);
    if (running != nullptr) ::CloseHandle(running);
    if (!started) {
        if (done != nullptr) ::CloseHandle(done);
        return nullptr;
    }
    return done;
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
