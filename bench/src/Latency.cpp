#include "Latency.h"

#include <algorithm>

void CallTimes::EndRound() {
    if (round_.empty()) return;
    Summary s = Summarize(round_);
    medians_.push_back(s.Median);
    longest_.push_back(s.Max);
    longestOverall_ = std::max(longestOverall_, s.Max);
    calls_ += static_cast<long long>(round_.size());
    overMs_ += std::count_if(round_.begin(), round_.end(), [](double us) { return us > 1000.0; });
    round_.clear();
}
