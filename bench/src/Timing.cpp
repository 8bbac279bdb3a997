#include "Timing.h"

#include <cstring>

#include "BenchString.h"
#include "Bodies.h"
#include "Clock.h"
#include "DirectFetch.h"

namespace {

// Get, then IsRun until false: the seconds it took, or a negative number.
double TimeLibraryFetch(Bench& bench, BenchString& url, Poll poll) {
    double start = NowSeconds();
    if (!bench.Dll.Get(&url)) return -1;
    while (bench.Dll.IsRun()) PollPause(poll);
    return NowSeconds() - start;
}

double TimeDirectFetch(Bench& bench, DirectFetch& fetch, const char* name, Poll poll) {
    double start = NowSeconds();
    if (!fetch.Start(bench.Port, name)) return -1;
    while (!fetch.Done()) PollPause(poll);
    return NowSeconds() - start;
}

void CheckLibraryBody(Bench& bench, const BodySource& body, const char* what) {
    std::uint32_t held = bench.Dll.GetReadSize();
    if (held != body.Size) {
        bench.Problem(std::string(what) + ": GetReadSize is " + std::to_string(held));
        return;
    }
    BenchString target;
    bool matches = false;
    target.beforeCopy = [&](const char* text) {
        matches = MatchesBody(body, text, std::strlen(text));
    };
    if (!bench.Dll.ReadString(&target) || !matches) bench.Problem(std::string(what) + ": wrong body");
}

void CheckDirectBody(Bench& bench, const DirectFetch& fetch, const BodySource& body, const char* what) {
    if (!fetch.failure().empty() || !MatchesBody(body, fetch.body().data(), fetch.body().size())) {
        bench.Problem(std::string(what) + ": baseline failed at " + fetch.failure() + ", " +
                      std::to_string(fetch.body().size()) + " bytes");
    }
}

Comparison Compare(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) ratios.push_back(a[i] / b[i]);
    return {Summarize(a), Summarize(b), Summarize(ratios)};
}

}  // namespace

ThroughputResult MeasureThroughput(Bench& bench) {
    const BodySource& body = *FindBody("big");
    ThroughputResult result;
    std::vector<double> library, baseline, libraryCpu, baselineCpu;
    for (int round = 0; round < bench.Rounds; ++round) {
        Alternate(
            round,
            [&] {
                if (!bench.Dll.Reload()) return bench.Problem("throughput: the DLL did not load");
                BenchString url(bench.Url("big"));
                double cpu = ProcessCpuSeconds();
                double start = NowSeconds();
                if (!bench.Dll.Get(&url)) return bench.Problem("throughput: Get failed");
                while (bench.Dll.IsRun()) {
                    double before = NowSeconds();
                    bench.Dll.GetReadSize();
                    result.Library.Add((NowSeconds() - before) * 1e6);
                    Sleep(1);
                }
                library.push_back(NowSeconds() - start);
                libraryCpu.push_back(ProcessCpuSeconds() - cpu);
                result.Library.EndRound();
                CheckLibraryBody(bench, body, "throughput");
                bench.Dll.Unload();
            },
            [&] {
                DirectFetch fetch;
                double cpu = ProcessCpuSeconds();
                double start = NowSeconds();
                if (!fetch.Start(bench.Port, "big")) return bench.Problem("throughput: no baseline thread");
                while (!fetch.Done()) {
                    double before = NowSeconds();
                    fetch.received();
                    result.Baseline.Add((NowSeconds() - before) * 1e6);
                    Sleep(1);
                }
                baseline.push_back(NowSeconds() - start);
                baselineCpu.push_back(ProcessCpuSeconds() - cpu);
                result.Baseline.EndRound();
                CheckDirectBody(bench, fetch, body, "throughput");
            });
    }
    result.Seconds = Compare(library, baseline);
    result.CpuSeconds = Compare(libraryCpu, baselineCpu);
    return result;
}

Comparison MeasurePerTransfer(Bench& bench, Poll poll) {
    const BodySource& body = *FindBody("small");
    std::vector<double> library, baseline;
    for (int round = 0; round < bench.TransferRounds; ++round) {
        Alternate(
            round,
            [&] {
                if (!bench.Dll.Reload()) return bench.Problem("per transfer: the DLL did not load");
                BenchString url(bench.Url("small"));
                int wrong = 0;
                double total = 0;
                for (int i = 0; i < TransfersPerRound; ++i) {
                    total += TimeLibraryFetch(bench, url, poll);
                    if (bench.Dll.GetReadSize() != body.Size) ++wrong;
                }
                library.push_back(total / TransfersPerRound);
                if (wrong != 0) bench.Problem("per transfer: " + std::to_string(wrong) + " short bodies");
                CheckLibraryBody(bench, body, "per transfer");
                bench.Dll.Unload();
            },
            [&] {
                DirectFetch fetch;
                int wrong = 0;
                double total = 0;
                for (int i = 0; i < TransfersPerRound; ++i) {
                    total += TimeDirectFetch(bench, fetch, "small", poll);
                    if (fetch.body().size() != body.Size) ++wrong;
                }
                baseline.push_back(total / TransfersPerRound);
                if (wrong != 0) bench.Problem("per transfer baseline: " + std::to_string(wrong) + " short bodies");
                CheckDirectBody(bench, fetch, body, "per transfer");
            });
    }
    return Compare(library, baseline);
}
