#include <windows.h>

#include "transfer/Library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        LoadLibraryState();
        break;
    case DLL_PROCESS_DETACH:
        // reserved is non-null when the process is exiting.
        UnloadLibraryState(reserved != nullptr);
        break;
    default:
        break;
    }
    return TRUE;
}
