#include "MessageBoxCatcher.h"

#include <cstring>
#include <iterator>

namespace {

// The one catcher that the hook and timer callbacks report to.
MessageBoxCatcher* Current = nullptr;

constexpr int MessageTextId = 0xFFFF;  // the static control that holds a box's text
constexpr UINT_PTR HoldTimerId = 0x5142;
constexpr UINT HoldTimerMs = 5;
constexpr std::chrono::milliseconds WatchSlice{20};

bool IsDialogBox(HWND window) {
    char name[16] = {};
    ::GetClassNameA(window, name, sizeof name);
    return std::strcmp(name, "#32770") == 0;
}

void Dismiss(HWND box) { ::PostMessageA(box, WM_COMMAND, IDOK, 0); }

}  // namespace

std::string WindowText(HWND window) {
    if (window == nullptr) return std::string();
    int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

MessageBoxCatcher::MessageBoxCatcher() : hostThread_(::GetCurrentThreadId()) {
    Current = this;
    hook_ = ::SetWindowsHookExA(WH_CBT, HookProc, nullptr, hostThread_);
    watchdog_ = std::thread([this] { Watch(); });
}

MessageBoxCatcher::~MessageBoxCatcher() {
    stopping_ = true;
    watchdog_.join();
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
    Current = nullptr;
}

std::vector<ShownBox> MessageBoxCatcher::Boxes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_;
}

std::size_t MessageBoxCatcher::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_.size();
}

void MessageBoxCatcher::OnShown(std::function<void(const ShownBox&)> observer) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_ = std::move(observer);
}

void MessageBoxCatcher::HoldOpenUntil(std::function<bool()> release,
                                      std::chrono::milliseconds limit) {
    std::lock_guard<std::mutex> guard(lock_);
    release_ = std::move(release);
    holdLimit_ = limit;
}

LRESULT CALLBACK MessageBoxCatcher::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (Current != nullptr) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (code == HCBT_ACTIVATE && IsDialogBox(window)) Current->Catch(window, true);
        // A later box may get the same handle value.
        if (code == HCBT_DESTROYWND) Current->Forget(window);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void MessageBoxCatcher::Catch(HWND box, bool onHostThread) {
    ShownBox shown;
    shown.caption = WindowText(box);
    shown.text = WindowText(::GetDlgItem(box, MessageTextId));
    shown.onHostThread = onHostThread;
    shown.topmost = (::GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    shown.hasOwner = ::GetWindow(box, GW_OWNER) != nullptr;

    std::function<void(const ShownBox&)> observer;
    bool hold = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // A box is activated again when it regains the focus: count it once.
        if (!seen_.insert(box).second) {
            if (!onHostThread) Dismiss(box);  // in case the first request was lost
            return;
        }
        shownAt_[box] = boxes_.size();
        boxes_.push_back(shown);
        observer = observer_;
        hold = onHostThread && release_ != nullptr;
        if (hold) holdDeadline_ = std::chrono::steady_clock::now() + holdLimit_;
    }
    if (observer) observer(shown);
    if (hold) {
        ::SetTimer(box, HoldTimerId, HoldTimerMs, HoldTimer);
    } else {
        Dismiss(box);
    }
}

// Wine 10's user32 (32-bit, WoW64) fills in a box's text only after the
// box has been activated; by the time it is destroyed the text is there.
void MessageBoxCatcher::Forget(HWND window) {
    std::lock_guard<std::mutex> guard(lock_);
    seen_.erase(window);
    auto shown = shownAt_.find(window);
    if (shown == shownAt_.end()) return;
    ShownBox& box = boxes_[shown->second];
    if (box.text.empty()) box.text = WindowText(::GetDlgItem(window, MessageTextId));
    shownAt_.erase(shown);
}

void CALLBACK MessageBoxCatcher::HoldTimer(HWND box, UINT, UINT_PTR id, DWORD) {
    MessageBoxCatcher* catcher = Current;
    bool release = true;
    if (catcher != nullptr) {
        std::function<bool()> ask;
        std::chrono::steady_clock::time_point deadline;
        {
            std::lock_guard<std::mutex> guard(catcher->lock_);
            ask = catcher->release_;
            deadline = catcher->holdDeadline_;
        }
        release = !ask || ask() || std::chrono::steady_clock::now() >= deadline;
    }
    if (!release) return;
    ::KillTimer(box, id);
    Dismiss(box);
}

BOOL CALLBACK MessageBoxCatcher::CloseForeignBox(HWND window, LPARAM catcher) {
    auto* self = reinterpret_cast<MessageBoxCatcher*>(catcher);
    DWORD process = 0;
    DWORD thread = ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && thread != self->hostThread_ &&
        ::IsWindowVisible(window) && IsDialogBox(window)) {
        self->Catch(window, false);
    }
    return TRUE;
}

void MessageBoxCatcher::Watch() {
    while (!stopping_) {
        {
            // Boxes of other threads are destroyed unseen by the hook.
            std::lock_guard<std::mutex> guard(lock_);
            for (auto at = seen_.begin(); at != seen_.end();) {
                if (::IsWindow(*at)) {
                    ++at;
                } else {
                    shownAt_.erase(*at);
                    at = seen_.erase(at);
                }
            }
        }
        ::EnumWindows(CloseForeignBox, reinterpret_cast<LPARAM>(this));
        std::this_thread::sleep_for(WatchSlice);
    }
}
