// Test fixture: a DLL with only three of Quillbarrow.dll's seven exports,
// so the host's check of every export can be seen to fail by name.
extern "C" __declspec(dllexport) bool Get(void*) { return false; }
extern "C" __declspec(dllexport) bool Post(void*, void*) { return false; }
extern "C" __declspec(dllexport) bool IsRun() { return false; }
