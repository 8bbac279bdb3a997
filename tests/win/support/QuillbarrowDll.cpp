#include "QuillbarrowDll.h"

std::string LibraryPathBesideExecutable() {
    char path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    std::size_t slash = directory.find_last_of("\\/");
    directory.resize(slash == std::string::npos ? 0 : slash + 1);
    return directory + "Quillbarrow.dll";
}

template <typename Function>
bool QuillbarrowDll::Resolve(Function& function, const char* name) {
    FARPROC address = ::GetProcAddress(module_, name);
    if (address == nullptr) {
        failure_ += std::string(failure_.empty() ? "" : ", ") + "no export named " + name;
        return false;
    }
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    return true;
}

QuillbarrowDll::QuillbarrowDll() {
    const std::string path = LibraryPathBesideExecutable();
    module_ = ::LoadLibraryA(path.c_str());
    if (module_ == nullptr) {
        failure_ = "LoadLibraryA(" + path + ") failed, error " + std::to_string(::GetLastError());
        return;
    }
    bool all = Resolve(Get, "Get");
    all = Resolve(Post, "Post") && all;
    all = Resolve(IsRun, "IsRun") && all;
    all = Resolve(Stop, "Stop") && all;
    all = Resolve(GetReadSize, "GetReadSize") && all;
    all = Resolve(ReadString, "ReadString") && all;
    all = Resolve(ReadStringUTF8ToSJIS, "ReadStringUTF8ToSJIS") && all;
    if (!all) Unload();
}

QuillbarrowDll::~QuillbarrowDll() { Unload(); }

void QuillbarrowDll::Unload() {
    if (module_ == nullptr) return;
    ::FreeLibrary(module_);
    module_ = nullptr;
    Get = nullptr;
    Post = nullptr;
    IsRun = nullptr;
    Stop = nullptr;
    GetReadSize = nullptr;
    ReadString = nullptr;
    ReadStringUTF8ToSJIS = nullptr;
}

bool QuillbarrowDll::Mapped() {
    return ::GetModuleHandleA(LibraryPathBesideExecutable().c_str()) != nullptr;
}

bool QuillbarrowDll::WaitUntilUnmapped(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Mapped()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::Sleep(10);
    }
    return true;
}

namespace {

// The export directory of a module mapped by the loader; null if it has none.
const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE module) {
    if (module == nullptr) return nullptr;
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.VirtualAddress == 0) return nullptr;
    return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
}

}  // namespace

std::size_t QuillbarrowDll::ExportedFunctionCount() const {
    const IMAGE_EXPORT_DIRECTORY* directory = ExportDirectory(module_);
    return directory == nullptr ? 0 : directory->NumberOfFunctions;
}

std::vector<std::string> QuillbarrowDll::ExportedNames() const {
    std::vector<std::string> names;
    const IMAGE_EXPORT_DIRECTORY* directory = ExportDirectory(module_);
    if (directory == nullptr) return names;
    const auto* base = reinterpret_cast<const unsigned char*>(module_);
    const auto* nameTable = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        names.emplace_back(reinterpret_cast<const char*>(base + nameTable[i]));
    }
    return names;
}
