#include "ProcessFigures.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <thread>

namespace {

std::uint32_t ThreadsOfThisProcess() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    const DWORD self = ::GetCurrentProcessId();
    std::uint32_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
        entry.dwSize = sizeof entry;
    }
    ::CloseHandle(snapshot);
    return count;
}

// Handle values are multiples of 4 and the table fills from its low end:
// a run of this many unused values ends the search.
std::uint32_t CountHandles() {
    constexpr std::uintptr_t EmptyRun = 4096;
    std::uint32_t count = 0;
    std::uintptr_t empty = 0;
    for (std::uintptr_t value = 4; empty < EmptyRun; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            empty = 0;
        } else {
            ++empty;
        }
    }
    return count;
}

// What Windows calls private bytes: committed memory of this process that
// is not an image or a mapped file.
std::uint64_t CommittedPrivateBytes() {
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    auto* at = static_cast<const char*>(system.lpMinimumApplicationAddress);
    const auto* end = static_cast<const char*>(system.lpMaximumApplicationAddress);
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    while (at < end && ::VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        at = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

// The blocks in use in every heap of the process: what allocations hold,
// without the free room and thread stacks that private bytes also count.
void CountHeapBlocks(std::uint64_t& bytes, std::uint32_t& blocks) {
    HANDLE heaps[256];
    DWORD count = ::GetProcessHeaps(256, heaps);
    if (count > 256) count = 256;
    for (DWORD i = 0; i < count; ++i) {
        if (!::HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                bytes += entry.cbData;
                ++blocks;
            }
        }
        ::HeapUnlock(heaps[i]);
    }
}

}  // namespace

ProcessFigures ProcessFigures::Now() {
    ProcessFigures figures;
    figures.handles = CountHandles();
    DWORD handles = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &handles)) figures.reportedHandles = handles;
    figures.threads = ThreadsOfThisProcess();
    figures.privateBytes = CommittedPrivateBytes();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(),
                               reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof memory)) {
        figures.reportedPrivate = memory.PrivateUsage;
        figures.workingSet = memory.WorkingSetSize;
    }
    CountHeapBlocks(figures.heapBytes, figures.heapBlocks);
    return figures;
}

std::string ProcessFigures::ToString() const {
    return "handles " + std::to_string(handles) + " (GetProcessHandleCount " +
           std::to_string(reportedHandles) + "), threads " + std::to_string(threads) +
           ", private bytes " + std::to_string(privateBytes) + " (PrivateUsage " +
           std::to_string(reportedPrivate) + ", working set " + std::to_string(workingSet) +
           "), heap " + std::to_string(heapBytes) + " in " + std::to_string(heapBlocks) +
           " blocks";
}

ProcessFigures SettledFigures(std::uint32_t threads, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    ProcessFigures figures = ProcessFigures::Now();
    while (figures.threads > threads && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        figures = ProcessFigures::Now();
    }
    return figures;
}
