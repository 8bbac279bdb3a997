// A scriptable stand-in for the operating system, for native unit tests.
// Workers run on real threads; WinINet answers from a script and every call
// is logged with its arguments; message boxes are recorded, not shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Fake {

struct Read {
    std::string Bytes;   // delivered even by a failing read (what came before the failure)
    bool Fails = false;
};

struct Script {
    std::uint32_t AttemptConnectResults[2] = {0, 0};  // first and second call
    bool OpenFails = false;
    bool ConnectFails = false;
    bool OpenRequestFails = false;
    bool SendFails = false;
    std::uint32_t LastError = 0;  // what GetLastError answers after a failure
    std::vector<Read> Reads;      // one per InternetReadFile; then 0 bytes
    bool RepeatLastRead = false;  // an endless body: the last read comes again and again
    bool CreateEventFails = false;
    bool StartWorkerFails = false;
    int FailingConversionCall = 0;  // 1..4: that conversion call fails
};

// Clears the script, the logs and the gate. Call between tests.
void Reset();
Script& Current();

// Every platform call the core made, one line each, in order; the stop
// event's creation, tests, signals and closing are left out unless asked for.
std::vector<std::string> Calls(bool withEvents = false);
std::vector<std::string> Messages();  // each box's text
std::vector<std::string> MessageCaptions();
std::vector<std::uint32_t> MessageStyles();

// Runs while a box is "open", on the thread that shows it.
void OnMessage(std::function<void(const std::string&)> handler);

// Read gate: the worker blocks when it starts read number `index` (0-based)
// until Release(); WaitUntilHeld() returns once it is blocked there.
void HoldRead(int index);
void WaitUntilHeld();
void Release();
// Releases the gate as soon as the stop event is signalled.
void ReleaseWhenSignalled();

// Memory committed through CommitMemory in reservations not yet released:
// now, and the most at any moment since ResetMemoryFigures().
std::size_t CommittedBytes();
std::size_t PeakCommittedBytes();
void ResetMemoryFigures();

}  // namespace Fake
