#include "platform/fake/FakePlatform.h"

#include <condition_variable>
#include <cstring>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/Platform.h"

namespace Fake {
namespace {

struct Waitable {
    virtual ~Waitable() = default;
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Signalled = false;
    bool AutoReset = false;
};

struct Worker : Waitable {
    std::thread Thread;
};

struct World {
    std::mutex Mutex;
    Script Plan;
    std::vector<std::string> Log;
    std::vector<std::string> Texts, Captions;
    std::vector<std::uint32_t> Styles;
    std::function<void(const std::string&)> MessageHandler;
    std::uint32_t LastError = 0;
    std::size_t NextRead = 0;
    int AttemptCalls = 0;
    int ConversionCalls = 0;
    int HoldIndex = -1;
    bool Held = false;
    bool Released = false;
    bool ReleaseOnSignal = false;
    std::condition_variable GateChanged;
};

World& TheWorld() {
    static World world;
    return world;
}

void Record(const std::string& line) {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    TheWorld().Log.push_back(line);
}

std::string Text(const char* text) { return text == nullptr ? "null" : "\"" + std::string(text) + "\""; }

// WinINet handles are tokens named after what they stand for.
char InternetToken, ConnectionToken, RequestToken;
std::string HandleName(Platform::Handle handle) {
    if (handle == &InternetToken) return "internet";
    if (handle == &ConnectionToken) return "connection";
    if (handle == &RequestToken) return "request";
    return "?";
}

Platform::Handle Fail() {
    TheWorld().LastError = TheWorld().Plan.LastError;
    return nullptr;
}

}  // namespace

void Reset() {
    World& world = TheWorld();
    std::lock_guard<std::mutex> guard(world.Mutex);
    world.Plan = Script();
    world.Log.clear();
    world.Texts.clear();
    world.Captions.clear();
    world.Styles.clear();
    world.MessageHandler = nullptr;
    world.LastError = 0;
    world.NextRead = 0;
    world.AttemptCalls = 0;
    world.ConversionCalls = 0;
    world.HoldIndex = -1;
    world.Held = false;
    world.Released = false;
    world.ReleaseOnSignal = false;
}

Script& Current() { return TheWorld().Plan; }

std::vector<std::string> Calls(bool withEvents) {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    std::vector<std::string> calls;
    for (const std::string& line : TheWorld().Log) {
        bool isEvent = false;
        for (const char* prefix : {"TestStopEvent", "SignalEvent", "CreateStopEvent", "CloseStopEvent"}) {
            isEvent = isEvent || line.rfind(prefix, 0) == 0;
        }
        if (withEvents || !isEvent) calls.push_back(line);
    }
    return calls;
}

std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    return TheWorld().Texts;
}
std::vector<std::string> MessageCaptions() {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    return TheWorld().Captions;
}
std::vector<std::uint32_t> MessageStyles() {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    return TheWorld().Styles;
}

void OnMessage(std::function<void(const std::string&)> handler) {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    TheWorld().MessageHandler = std::move(handler);
}

void HoldRead(int index) {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    TheWorld().HoldIndex = index;
}

void WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(TheWorld().Mutex);
    TheWorld().GateChanged.wait(lock, [] { return TheWorld().Held; });
}

void Release() {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    TheWorld().Released = true;
    TheWorld().GateChanged.notify_all();
}

void ReleaseWhenSignalled() {
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    TheWorld().ReleaseOnSignal = true;
}

}  // namespace Fake

