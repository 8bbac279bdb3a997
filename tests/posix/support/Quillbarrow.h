// libquillbarrow.so loaded with dlopen, its seven exports found by dlsym,
// and the messages it wrote to the descriptor named by
// QUILLBARROW_MESSAGE_FD (set up by the test program's main).
#pragma once

#include <cstdint>
#include <string>

#include "exports/HostString.h"

class Quillbarrow {
public:
    Quillbarrow();  // loads; a failure is a test failure
    ~Quillbarrow();
    Quillbarrow(const Quillbarrow&) = delete;
    Quillbarrow& operator=(const Quillbarrow&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    // dlclose; true when the library is really gone from the process.
    bool Unload();

    bool (*Get)(HostString* url) = nullptr;
    bool (*Post)(HostString* url, HostString* data) = nullptr;
    bool (*IsRun)() = nullptr;
    void (*Stop)() = nullptr;
    std::uint32_t (*GetReadSize)() = nullptr;
    bool (*ReadString)(HostString* target) = nullptr;
    bool (*ReadStringUTF8ToSJIS)(HostString* target) = nullptr;

    // Polls IsRun (which finishes the transfer) until it is false; false
    // when the worker still ran after half a minute.
    bool WaitUntilIdle();
    // Polls GetReadSize until it reaches count; false after half a minute.
    bool WaitForBytes(std::uint32_t count);
    // The body through ReadString.
    std::string Body();

private:
    void* handle_ = nullptr;
};

// Everything written to the message descriptor since the last Clear.
std::string Messages();
void ClearMessages();
// How the library writes one message: "Quillbarrow: <text>\n".
std::string Box(const std::string& text);
// The worker's report for one error line, e.g. "EventStop\n".
std::string ErrorBox(const std::string& line);

// Installs the message descriptor; called by main before any load.
void SetUpMessageCapture();
