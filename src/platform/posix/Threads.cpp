// Workers and the stop event on the standard library's threads.
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/Platform.h"
#include "platform/posix/BackEnd.h"

namespace {

struct Waitable {
    virtual ~Waitable() = default;
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Signalled = false;
    bool AutoReset = false;
};

struct StopEvent final : Waitable {
    StopEvent() { AutoReset = true; }
};

struct Worker final : Waitable {
    std::thread Thread;
    Worker* Next = nullptr;  // in the list of workers not yet closed
};

// Workers not yet closed, for the wait at process exit. A plain list under
// a mutex whose destructor is trivial: nothing here is torn down at unload
// while a thread might still look at it.
std::mutex LiveLock;
Worker* LiveWorkers = nullptr;

void AddLive(Worker* worker) {
    std::lock_guard<std::mutex> guard(LiveLock);
    worker->Next = LiveWorkers;
    LiveWorkers = worker;
}

void RemoveLive(Worker* worker) {
    std::lock_guard<std::mutex> guard(LiveLock);
    for (Worker** link = &LiveWorkers; *link != nullptr; link = &(*link)->Next) {
        if (*link == worker) {
            *link = worker->Next;
            return;
        }
    }
}

void Signal(Waitable& waitable) {
    std::lock_guard<std::mutex> guard(waitable.Mutex);
    waitable.Signalled = true;
    waitable.Changed.notify_all();
}

}  // namespace

namespace Platform {

// The handle is signalled after entry has returned. The thread still runs a
// few instructions of this library after that (the end of the lambda and
// the destruction of std::thread's state), so CloseHandle joins it: the
// unload closes the handle before the library's code goes away.
Handle StartWorker(WorkerEntry entry, void* arg) {
    auto* worker = new (std::nothrow) Worker();
    if (worker == nullptr) return nullptr;
    AddLive(worker);
    try {
        worker->Thread = std::thread([worker, entry, arg] {
            entry(arg);
            Signal(*worker);
        });
    } catch (const std::system_error&) {
        RemoveLive(worker);
        delete worker;
        return nullptr;
    }
    return static_cast<Waitable*>(worker);
}

// Nothing is kept loaded for the set-up here: the shared object's unload
// stops and awaits the worker in whatever step it is.
void EndWorkerSetUp() {}

Handle CreateStopEvent() { return static_cast<Waitable*>(new (std::nothrow) StopEvent()); }

bool SignalEvent(Handle event) {
    if (event == nullptr) return false;
    Signal(*static_cast<Waitable*>(event));
    return true;
}

bool TestStopEvent(Handle stop) { return Wait(stop, 0) == WaitResult::Signalled; }

void CloseStopEvent(Handle stop) { CloseHandle(stop); }

WaitResult Wait(Handle handle, std::uint32_t timeoutMs) {
    if (handle == nullptr) return WaitResult::Failed;
    auto& waitable = *static_cast<Waitable*>(handle);
    std::unique_lock<std::mutex> lock(waitable.Mutex);
    auto signalled = [&waitable] { return waitable.Signalled; };
    bool ready;
    if (timeoutMs == WaitForever) {
        waitable.Changed.wait(lock, signalled);
        ready = true;
    } else {
        ready = waitable.Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled);
    }
    if (!ready) return WaitResult::TimedOut;
    if (waitable.AutoReset) waitable.Signalled = false;
    return WaitResult::Signalled;
}

void CloseHandle(Handle handle) {
    if (handle == nullptr) return;
    auto* waitable = static_cast<Waitable*>(handle);
    if (auto* worker = dynamic_cast<Worker*>(waitable)) {
        RemoveLive(worker);
        if (worker->Thread.joinable()) {
            if (worker->Thread.get_id() == std::this_thread::get_id()) {
                worker->Thread.detach();  // closed from its own entry: it ends by itself
            } else {
                worker->Thread.join();
            }
        }
    }
    delete waitable;
}

}  // namespace Platform

namespace PosixBackEnd {

// A worker that has returned is joined as well: its thread is a few
// instructions from its end, and the process should not end with threads
// nobody joined.
bool AwaitWorkers(std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::lock_guard<std::mutex> guard(LiveLock);
    bool allEnded = true;
    for (Worker* worker = LiveWorkers; worker != nullptr; worker = worker->Next) {
        bool ended;
        {
            std::unique_lock<std::mutex> lock(worker->Mutex);
            ended = worker->Changed.wait_until(lock, deadline, [worker] { return worker->Signalled; });
        }
        if (ended && worker->Thread.joinable() &&
            worker->Thread.get_id() != std::this_thread::get_id()) {
            worker->Thread.join();
        }
        allEnded = allEnded && ended;
    }
    return allEnded;
}

}  // namespace PosixBackEnd
