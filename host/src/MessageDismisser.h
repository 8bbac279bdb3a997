// For runs without anyone at the screen: a WH_CBT hook on this thread
// that prints each message box as "[message] CAPTION: TEXT" to stderr and
// closes it with OK. The library shows its boxes on the thread that calls
// its exports, so a hook on the host thread sees all of them.
#pragma once

#include <windows.h>

class MessageDismisser {
public:
    MessageDismisser();  // throws std::runtime_error if the hook cannot be set
    ~MessageDismisser();
    MessageDismisser(const MessageDismisser&) = delete;
    MessageDismisser& operator=(const MessageDismisser&) = delete;

    int Dismissed() const { return dismissed_; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void Dismiss(HWND box);

    HHOOK hook_ = nullptr;
    HWND lastBox_ = nullptr;  // shown until destroyed; it may be activated again
    int dismissed_ = 0;
};
