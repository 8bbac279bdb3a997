// Median, minimum and maximum of a series of round results.
#pragma once

#include <vector>

struct Summary {
    double Median = 0;
    double Min = 0;
    double Max = 0;
    int Count = 0;
};

Summary Summarize(std::vector<double> values);
