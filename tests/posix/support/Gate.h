// A one-way gate between threads: closed until Open(), then open for good.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class Gate {
public:
    void Open() {
        std::lock_guard<std::mutex> guard(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool IsOpen() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return open_;
    }
    // True once open; false when the limit passed first.
    bool WaitFor(std::chrono::milliseconds limit) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return open_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool open_ = false;
};
