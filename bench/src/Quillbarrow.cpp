#include "Quillbarrow.h"

namespace {
template <typename Function>
bool Find(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}
}  // namespace

bool Quillbarrow::Load() {
    if (module_ != nullptr) return true;
    module_ = LoadLibraryA(path_.c_str());
    if (module_ == nullptr) return false;
    if (Find(module_, "Get", Get) && Find(module_, "Post", Post) && Find(module_, "IsRun", IsRun) &&
        Find(module_, "Stop", Stop) && Find(module_, "GetReadSize", GetReadSize) &&
        Find(module_, "ReadString", ReadString) &&
        Find(module_, "ReadStringUTF8ToSJIS", ReadStringUTF8ToSJIS)) {
        return true;
    }
    Unload();
    return false;
}

void Quillbarrow::Unload() {
    if (module_ == nullptr) return;
    FreeLibrary(module_);
    module_ = nullptr;
    Get = nullptr;
    Post = nullptr;
    IsRun = nullptr;
    Stop = nullptr;
    GetReadSize = nullptr;
    ReadString = nullptr;
    ReadStringUTF8ToSJIS = nullptr;
}
