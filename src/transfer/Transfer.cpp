#include "transfer/Transfer.h"

#include <utility>

#include "http/Worker.h"
#include "transfer/Messages.h"
#include "transfer/SplitUrl.h"

namespace {

bool StillRunning(Platform::Handle worker) {
    return worker != nullptr && Platform::Wait(worker, 0) == Platform::WaitResult::TimedOut;
}

void CloseIfPresent(Platform::Handle& handle) {
    if (handle == nullptr) return;
    Platform::CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

bool WorkerRunning(TransferState& state) { return StillRunning(state.WorkerThread); }

void FinishTransfer(TransferState& state, PendingError pending) {
    if (StillRunning(state.WorkerThread)) {
        if (state.StopEvent != nullptr) Platform::SignalEvent(state.StopEvent);
        Platform::Wait(state.WorkerThread, Platform::WaitForever);
    }
    // The handles leave the state before the report: its message box runs a
    // message loop, and a host that starts a transfer from there must find
    // the state idle and keep the transfer it started.
    Platform::Handle worker = std::exchange(state.WorkerThread, nullptr);
    Platform::Handle stop = std::exchange(state.StopEvent, nullptr);
    if (pending == PendingError::Show) {
        ReportPendingError(state);
    } else {
        std::lock_guard<std::mutex> guard(state.Lock);
        state.ErrorText.clear();
    }
    CloseIfPresent(worker);
    if (stop != nullptr) Platform::CloseStopEvent(stop);
}

void FinishAllTransfers(TransferState& state, PendingError pending) {
    do {
        FinishTransfer(state, pending);
    } while (state.WorkerThread != nullptr || state.StopEvent != nullptr);
}

bool StartTransfer(TransferState& state, const char* url, const char* verb,
                   std::string postData) {
    FinishAllTransfers(state);

    UrlParts parts = SplitUrl(std::string(url));
    state.Host = std::move(parts.Host);
    state.Path = std::move(parts.Path);
    state.ServerName = std::move(parts.ServerName);
    state.Port = parts.Port;
    state.Secure = parts.Secure;
    state.PostData = std::move(postData);
    state.Verb = verb;

    state.StopEvent = Platform::CreateStopEvent();
    if (state.StopEvent == nullptr) {
        ShowMessage(EventCreationFailedText);
        return false;
    }
    state.WorkerThread = Platform::StartWorker(WorkerMain, &state);
    if (state.WorkerThread == nullptr) {
        ShowMessage(ThreadCreationFailedText);
        return false;
    }
    return true;
}
