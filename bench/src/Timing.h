// Throughput of a 64 MiB body and the cost of 1,000 transfers of 1 KiB,
// both timed from the start of the transfer to the host's seeing its end.
#pragma once

#include "Bench.h"
#include "Latency.h"

struct ThroughputResult {
    Comparison Seconds;
    Comparison CpuSeconds;  // the process's CPU time per transfer
    CallTimes Library;   // GetReadSize calls while the body arrived
    CallTimes Baseline;  // loads of the baseline's published byte count
};

// Seconds per 64 MiB transfer. The host polls every Sleep(1): IsRun, then,
// while it is true, one timed GetReadSize (the baseline: its end, then its
// published byte count).
ThroughputResult MeasureThroughput(Bench& bench);

// Seconds per 1 KiB transfer over 1,000 in a row; the host polls IsRun (the
// baseline: its end) with the given pause.
Comparison MeasurePerTransfer(Bench& bench, Poll poll);

constexpr int TransfersPerRound = 1000;
