// Process exports and their wide twins: argument checks, then the work in the
// process family, which takes the texts in the call's encoding.
#include "frame/export.h"
#include "process/launch.h"
#include "process/terminate.h"

using namespace wex;

namespace {

template <class Char>
int RunCommandCall(const char* exportName, const Char* givenCommandLine, const Char* givenDirectory) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText commandLine(givenCommandLine), workingDirectory(givenDirectory);
    call.Text(commandLine).Text(workingDirectory);
    if (!commandLine) return call.Return(0);
    // Null means our own directory: a directory given that could not be
    // converted must not become that.
    if (givenDirectory && !workingDirectory) return call.Return(0);
    return call.Run(0, [&] { return process::RunCommand(commandLine, workingDirectory); });
}

template <class Char>
int KillProcessCall(const char* exportName, const Char* givenPattern, int processId, int force) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText taskPattern(givenPattern);
    call.Text(taskPattern).Number(processId).Number(force);
    if (!taskPattern) return call.Return(0);
    return call.Run(0, [&] {
        process::SystemPerformanceRegistry registry;
        process::SystemProcessControl control;
        return process::KillProcesses(taskPattern, processId, force, registry, control);
    });
}

template <class Char>
int GetPidCall(const char* exportName, const Char* givenPattern) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText taskPattern(givenPattern);
    call.Text(taskPattern);
    if (!taskPattern) return call.Return(0);
    return call.Run(0, [&] {
        process::SystemPerformanceRegistry registry;
        return process::FindProcessId(taskPattern, registry);
    });
}

template <class Char>
int StopServerCall(const char* exportName, const Char* givenPattern, const Char* givenService) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText taskPattern(givenPattern), serviceName(givenService);
    call.Text(taskPattern).Text(serviceName);
    if (!taskPattern || !serviceName) return call.Return(0);
    return call.Run(0, [&] {
        service::SystemServiceManager services;
        process::SystemPerformanceRegistry registry;
        process::SystemProcessControl control;
        return process::StopServer(taskPattern, serviceName, services, registry, control);
    });
}

}  // namespace

extern "C" int WEXCALL RunCommand(const char* commandLine, const char* workingDirectory) {
    return RunCommandCall("RunCommand", commandLine, workingDirectory);
}

extern "C" int WEXCALL RunCommandW(const wchar_t* commandLine, const wchar_t* workingDirectory) {
    return RunCommandCall("RunCommandW", commandLine, workingDirectory);
}

extern "C" int WEXCALL KillProcess(const char* taskPattern, int processId, int force) {
    return KillProcessCall("KillProcess", taskPattern, processId, force);
}

extern "C" int WEXCALL KillProcessW(const wchar_t* taskPattern, int processId, int force) {
    return KillProcessCall("KillProcessW", taskPattern, processId, force);
}

extern "C" int WEXCALL GetPID(const char* taskPattern) { return GetPidCall("GetPID", taskPattern); }

extern "C" int WEXCALL GetPIDW(const wchar_t* taskPattern) { return GetPidCall("GetPIDW", taskPattern); }

extern "C" int WEXCALL StopServer(const char* taskPattern, const char* serviceName) {
    return StopServerCall("StopServer", taskPattern, serviceName);
}

extern "C" int WEXCALL StopServerW(const wchar_t* taskPattern, const wchar_t* serviceName) {
    return StopServerCall("StopServerW", taskPattern, serviceName);
}
