// Facts about the run that the figures depend on: what the memory counters
// measure under this Windows (or Wine), the ANSI code page, the DLL's size.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CounterFacts {
    double CommittedUntouchedMiB = 0;  // PrivateUsage growth for 16 MiB committed, not touched
    double TouchedMiB = 0;             // ... and after writing every page of it
    double FreedMiB = 0;               // ... and after freeing it again (negative: dropped)
    bool PeakIsCurrent = false;        // PeakPagefileUsage fell back with the free
    double FirstTouchUsPerPage = 0;    // writing a fresh 4 KiB page the first time
};

CounterFacts ProbeCounters();

// Microseconds one WaitForSingleObject(event, 0) on a non-signalled event
// takes: the worker makes one such call before every 4096-byte read.
double EventPollMicroseconds();

struct Section {
    std::string Name;
    unsigned long RawBytes = 0;
};

struct DllFacts {
    unsigned long long FileBytes = 0;
    std::vector<Section> Sections;
};

DllFacts DescribeDll(const std::string& path, HMODULE module);