namespace Platform {

using namespace Fake;

Handle StartWorker(WorkerEntry entry, void* arg) {
    if (TheWorld().Plan.StartWorkerFails) return nullptr;
    auto* worker = new Worker();
    worker->Thread = std::thread([worker, entry, arg] {
        entry(arg);
        std::lock_guard<std::mutex> guard(worker->Mutex);
        worker->Signalled = true;
        worker->Changed.notify_all();
    });
    return worker;
}

void EndWorkerSetUp() {}

// Heap blocks, so that the sanitizers see past the end of a reservation;
// what is committed of each is counted.
namespace {

struct MemoryFigures {
    std::mutex Mutex;
    std::map<void*, std::size_t> Committed;
    std::size_t Total = 0;
    std::size_t Peak = 0;
};

MemoryFigures& Memory() {
    static MemoryFigures figures;
    return figures;
}

}  // namespace

void* ReserveMemory(std::size_t bytes) {
    void* base = std::malloc(bytes);
    if (base != nullptr) {
        std::lock_guard<std::mutex> guard(Memory().Mutex);
        Memory().Committed[base] = 0;
    }
    return base;
}

bool CommitMemory(void* base, std::size_t bytes) {
    MemoryFigures& memory = Memory();
    std::lock_guard<std::mutex> guard(memory.Mutex);
    std::size_t& committed = memory.Committed[base];
    if (bytes > committed) {
        memory.Total += bytes - committed;
        committed = bytes;
    }
    if (memory.Total > memory.Peak) memory.Peak = memory.Total;
    return true;
}

void ReleaseMemory(void* base) {
    if (base == nullptr) return;
    {
        MemoryFigures& memory = Memory();
        std::lock_guard<std::mutex> guard(memory.Mutex);
        auto at = memory.Committed.find(base);
        if (at != memory.Committed.end()) {
            memory.Total -= at->second;
            memory.Committed.erase(at);
        }
    }
    std::free(base);
}

Handle CreateStopEvent() {
    Record("CreateStopEvent()");
    if (TheWorld().Plan.CreateEventFails) return nullptr;
    auto* event = new Waitable();
    event->AutoReset = true;
    return event;
}

// The raise comes before the gate opens: a read released by it returns to
// a worker that then sees the raise, as a real stop during a read does.
bool SignalEvent(Handle event) {
    Record("SignalEvent(stop)");
    {
        auto* waitable = static_cast<Waitable*>(event);
        std::lock_guard<std::mutex> guard(waitable->Mutex);
        waitable->Signalled = true;
        waitable->Changed.notify_all();
    }
    std::lock_guard<std::mutex> guard(TheWorld().Mutex);
    if (TheWorld().ReleaseOnSignal) {
        TheWorld().Released = true;
        TheWorld().GateChanged.notify_all();
    }
    return true;
}

WaitResult Wait(Handle handle, std::uint32_t timeoutMs) {
    auto* waitable = static_cast<Waitable*>(handle);
    std::unique_lock<std::mutex> lock(waitable->Mutex);
    auto signalled = [waitable] { return waitable->Signalled; };
    bool ready = timeoutMs == WaitForever
                     ? (waitable->Changed.wait(lock, signalled), true)
                     : waitable->Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled);
    if (ready && waitable->AutoReset) waitable->Signalled = false;
    return ready ? WaitResult::Signalled : WaitResult::TimedOut;
}

bool TestStopEvent(Handle stop) {
    auto* waitable = static_cast<Waitable*>(stop);
    bool raised;
    {
        std::lock_guard<std::mutex> guard(waitable->Mutex);
        raised = std::exchange(waitable->Signalled, false);
    }
    Record(raised ? "TestStopEvent(stop)=raised" : "TestStopEvent(stop)=clear");
    return raised;
}

void CloseStopEvent(Handle stop) {
    Record("CloseStopEvent(stop)");
    delete static_cast<Waitable*>(stop);
}

void CloseHandle(Handle handle) {
    auto* waitable = static_cast<Waitable*>(handle);
    if (auto* worker = dynamic_cast<Worker*>(waitable)) {
        if (worker->Thread.joinable()) worker->Thread.join();
    }
    delete waitable;
}

void ShowMessageBox(const char* text, const char* caption, std::uint32_t style) {
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard<std::mutex> guard(TheWorld().Mutex);
        TheWorld().Texts.push_back(text);
        TheWorld().Captions.push_back(caption);
        TheWorld().Styles.push_back(style);
        handler = TheWorld().MessageHandler;
    }
    if (handler) handler(text);
}

std::uint32_t InternetAttemptConnect(std::uint32_t reserved) {
    int call = TheWorld().AttemptCalls++;
    Record("InternetAttemptConnect(" + std::to_string(reserved) + ")");
    return TheWorld().Plan.AttemptConnectResults[call < 1 ? 0 : 1];
}

Handle InternetOpen(const char* agent, std::uint32_t accessType, const char* proxy,
                    const char* proxyBypass, std::uint32_t flags) {
    std::ostringstream line;
    line << "InternetOpenA(" << Text(agent) << ", " << accessType << ", " << Text(proxy) << ", "
         << Text(proxyBypass) << ", " << flags << ")";
    Record(line.str());
    return TheWorld().Plan.OpenFails ? Fail() : &InternetToken;
}

bool InternetSetTimeout(Handle internet, std::uint32_t option, std::uint32_t milliseconds) {
    Record("InternetSetOptionA(" + HandleName(internet) + ", " + std::to_string(option) + ", " +
           std::to_string(milliseconds) + ")");
    return true;
}

Handle InternetConnect(Handle internet, const char* server, std::uint16_t port, const char* user,
                       const char* password, std::uint32_t service, std::uint32_t flags,
                       std::uintptr_t context) {
    std::ostringstream line;
    line << "InternetConnectA(" << HandleName(internet) << ", " << Text(server) << ", " << port
         << ", " << Text(user) << ", " << Text(password) << ", " << service << ", " << flags
         << ", " << context << ")";
    Record(line.str());
    return TheWorld().Plan.ConnectFails ? Fail() : &ConnectionToken;
}

Handle HttpOpenRequest(Handle connection, const char* verb, const char* object,
                       const char* version, const char* referrer, const char** acceptTypes,
                       std::uint32_t flags, std::uintptr_t context) {
    std::ostringstream line;
    line << "HttpOpenRequestA(" << HandleName(connection) << ", " << Text(verb) << ", "
         << Text(object) << ", " << Text(version) << ", " << Text(referrer) << ", "
         << (acceptTypes == nullptr ? "null" : "types") << ", 0x" << std::hex << flags << std::dec
         << ", " << context << ")";
    Record(line.str());
    return TheWorld().Plan.OpenRequestFails ? Fail() : &RequestToken;
}

