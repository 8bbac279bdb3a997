// Starting, finishing and polling the one transfer.
#pragma once

#include <string>

#include "transfer/TransferState.h"

// Finishes any earlier transfer, fills the request fields and starts the
// worker. False (after a message box) when the transfer cannot be started.
bool StartTransfer(TransferState& state, const char* url, const char* verb,
                   std::string postData);

enum class PendingError { Show, Drop };

// Stops and awaits a running worker, reports (or drops) a pending error and
// closes the transfer's handles. Body is left as it is.
void FinishTransfer(TransferState& state, PendingError pending = PendingError::Show);

// Finishes transfers until the state is idle: a message box shown while
// finishing may have let the host start another one.
void FinishAllTransfers(TransferState& state, PendingError pending = PendingError::Show);

// True while the worker has not ended. Never waits.
bool WorkerRunning(TransferState& state);
