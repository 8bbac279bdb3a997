// The worker: one HTTP exchange through WinINet per transfer.
#pragma once

#include <cstdint>

struct TransferState;

// Thread entry; the argument is the TransferState. Returns 0 when the
// response was read to its end, 0xFFFFFFFF when a step failed or it stopped.
std::uint32_t WorkerMain(void* state);

// The exchange itself: true when the body was read to its end (or a read
// failed), false when a step failed or a stop was requested.
bool RunRequest(TransferState& state);
