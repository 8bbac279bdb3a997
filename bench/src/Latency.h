// How long single GetReadSize calls take while a body arrives, collected
// over rounds: per round the median and the longest call.
#pragma once

#include <vector>

#include "Stats.h"

class CallTimes {
public:
    void Add(double microseconds) { round_.push_back(microseconds); }
    // Closes a round.
    void EndRound();

    Summary MedianUs() const { return Summarize(medians_); }
    Summary LongestUs() const { return Summarize(longest_); }
    double LongestOverallUs() const { return longestOverall_; }
    long long Calls() const { return calls_; }
    long long CallsOverMs() const { return overMs_; }

private:
    std::vector<double> round_;
    std::vector<double> medians_;
    std::vector<double> longest_;
    double longestOverall_ = 0;
    long long calls_ = 0;
    long long overMs_ = 0;
};
