// Quillbarrow.dll loaded at run time, as a host loads it: LoadLibraryA and
// GetProcAddress of the seven undecorated cdecl exports.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "exports/HostString.h"

class Quillbarrow {
public:
    explicit Quillbarrow(std::string path) : path_(std::move(path)) {}
    ~Quillbarrow() { Unload(); }
    Quillbarrow(const Quillbarrow&) = delete;
    Quillbarrow& operator=(const Quillbarrow&) = delete;

    // Loads the DLL and finds the exports; false (and nothing loaded) when
    // either fails.
    bool Load();
    // FreeLibrary: the library stops its worker and frees Body.
    void Unload();
    // Unload then Load: every round starts with an empty Body, as the
    // baseline starts with an empty string.
    bool Reload() { Unload(); return Load(); }
    HMODULE module() const { return module_; }

    bool (*Get)(HostString* url) = nullptr;
    bool (*Post)(HostString* url, HostString* data) = nullptr;
    bool (*IsRun)() = nullptr;
    void (*Stop)() = nullptr;
    std::uint32_t (*GetReadSize)() = nullptr;
    bool (*ReadString)(HostString* target) = nullptr;
    bool (*ReadStringUTF8ToSJIS)(HostString* target) = nullptr;

private:
    std::string path_;
    HMODULE module_ = nullptr;
};
