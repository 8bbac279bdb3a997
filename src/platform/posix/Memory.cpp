// Linux counts only the pages a process has touched, so a plain allocation
// of the whole reservation already costs no more than what is used.
#include <cstdlib>

#include "platform/Platform.h"

namespace Platform {

void* ReserveMemory(std::size_t bytes) { return std::malloc(bytes); }

bool CommitMemory(void*, std::size_t) { return true; }

void ReleaseMemory(void* base) { std::free(base); }

}  // namespace Platform
