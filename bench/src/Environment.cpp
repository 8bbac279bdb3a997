#include "Environment.h"

#include <cstring>

#include "Clock.h"
#include "PrivateBytes.h"

namespace {
constexpr std::size_t ProbeBytes = 16u * 1024 * 1024;
constexpr double MiB = 1024.0 * 1024.0;

double Grown(std::size_t after, std::size_t before) {
    return (static_cast<double>(after) - static_cast<double>(before)) / MiB;
}
}  // namespace

CounterFacts ProbeCounters() {
    CounterFacts facts;
    std::size_t before = PrivateBytesNow();
    auto* block = static_cast<char*>(VirtualAlloc(nullptr, ProbeBytes, MEM_RESERVE | MEM_COMMIT,
                                                  PAGE_READWRITE));
    if (block == nullptr) return facts;
    facts.CommittedUntouchedMiB = Grown(PrivateBytesNow(), before);
    double start = NowSeconds();
    for (std::size_t i = 0; i < ProbeBytes; i += 4096) block[i] = 1;
    facts.FirstTouchUsPerPage = (NowSeconds() - start) * 1e6 / (ProbeBytes / 4096);
    std::size_t touched = PrivateBytesNow();
    facts.TouchedMiB = Grown(touched, before);
    VirtualFree(block, 0, MEM_RELEASE);
    facts.FreedMiB = Grown(PrivateBytesNow(), before);
    facts.PeakIsCurrent = PeakPagefileBytesNow() < touched;
    return facts;
}

double EventPollMicroseconds() {
    constexpr int Polls = 4096;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) return 0;
    double start = NowSeconds();
    for (int i = 0; i < Polls; ++i) WaitForSingleObject(event, 0);
    double us = (NowSeconds() - start) * 1e6 / Polls;
    CloseHandle(event);
    return us;
}

DllFacts DescribeDll(const std::string& path, HMODULE module) {
    DllFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        facts.FileBytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    if (module == nullptr) return facts;
    auto* base = reinterpret_cast<const unsigned char*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        char name[IMAGE_SIZEOF_SHORT_NAME + 1] = {};
        std::memcpy(name, section->Name, IMAGE_SIZEOF_SHORT_NAME);
        facts.Sections.push_back({name, section->SizeOfRawData});
    }
    return facts;
}
