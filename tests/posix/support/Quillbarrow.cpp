#include "Quillbarrow.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "TestStrings.h"

namespace {

constexpr std::chrono::seconds PollLimit{30};
int CaptureFd = -1;

template <typename Function>
bool Resolve(void* handle, Function& function, const char* name) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

template <typename Condition>
bool PollUntil(Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + PollLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace

Quillbarrow::Quillbarrow() {
    handle_ = dlopen(QUILLBARROW_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        ADD_FAILURE() << "dlopen: " << dlerror();
        return;
    }
    bool all = Resolve(handle_, Get, "Get");
    all = Resolve(handle_, Post, "Post") && all;
    all = Resolve(handle_, IsRun, "IsRun") && all;
    all = Resolve(handle_, Stop, "Stop") && all;
    all = Resolve(handle_, GetReadSize, "GetReadSize") && all;
    all = Resolve(handle_, ReadString, "ReadString") && all;
    all = Resolve(handle_, ReadStringUTF8ToSJIS, "ReadStringUTF8ToSJIS") && all;
    if (!all) ADD_FAILURE() << "an export is missing";
}

Quillbarrow::~Quillbarrow() {
    if (handle_ != nullptr) Unload();
}

bool Quillbarrow::Unload() {
    if (handle_ == nullptr) return true;
    dlclose(handle_);
    handle_ = nullptr;
    void* still = dlopen(QUILLBARROW_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (still == nullptr) return true;
    dlclose(still);
    return false;
}

bool Quillbarrow::WaitUntilIdle() { return PollUntil([this] { return !IsRun(); }); }

bool Quillbarrow::WaitForBytes(std::uint32_t count) {
    return PollUntil([this, count] { return GetReadSize() >= count; });
}

std::string Quillbarrow::Body() {
    TestString target("untouched");
    if (!ReadString(&target)) return "(ReadString refused)";
    return target.text();
}

void SetUpMessageCapture() {
    int file = memfd_create("quillbarrow-messages", MFD_CLOEXEC);
    if (file < 0) throw std::runtime_error("memfd_create failed");
    CaptureFd = file;
    setenv("QUILLBARROW_MESSAGE_FD", std::to_string(CaptureFd).c_str(), 1);
}

std::string Messages() {
    std::string all;
    char buffer[4096];
    for (off_t at = 0;;) {
        ssize_t got = pread(CaptureFd, buffer, sizeof buffer, at);
        if (got <= 0) break;
        all.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    return all;
}

void ClearMessages() {
    if (ftruncate(CaptureFd, 0) != 0 || lseek(CaptureFd, 0, SEEK_SET) != 0) {
        ADD_FAILURE() << "cannot empty the message file";
    }
}

std::string Box(const std::string& text) { return "Quillbarrow: " + text + "\n"; }

std::string ErrorBox(const std::string& line) { return Box("Quillbarrow error\n" + line); }
