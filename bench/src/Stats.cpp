#include "Stats.h"

#include <algorithm>

Summary Summarize(std::vector<double> values) {
    Summary s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    s.Median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.Min = values.front();
    s.Max = values.back();
    s.Count = static_cast<int>(n);
    return s;
}
