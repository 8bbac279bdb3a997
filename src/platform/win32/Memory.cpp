// Reserved address space, committed as it is used.
#include <windows.h>

#include "platform/Platform.h"

namespace Platform {

void* ReserveMemory(std::size_t bytes) {
    return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
}

bool CommitMemory(void* base, std::size_t bytes) {
    return ::VirtualAlloc(base, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void ReleaseMemory(void* base) {
    if (base != nullptr) ::VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace Platform
