#include "Gate.h"

void Gate::Open() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        open_ = true;
    }
    opened_.notify_all();
}

bool Gate::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

bool Gate::WaitFor(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> guard(lock_);
    return opened_.wait_for(guard, limit, [this] { return open_; });
}
