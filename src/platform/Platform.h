// The operating-system services the library needs, as plain functions.
// One back end per folder beside this header implements them: win32/ makes
// the real Kernel32, User32 and WinINet calls; fake/ is a scriptable double
// for native unit tests. The signatures mirror the Win32 calls closely so
// that the core decides every argument and a double can check it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Platform {

using Handle = void*;  // kernel object or WinINet handle; null means none

enum class WaitResult { Signalled, TimedOut, Failed };
constexpr std::uint32_t WaitForever = 0xFFFFFFFFu;

// Worker: runs entry(arg) once on a thread of its own. The handle becomes
// signalled only after entry has returned and no code of the library runs
// on that thread any more, so it may be awaited while the library unloads.
using WorkerEntry = std::uint32_t (*)(void* arg);
Handle StartWorker(WorkerEntry entry, void* arg);

// Called by the worker once its request has been sent, before its first
// read. Until then the worker may need what an unload holds (on Windows the
// loader lock, for modules and threads that WinINet brings up), so the
// library is kept loaded for it; from here on it only reads and closes, and
// an unload may stop and await it.
void EndWorkerSetUp();

// Stop signal: an unnamed auto-reset event, created non-signalled, that one
// thread raises and another tests. Its handle goes only to these four
// functions. The test never waits, and each raise is consumed by the one
// test that sees it; the worker makes it before every read, so it must be
// cheap (no kernel call while nothing has been raised).
Handle CreateStopEvent();
bool SignalEvent(Handle stop);
bool TestStopEvent(Handle stop);
void CloseStopEvent(Handle stop);

// Worker handles.
WaitResult Wait(Handle handle, std::uint32_t timeoutMs);
void CloseHandle(Handle handle);

// Memory for a block that grows in place: address space reserved whole and
// committed from its start as the block fills, so that only what is used
// counts against the process. Reserve gives null when the space cannot be
// had; Commit makes [base, base + bytes) usable (committing again what is
// committed already is harmless); Release frees the whole reservation.
void* ReserveMemory(std::size_t bytes);
bool CommitMemory(void* base, std::size_t bytes);
void ReleaseMemory(void* base);

// Modal message box without owner window; returns once it is dismissed.
void ShowMessageBox(const char* text, const char* caption, std::uint32_t style);

// WinINet, synchronous.
std::uint32_t InternetAttemptConnect(std::uint32_t reserved);
Handle InternetOpen(const char* agent, std::uint32_t accessType, const char* proxy,
                    const char* proxyBypass, std::uint32_t flags);
bool InternetSetTimeout(Handle internet, std::uint32_t option, std::uint32_t milliseconds);
Handle InternetConnect(Handle internet, const char* server, std::uint16_t port,
                       const char* user, const char* password, std::uint32_t service,
                       std::uint32_t flags, std::uintptr_t context);
Handle HttpOpenRequest(Handle connection, const char* verb, const char* object,
                       const char* version, const char* referrer, const char** acceptTypes,
                       std::uint32_t flags, std::uintptr_t context);
bool HttpSendRequest(Handle request, const char* headers, std::uint32_t headersLength,
                     const void* optional, std::uint32_t optionalLength);
bool InternetReadFile(Handle request, void* buffer, std::uint32_t toRead, std::uint32_t* read);
bool InternetCloseHandle(Handle internet);
std::uint32_t GetLastError();

// Code-page conversion, with the argument meanings of MultiByteToWideChar and
// WideCharToMultiByte; UTF-16 units are char16_t on every platform.
int MultiByteToWideChar(std::uint32_t codePage, std::uint32_t flags, const char* in, int inLength,
                        char16_t* out, int outLength);
int WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags, const char16_t* in,
                        int inLength, char* out, int outLength, const char* defaultChar,
                        int* usedDefaultChar);

}  // namespace Platform
