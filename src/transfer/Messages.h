// The message boxes through which the library speaks to the user.
#pragma once

#include <string>

#include "transfer/TransferState.h"

// Shift-JIS: "creating the event failed", "creating the thread failed".
extern const char EventCreationFailedText[];
extern const char ThreadCreationFailedText[];

// Shows an already formatted text under the caption "Quillbarrow" and returns
// when the user has closed the box.
void ShowMessage(const std::string& text);

// Shows and empties a non-empty ErrorText; never waits for the worker.
void ReportPendingError(TransferState& state);
