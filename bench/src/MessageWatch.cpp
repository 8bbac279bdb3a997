#include "MessageWatch.h"

#include <windows.h>

namespace {

HHOOK Hook = nullptr;
std::vector<std::string> Seen;

std::string WindowText(HWND window) {
    char text[4096] = {};
    if (window != nullptr) GetWindowTextA(window, text, sizeof text);
    return text;
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        auto window = reinterpret_cast<HWND>(wParam);
        Seen.push_back(WindowText(window) + ": " + WindowText(GetDlgItem(window, 0xFFFF)));
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(Hook, code, wParam, lParam);
}

}  // namespace

MessageWatch::MessageWatch() {
    Hook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
}

MessageWatch::~MessageWatch() {
    if (Hook != nullptr) UnhookWindowsHookEx(Hook);
    Hook = nullptr;
}

const std::vector<std::string>& MessageWatch::Texts() { return Seen; }
