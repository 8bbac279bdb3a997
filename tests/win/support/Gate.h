// A one-way signal between threads: closed until Open(), then open for good.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class Gate {
public:
    void Open();
    bool IsOpen() const;
    // True once the gate is open; false when the limit passed first.
    bool WaitFor(std::chrono::milliseconds limit) const;

private:
    mutable std::mutex lock_;
    mutable std::condition_variable opened_;
    bool open_ = false;
};
