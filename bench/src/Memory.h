// Private bytes during a 64 MiB download and around the two read exports,
// as multiples of the body size. "Over idle" figures subtract the process's
// private bytes just before the transfer started (the DLL freshly loaded,
// no body anywhere), so they count what the transfer and the read hold.
// Each round downloads two 64 MiB UTF-8 texts, one ASCII only and one
// mostly Japanese, reads each with ReadString, then with
// ReadStringUTF8ToSJIS; the baseline downloads the same and converts them
// with the bare four conversion calls. Each read is measured 250 ms after
// the download ended, once its threads have wound down.
#pragma once

#include "Bench.h"

struct ConversionMemory {
    const char* Text = "";
    Summary LibraryPeakOverIdle;   // Body + UTF-16 + result, up to SetText's entry
    Summary BaselinePeakOverIdle;  // body + UTF-16 + result of the bare four calls
    Summary LibraryAfterOverIdle;  // Body + the host's copy, after the call
    double ResultPerBody = 0;      // result bytes / body bytes
    bool SameResult = true;        // library and baseline produced the same bytes
};

struct MemoryResult {
    double IdleMiB = 0;                  // median private bytes before a transfer
    Summary LibraryDownloadPeak;         // absolute peak / body
    Summary LibraryDownloadPeakOverIdle;
    Summary BaselineDownloadPeak;
    Summary BaselineDownloadPeakOverIdle;
    Summary ReadStringAdded;             // library's addition up to SetText's entry
    Summary ReadStringHostCopy;          // what the host's copy added
    Summary ReadStringAfterOverIdle;     // Body + the host's copy
    Summary QuietWindow;                 // growth over 50 ms with no call: the noise
    ConversionMemory Ascii;
    ConversionMemory Japanese;
    unsigned long long Samples = 0;
};

MemoryResult MeasureMemory(Bench& bench);