bool HttpSendRequest(Handle request, const char* headers, std::uint32_t headersLength,
                     const void* optional, std::uint32_t optionalLength) {
    std::ostringstream line;
    line << "HttpSendRequestA(" << HandleName(request) << ", " << Text(headers) << ", "
         << headersLength << ", "
         << (optional == nullptr
                 ? std::string("null")
                 : Text(std::string(static_cast<const char*>(optional), optionalLength).c_str()))
         << ", " << optionalLength << ")";
    Record(line.str());
    if (TheWorld().Plan.SendFails) {
        Fail();
        return false;
    }
    return true;
}

bool InternetReadFile(Handle request, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    World& world = TheWorld();
    std::unique_lock<std::mutex> lock(world.Mutex);
    std::size_t index = world.NextRead++;
    world.Log.push_back("InternetReadFile(" + HandleName(request) + ", " + std::to_string(toRead) + ")");
    if (static_cast<int>(index) == world.HoldIndex) {
        world.Held = true;
        world.GateChanged.notify_all();
        world.GateChanged.wait(lock, [&world] { return world.Released; });
    }
    *read = 0;
    if (world.Plan.Reads.empty()) return true;
    if (index >= world.Plan.Reads.size()) {
        if (!world.Plan.RepeatLastRead) return true;
        index = world.Plan.Reads.size() - 1;
    }
    const Read& step = world.Plan.Reads[index];
    std::size_t count = step.Bytes.size() < toRead ? step.Bytes.size() : toRead;
    std::memcpy(buffer, step.Bytes.data(), count);
    *read = static_cast<std::uint32_t>(count);
    return !step.Fails;
}

bool InternetCloseHandle(Handle internet) {
    Record("InternetCloseHandle(" + HandleName(internet) + ")");
    return true;
}

std::uint32_t GetLastError() { return TheWorld().LastError; }

// UTF-8 to UTF-16 and UTF-16 to Latin-1 ("ANSI"), enough to exercise the
// conversion's calls; malformed input becomes U+FFFD.
namespace {

bool ConversionFails() {
    return ++TheWorld().ConversionCalls == TheWorld().Plan.FailingConversionCall;
}

std::u16string DecodeUtf8(const char* in, int inLength) {
    std::size_t length = inLength < 0 ? std::strlen(in) + 1 : static_cast<std::size_t>(inLength);
    std::u16string out;
    for (std::size_t i = 0; i < length;) {
        auto c = static_cast<unsigned char>(in[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= length) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        char32_t code = extra == 0 ? c : c & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(in[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += extra + 1;
    }
    return out;
}

template <typename Unit>
int CopyOut(const std::basic_string<Unit>& text, Unit* out, int outLength) {
    if (outLength == 0) return static_cast<int>(text.size());
    if (static_cast<int>(text.size()) > outLength) return 0;
    std::copy(text.begin(), text.end(), out);
    return static_cast<int>(text.size());
}

}  // namespace

int MultiByteToWideChar(std::uint32_t codePage, std::uint32_t flags, const char* in, int inLength,
                        char16_t* out, int outLength) {
    Record("MultiByteToWideChar(" + std::to_string(codePage) + ", " + std::to_string(flags) + ", " +
           std::to_string(inLength) + ", " + (out == nullptr ? "null" : "buffer") + ", " +
           std::to_string(outLength) + ")");
    if (ConversionFails()) return 0;
    return CopyOut(DecodeUtf8(in, inLength), out, outLength);
}

int WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags, const char16_t* in,
                        int inLength, char* out, int outLength, const char* defaultChar,
                        int* usedDefaultChar) {
    Record("WideCharToMultiByte(" + std::to_string(codePage) + ", " + std::to_string(flags) + ", " +
           std::to_string(inLength) + ", " + (out == nullptr ? "null" : "buffer") + ", " +
           std::to_string(outLength) + ", " + Text(defaultChar) + ", " +
           (usedDefaultChar == nullptr ? "null" : "flag") + ")");
    if (ConversionFails()) return 0;
    std::size_t length = 0;
    if (inLength < 0) {
        while (in[length] != 0) ++length;
        ++length;
    } else {
        length = static_cast<std::size_t>(inLength);
    }
    std::string ansi;
    for (std::size_t i = 0; i < length; ++i) {
        ansi += in[i] < 0x100 ? static_cast<char>(in[i]) : defaultChar[0];
    }
    return CopyOut(ansi, out, outLength);
}

}  // namespace Platform

namespace Fake {

std::size_t CommittedBytes() {
    std::lock_guard<std::mutex> guard(Platform::Memory().Mutex);
    return Platform::Memory().Total;
}

std::size_t PeakCommittedBytes() {
    std::lock_guard<std::mutex> guard(Platform::Memory().Mutex);
    return Platform::Memory().Peak;
}

void ResetMemoryFigures() {
    std::lock_guard<std::mutex> guard(Platform::Memory().Mutex);
    Platform::Memory().Peak = Platform::Memory().Total;
}

}  // namespace Fake
