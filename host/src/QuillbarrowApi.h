// Quillbarrow.dll loaded at run time: the module and its seven exports.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "exports/HostString.h"

struct QuillbarrowExports {
    bool(__cdecl* Get)(HostString* url) = nullptr;
    bool(__cdecl* Post)(HostString* url, HostString* data) = nullptr;
    bool(__cdecl* IsRun)() = nullptr;
    void(__cdecl* Stop)() = nullptr;
    std::uint32_t(__cdecl* GetReadSize)() = nullptr;
    bool(__cdecl* ReadString)(HostString* target) = nullptr;
    bool(__cdecl* ReadStringUTF8ToSJIS)(HostString* target) = nullptr;
};

// Loads the DLL from the given path and resolves every export; throws
// std::runtime_error naming what is missing. FreeLibrary on destruction,
// which lets the library report an error still pending.
class QuillbarrowLibrary {
public:
    explicit QuillbarrowLibrary(const std::string& dllPath);
    ~QuillbarrowLibrary();
    QuillbarrowLibrary(const QuillbarrowLibrary&) = delete;
    QuillbarrowLibrary& operator=(const QuillbarrowLibrary&) = delete;

    const QuillbarrowExports& Api() const { return api_; }

private:
    HMODULE module_ = nullptr;
    QuillbarrowExports api_;
};

// "<directory of this program>\Quillbarrow.dll".
std::string DllPathNextToProgram();
