// Catches every message box of the test process: records caption and text
// exactly and dismisses it, so that no box waits for a user who is not there.
//
// Boxes on the thread that created the catcher (the host thread) are seen by
// a WH_CBT hook as they are activated. A watchdog thread also looks for
// dialog boxes of other threads, records them as such and closes them: a
// box shown on the wrong thread makes its test fail instead of hanging it.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct ShownBox {
    std::string caption;
    std::string text;
    bool onHostThread = false;
    bool topmost = false;   // WS_EX_TOPMOST
    bool hasOwner = false;  // an owner window
};

class MessageBoxCatcher {
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    bool installed() const { return hook_ != nullptr; }
    std::vector<ShownBox> Boxes() const;
    std::size_t Count() const;

    // Runs on the host thread for each box while it is up.
    void OnShown(std::function<void(const ShownBox&)> observer);
    // Keeps host-thread boxes open until release() returns true (asked every
    // few milliseconds on the host thread), or at most `limit`.
    void HoldOpenUntil(std::function<bool()> release, std::chrono::milliseconds limit);

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK HoldTimer(HWND box, UINT message, UINT_PTR id, DWORD time);
    static BOOL CALLBACK CloseForeignBox(HWND window, LPARAM catcher);
    void Catch(HWND box, bool onHostThread);
    void Forget(HWND window);
    void Watch();

    DWORD hostThread_;
    HHOOK hook_ = nullptr;
    mutable std::mutex lock_;
    std::vector<ShownBox> boxes_;
    std::set<HWND> seen_;
    std::map<HWND, std::size_t> shownAt_;  // a box on screen: its entry in boxes_
    std::function<void(const ShownBox&)> observer_;
    std::function<bool()> release_;
    std::chrono::milliseconds holdLimit_{0};
    std::chrono::steady_clock::time_point holdDeadline_;
    std::atomic<bool> stopping_{false};
    std::thread watchdog_;
};

// The text of a window as GetWindowTextA gives it, of any length.
std::string WindowText(HWND window);
