#include "PrivateBytes.h"

#include <windows.h>
#include <psapi.h>

namespace {
PROCESS_MEMORY_COUNTERS_EX Counters() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters;
}
}  // namespace

std::size_t PrivateBytesNow() {
    PROCESS_MEMORY_COUNTERS_EX counters = Counters();
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

const char* PrivateBytesCounter() {
    return Counters().PrivateUsage != 0 ? "PrivateUsage" : "PagefileUsage";
}

std::size_t PeakPagefileBytesNow() { return Counters().PeakPagefileUsage; }

PeakSampler::PeakSampler() : thread_([this] { Run(); }) {}

PeakSampler::~PeakSampler() {
    Stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void PeakSampler::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || sampling_.load(); });
        if (quit_) return;
        busy_ = true;
        lock.unlock();
        changed_.notify_all();
        while (sampling_.load()) {
            Note(PrivateBytesNow());
            ++samples_;
            Sleep(0);
        }
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

void PeakSampler::Start() {
    Stop();
    peak_ = PrivateBytesNow();
    samples_ = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    sampling_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return busy_; });
}

std::size_t PeakSampler::Stop() {
    std::unique_lock<std::mutex> lock(mutex_);
    sampling_ = false;
    changed_.wait(lock, [this] { return !busy_; });
    lock.unlock();
    Note(PrivateBytesNow());
    return peak_.load();
}

void PeakSampler::Note(std::size_t bytes) {
    std::size_t seen = peak_.load();
    while (bytes > seen && !peak_.compare_exchange_weak(seen, bytes)) {
    }
}
