#include "QuillbarrowApi.h"

#include <stdexcept>
#include <vector>

namespace {

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        throw std::runtime_error(std::string("Quillbarrow.dll has no export ") + name +
                                 " (error " + std::to_string(GetLastError()) + ")");
    }
    // Through void(*)() so the compiler accepts the change of signature.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

QuillbarrowLibrary::QuillbarrowLibrary(const std::string& dllPath) {
    module_ = LoadLibraryA(dllPath.c_str());
    if (module_ == nullptr) {
        throw std::runtime_error("cannot load " + dllPath + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    try {
        Resolve(module_, "Get", api_.Get);
        Resolve(module_, "Post", api_.Post);
        Resolve(module_, "IsRun", api_.IsRun);
        Resolve(module_, "Stop", api_.Stop);
        Resolve(module_, "GetReadSize", api_.GetReadSize);
        Resolve(module_, "ReadString", api_.ReadString);
        Resolve(module_, "ReadStringUTF8ToSJIS", api_.ReadStringUTF8ToSJIS);
    } catch (...) {
        FreeLibrary(module_);
        throw;
    }
}

QuillbarrowLibrary::~QuillbarrowLibrary() { FreeLibrary(module_); }

std::string DllPathNextToProgram() {
    std::vector<char> path(MAX_PATH);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) break;
        if (length < path.size()) {
            std::string program(path.data(), length);
            std::string::size_type slash = program.find_last_of("\\/");
            std::string directory = slash == std::string::npos ? "." : program.substr(0, slash);
            return directory + "\\Quillbarrow.dll";
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
    throw std::runtime_error("cannot find the program's own path (error " +
                             std::to_string(GetLastError()) + ")");
}
