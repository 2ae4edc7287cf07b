// Process exports: argument checks, then the work in terminate.h.
#include "frame/export.h"
#include "process/terminate.h"

using namespace wex;

extern "C" int WEXCALL KillProcess(const char* taskPattern, int processId, int force) {
    if (!taskPattern) return 0;
    return ExportBoundary(0, [&] { return process::KillProcesses(taskPattern, processId, force); });
}

extern "C" int WEXCALL GetPID(const char* taskPattern) {
    if (!taskPattern) return 0;
    return ExportBoundary(0, [&] { return process::FindProcessId(taskPattern); });
}
