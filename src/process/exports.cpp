// Process exports: argument checks, then the work in the process family.
#include "frame/export.h"
#include "process/launch.h"
#include "process/terminate.h"

using namespace wex;

extern "C" int WEXCALL RunCommand(const char* commandLine, const char* workingDirectory) {
    ExportCall call("RunCommand");
    call.Text(commandLine).Text(workingDirectory);
    if (!commandLine) return call.Return(0);
    return call.Run(0, [&] { return process::RunCommand(commandLine, workingDirectory); });
}

extern "C" int WEXCALL KillProcess(const char* taskPattern, int processId, int force) {
    ExportCall call("KillProcess");
    call.Text(taskPattern).Number(processId).Number(force);
    if (!taskPattern) return call.Return(0);
    return call.Run(0, [&] {
        process::SystemPerformanceRegistry registry;
        process::SystemProcessControl control;
        return process::KillProcesses(taskPattern, processId, force, registry, control);
    });
}

extern "C" int WEXCALL GetPID(const char* taskPattern) {
    ExportCall call("GetPID");
    call.Text(taskPattern);
    if (!taskPattern) return call.Return(0);
    return call.Run(0, [&] {
        process::SystemPerformanceRegistry registry;
        return process::FindProcessId(taskPattern, registry);
    });
}

extern "C" int WEXCALL StopServer(const char* taskPattern, const char* serviceName) {
    ExportCall call("StopServer");
    call.Text(taskPattern).Text(serviceName);
    if (!taskPattern || !serviceName) return call.Return(0);
    return call.Run(0, [&] {
        service::SystemServiceManager services;
        process::SystemPerformanceRegistry registry;
        process::SystemProcessControl control;
        return process::StopServer(taskPattern, serviceName, services, registry, control);
    });
}
