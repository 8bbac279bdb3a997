#include "MessageDismisser.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

// One hook per thread, and the host has one thread that calls the library.
MessageDismisser* Active = nullptr;

constexpr int MessageTextId = 0xFFFF;  // the static control holding a box's text

std::string WindowText(HWND window) {
    if (window == nullptr) return std::string();
    int length = GetWindowTextLengthA(window);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(window, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

// The library's texts are several lines ending in "\n": one output line,
// the line breaks shown as " / ".
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            line += " / ";
        } else {
            line += c;
        }
    }
    return line;
}

bool IsDialog(HWND window) {
    char className[16] = {};
    return GetClassNameA(window, className, sizeof className) > 0 &&
           std::string(className) == "#32770";
}

}  // namespace

MessageDismisser::MessageDismisser() {
    if (Active != nullptr) throw std::runtime_error("a message hook is already set");
    hook_ = SetWindowsHookExA(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
    if (hook_ == nullptr) {
        throw std::runtime_error("cannot set the message box hook (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    Active = this;
}

MessageDismisser::~MessageDismisser() {
    UnhookWindowsHookEx(hook_);
    Active = nullptr;
}

LRESULT CALLBACK MessageDismisser::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && Active != nullptr) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (IsDialog(window)) Active->Dismiss(window);
    } else if (code == HCBT_DESTROYWND && Active != nullptr) {
        if (reinterpret_cast<HWND>(wParam) == Active->lastBox_) Active->lastBox_ = nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void MessageDismisser::Dismiss(HWND box) {
    if (box == lastBox_) return;
    lastBox_ = box;
    ++dismissed_;
    std::string caption = WindowText(box);
    std::string text = OneLine(WindowText(GetDlgItem(box, MessageTextId)));
    std::fprintf(stderr, "[message] %s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    // Queued, so the box's own message loop closes it once it runs.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}
