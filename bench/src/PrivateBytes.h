// The process's private bytes as GetProcessMemoryInfo reports them, read now
// or sampled for a peak. Windows fills PROCESS_MEMORY_COUNTERS_EX's
// PrivateUsage (equal to PagefileUsage there, the commit charge); Wine 8.0
// leaves PrivateUsage 0 and fills PagefileUsage with the resident anonymous
// memory, so PagefileUsage is read when PrivateUsage is 0.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

std::size_t PrivateBytesNow();
// The counter PrivateBytesNow() reads: "PrivateUsage" or "PagefileUsage".
const char* PrivateBytesCounter();
// PeakPagefileUsage of the same call.
std::size_t PeakPagefileBytesNow();

// Reads PrivateBytesNow() as fast as it can on a thread of its own while
// sampling, and keeps the highest value. The thread is made once, with the
// sampler, so that starting a measurement allocates nothing. Other readings
// can be folded in by Note.
class PeakSampler {
public:
    PeakSampler();
    ~PeakSampler();
    PeakSampler(const PeakSampler&) = delete;
    PeakSampler& operator=(const PeakSampler&) = delete;

    // Sets the peak to the value now; returns once the thread samples.
    void Start();
    // Returns once the thread has stopped sampling, with the peak.
    std::size_t Stop();
    void Note(std::size_t bytes);
    std::size_t peak() const { return peak_.load(); }
    unsigned samples() const { return samples_.load(); }

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool quit_ = false;
    bool busy_ = false;  // the thread is in its sampling loop
    std::atomic<bool> sampling_{false};
    std::atomic<std::size_t> peak_{0};
    std::atomic<unsigned> samples_{0};
    std::thread thread_;
};
