// The library's entry routine: runs after the C runtime has started on load
// and before it shuts down on unload. It never refuses the load. It runs
// inside the loader lock, where the log is neither opened nor written
// (EntryRoutineScope).
#include <windows.h>

#include "frame/diagnostics.h"
#include "frame/unattended.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        const wex::EntryRoutineScope entry(true);
        wex::DebugBox("DLL_PROCESS_ATTACH");
        break;
    }
    case DLL_PROCESS_DETACH: {
        const wex::EntryRoutineScope entry(false);
        wex::DebugBox("DLL_PROCESS_DETACH");
        break;
    }
    default:
        break;
    }
    return TRUE;
}
