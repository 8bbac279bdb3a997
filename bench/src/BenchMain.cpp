// Quillbarrow.dll side by side with a direct WinINet loop:
//   quillbarrow_bench.exe [--port P] [--rounds N] [--transfer-rounds N]
//                         [--transfer-poll 0|1] [--only throughput,transfers,memory]
//                         [--dll PATH]
// --port names a loopback server already listening on 127.0.0.1 (bench/run.sh
// starts one outside Wine); without it the bench serves from a thread of its
// own. Prints the run's facts and one Markdown table; exits non-zero when
// any round went wrong (a message box, a short or wrong body).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Bench.h"
#include "Environment.h"
#include "LoopbackServer.h"
#include "Memory.h"
#include "MessageWatch.h"
#include "PrivateBytes.h"
#include "Report.h"
#include "Timing.h"

namespace {

std::string BesideExecutable(const char* name) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    std::size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + name;
}

bool Wanted(const std::string& only, const char* part) {
    return only.empty() || ("," + only + ",").find(std::string(",") + part + ",") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    int transferRounds = 5;
    int port = 0;
    Poll transferPoll = Poll::Yield;
    std::string only;
    std::string dllPath = BesideExecutable("Quillbarrow.dll");
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--rounds") rounds = std::atoi(argv[i + 1]);
        else if (option == "--transfer-rounds") transferRounds = std::atoi(argv[i + 1]);
        else if (option == "--transfer-poll") transferPoll = std::atoi(argv[i + 1]) == 0 ? Poll::Yield : Poll::Tick;
        else if (option == "--port") port = std::atoi(argv[i + 1]);
        else if (option == "--only") only = argv[i + 1];
        else if (option == "--dll") dllPath = argv[i + 1];
    }
    if (rounds < 1) rounds = 1;
    if (transferRounds < 1) transferRounds = 1;

    MessageWatch watch;
    std::unique_ptr<LoopbackServer> server;
    if (port == 0) {
        server = std::make_unique<LoopbackServer>();
        if (!server->ok()) {
            std::fprintf(stderr, "bench: no loopback server\n");
            return 2;
        }
        port = server->port();
    }
    Quillbarrow dll(dllPath);
    if (!dll.Load()) {
        std::fprintf(stderr, "bench: cannot load %s\n", dllPath.c_str());
        return 2;
    }
    Bench bench{dll, static_cast<std::uint16_t>(port), rounds, transferRounds, {}};

    CounterFacts counters = ProbeCounters();
    std::printf("ANSI code page: %u\n", GetACP());
    std::printf("Server: %s, port %d\n", server ? "a thread of this process" : "outside Wine", port);
    std::printf("Rounds: %d (throughput, memory), %d of %d transfers; library and baseline "
                "alternate, even rounds library first\n", rounds, transferRounds, TransfersPerRound);
    std::printf("Private bytes read from %s\n", PrivateBytesCounter());
    std::printf("PrivateUsage for 16 MiB VirtualAlloc'd: %+.1f MiB committed untouched, "
                "%+.1f MiB after touching every page, %+.1f MiB after freeing; "
                "PeakPagefileUsage %s\n",
                counters.CommittedUntouchedMiB, counters.TouchedMiB, counters.FreedMiB,
                counters.PeakIsCurrent ? "falls with the current value (not a peak)" : "keeps the peak");
    std::printf("First write to a fresh page: %.1f us per 4 KiB; WaitForSingleObject(event, 0): "
                "%.1f us per call\n", counters.FirstTouchUsPerPage, EventPollMicroseconds());
    std::printf("\n");
    std::fflush(stdout);

    Report report;
    report.Header();
    if (Wanted(only, "throughput")) report.Throughput(MeasureThroughput(bench));
    if (Wanted(only, "transfers")) report.PerTransfer(MeasurePerTransfer(bench, transferPoll), transferPoll);
    if (Wanted(only, "memory")) report.Memory(MeasureMemory(bench));
    dll.Reload();
    report.Dll(DescribeDll(dllPath, dll.module()));
    dll.Unload();

    for (const std::string& text : MessageWatch::Texts()) bench.Problem("message box: " + text);
    if (server) std::printf("\nConnections served: %u\n", server->served());
    for (const std::string& problem : bench.Problems) std::printf("PROBLEM: %s\n", problem.c_str());
    return bench.Problems.empty() ? 0 : 1;
}
