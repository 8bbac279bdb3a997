#include <windows.h>

#include "transfer/Library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        LoadLibraryState();
        break;
    case DLL_PROCESS_DETACH:
        // reserved is non-null when the process is exiting. No message box
        // here: under the loader lock it can wait for ever on a thread that
        // needs that lock (seen under Wine), and User32 is not to be called
        // from this notification at all.
        UnloadLibraryState(reserved != nullptr, false);
        break;
    default:
        break;
    }
    return TRUE;
}
