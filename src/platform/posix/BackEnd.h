// What the POSIX back end's parts offer each other beyond Platform.h: the
// set-up at load and the hand-over at process exit.
#pragma once

#include <chrono>

namespace PosixBackEnd {

// Messages: reads QUILLBARROW_MESSAGE_FD once, at load.
void ConfigureMessages();

// Makes every HTTP call of every worker fail at once (12017) and wakes the
// ones that are waiting on the network; used only at process exit.
void AbortTransfers();

// Waits until every worker started by StartWorker has returned from its
// entry function, or the time is up. True when none is left running.
bool AwaitWorkers(std::chrono::milliseconds limit);

}  // namespace PosixBackEnd
