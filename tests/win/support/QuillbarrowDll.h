// The real Quillbarrow.dll, loaded with LoadLibraryA from beside the test
// executable, its seven exports resolved by name.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "HostString.h"

class QuillbarrowDll {
public:
    using GetFunction = bool(__cdecl*)(HostString* url);
    using PostFunction = bool(__cdecl*)(HostString* url, HostString* data);
    using IsRunFunction = bool(__cdecl*)();
    using StopFunction = void(__cdecl*)();
    using GetReadSizeFunction = std::uint32_t(__cdecl*)();
    using ReadFunction = bool(__cdecl*)(HostString* target);

    // Loads the library; failure() says what went wrong if loaded() is false.
    QuillbarrowDll();
    ~QuillbarrowDll();
    QuillbarrowDll(const QuillbarrowDll&) = delete;
    QuillbarrowDll& operator=(const QuillbarrowDll&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const std::string& failure() const { return failure_; }
    // Drops this host's reference to the library. A worker still setting up
    // its request keeps the library loaded until it reaches its reads or
    // ends; the unload (which stops and awaits the worker) comes then.
    void Unload();
    // Whether Quillbarrow.dll is mapped in this process at all, and a wait
    // until it no longer is.
    static bool Mapped();
    static bool WaitUntilUnmapped(std::chrono::milliseconds limit);
    // The names in the module's export directory, in its order.
    std::vector<std::string> ExportedNames() const;
    // Entries of the export address table, named or not.
    std::size_t ExportedFunctionCount() const;

    GetFunction Get = nullptr;
    PostFunction Post = nullptr;
    IsRunFunction IsRun = nullptr;
    StopFunction Stop = nullptr;
    GetReadSizeFunction GetReadSize = nullptr;
    ReadFunction ReadString = nullptr;
    ReadFunction ReadStringUTF8ToSJIS = nullptr;

private:
    template <typename Function>
    bool Resolve(Function& function, const char* name);

    HMODULE module_ = nullptr;
    std::string failure_;
};

// The full path of Quillbarrow.dll beside the running executable.
std::string LibraryPathBesideExecutable();
