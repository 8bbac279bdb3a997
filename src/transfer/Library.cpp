#include "transfer/Library.h"

#include "transfer/Transfer.h"

namespace {
TransferState* TheState = nullptr;
}

void LoadLibraryState() {
    if (TheState == nullptr) TheState = new TransferState();
}

TransferState& LibraryState() {
    LoadLibraryState();
    return *TheState;
}

void UnloadLibraryState(bool processExit, bool reportPending) {
    if (TheState == nullptr) return;
    // At process exit a worker may have been cut off inside any call, with
    // Body half-grown or Lock held: the state is left to the process's end.
    if (processExit) return;
    FinishAllTransfers(*TheState, reportPending ? PendingError::Show : PendingError::Drop);
    delete TheState;
    TheState = nullptr;
}
