// The stop signal on Windows: an auto-reset event with a flag beside it.
//
// The worker tests the signal before each 4096-byte read. A zero-time-out
// WaitForSingleObject is a kernel call each time (under Wine a round trip
// to wineserver, some 40 us), which for a 64 MiB body added most of a
// second. The flag is what the test looks at, with no kernel call while
// nothing has been raised; the event mirrors it for anything that would
// rather wait on a kernel object.
#include <windows.h>

#include <atomic>
#include <new>

#include "platform/Platform.h"

namespace Platform {

namespace {

struct StopSignal {
    HANDLE Event;
    std::atomic<bool> Raised{false};
};

StopSignal* AsSignal(Handle stop) { return static_cast<StopSignal*>(stop); }

}  // namespace

Handle CreateStopEvent() {
    HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) return nullptr;
    auto* signal = new (std::nothrow) StopSignal{event};
    if (signal == nullptr) ::CloseHandle(event);
    return signal;
}

// The flag first: a test that sees the raise before the event is set finds
// the flag set all the same.
bool SignalEvent(Handle stop) {
    StopSignal* signal = AsSignal(stop);
    signal->Raised.store(true, std::memory_order_release);
    return ::SetEvent(signal->Event) != FALSE;
}

// Exchanging the flag consumes the raise for this test alone; the event's
// own signal is then taken as well, so it does not outlive the raise.
bool TestStopEvent(Handle stop) {
    StopSignal* signal = AsSignal(stop);
    if (!signal->Raised.exchange(false, std::memory_order_acq_rel)) return false;
    ::WaitForSingleObject(signal->Event, 0);
    return true;
}

void CloseStopEvent(Handle stop) {
    StopSignal* signal = AsSignal(stop);
    ::CloseHandle(signal->Event);
    delete signal;
}

}  // namespace Platform
