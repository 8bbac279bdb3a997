// The table the benchmark prints (Markdown), one row per figure.
#pragma once

#include <string>

#include "Bench.h"
#include "Environment.h"
#include "Memory.h"
#include "Timing.h"

class Report {
public:
    void Header();
    void Throughput(const ThroughputResult& r);
    void PerTransfer(const Comparison& c, Poll poll);
    void Memory(const MemoryResult& r);
    void Dll(const DllFacts& facts);

private:
    void Row(const std::string& figure, const std::string& library, const std::string& baseline,
             const std::string& relative, const std::string& target, const std::string& holds);
};

// "median (min-max)" of a summary multiplied by scale.
std::string Spread(const Summary& s, double scale, int decimals);
