// The library's entry routine: runs after the C runtime has started on load
// and before it shuts down on unload. It never refuses the load.
#include <windows.h>

#include "frame/diagnostics.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        wex::DebugBox("DLL_PROCESS_ATTACH");
        break;
    case DLL_PROCESS_DETACH:
        wex::DebugBox("DLL_PROCESS_DETACH");
        break;
    default:
        break;
    }
    return TRUE;
}
