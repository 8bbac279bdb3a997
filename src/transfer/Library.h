// The library's one TransferState, from load to unload.
#pragma once

#include "transfer/TransferState.h"

// Sets up the empty state; called when the library is loaded.
void LoadLibraryState();

// Called when the library is unloaded. While the process goes on, a running
// worker is stopped and awaited first, and a pending error is shown unless
// reportPending is false (where a message box cannot be shown safely during
// an unload); at process exit the other threads are gone already, so nothing
// waits or shows.
void UnloadLibraryState(bool processExit, bool reportPending = true);

TransferState& LibraryState();
