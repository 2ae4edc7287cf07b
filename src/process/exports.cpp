// Process exports: argument checks, then the work in the process family.
#include "frame/export.h"
#include "process/launch.h"
#include "process/terminate.h"

using namespace wex;

extern "C" int WEXCALL RunCommand(const char* commandLine, const char* workingDirectory) {
    if (!commandLine) return 0;
    return ExportBoundary(0, [&] { return process::RunCommand(commandLine, workingDirectory); });
}

extern "C" int WEXCALL KillProcess(const char* taskPattern, int processId, int force) {
    if (!taskPattern) return 0;
    return ExportBoundary(0, [&] { return process::KillProcesses(taskPattern, processId, force); });
}

extern "C" int WEXCALL GetPID(const char* taskPattern) {
    if (!taskPattern) return 0;
    return ExportBoundary(0, [&] { return process::FindProcessId(taskPattern); });
}

extern "C" int WEXCALL StopServer(const char* taskPattern, const char* serviceName) {
    if (!taskPattern || !serviceName) return 0;
    return ExportBoundary(0, [&] { return process::StopServer(taskPattern, serviceName); });
}
