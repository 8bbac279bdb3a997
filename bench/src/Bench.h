// What every part of the benchmark shares: the DLL, the server's port, the
// number of rounds, and the list of things that went wrong.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <cstdint>

#include "Quillbarrow.h"
#include "Stats.h"

struct Bench {
    Quillbarrow& Dll;
    std::uint16_t Port;
    int Rounds;          // throughput and memory rounds
    int TransferRounds;  // rounds of 1,000 small transfers
    std::vector<std::string> Problems;

    std::string Url(const char* name) const {
        return "http://127.0.0.1:" + std::to_string(Port) + "/" + name;
    }
    void Problem(const std::string& text) { Problems.push_back(text); }
};

// A: the library; B: the baseline. Ratio is A/B per round.
struct Comparison {
    Summary Library;
    Summary Baseline;
    Summary Ratio;
};

// Rounds alternate which side goes first: even rounds A then B, odd B then A.
template <typename RunA, typename RunB>
void Alternate(int round, RunA runA, RunB runB) {
    if (round % 2 == 0) {
        runA();
        runB();
    } else {
        runB();
        runA();
    }
}

// How the host waits between polls.
enum class Poll { Yield, Tick };  // Sleep(0), Sleep(1)
inline void PollPause(Poll poll) { Sleep(poll == Poll::Yield ? 0 : 1); }
