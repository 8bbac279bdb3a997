#include "exports/ReadBody.h"

#include "transfer/Transfer.h"

bool ReadBody(TransferState& state, HostString& target, BodyConversion conversion) {
    if (WorkerRunning(state)) return false;
    FinishTransfer(state);
    // The report's message box may have let the host start a transfer.
    if (state.WorkerThread != nullptr) return false;
    if (state.Body.empty()) {
        target.SetText("");
        return true;
    }
    // No worker exists now, so Body is read without the lock. Its own
    // terminated buffer goes to the host: no copy is made for a plain read.
    if (conversion == nullptr) {
        target.SetText(state.Body.c_str());
    } else {
        target.SetText(conversion(state.Body.c_str()).c_str());
    }
    return true;
}
