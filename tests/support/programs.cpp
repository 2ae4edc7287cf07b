#include "programs.h"

#include <utility>

namespace wextest {

std::string BesideTest(const std::string& file) {
    char exe[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe, length);
    return path.substr(0, path.rfind('\\') + 1) + file;
}

namespace {

ProgramRun Run(std::string commandLine, const void* environment, DWORD flags) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    run.started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, flags,
                                 const_cast<void*>(environment), nullptr, &si, &pi);
    // Our copy of the write end must go, or the read below never ends.
    CloseHandle(writeEnd);
    if (run.started) {
        char chunk[512];
        DWORD n;
        while (ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) && n > 0) run.output.append(chunk, n);
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

}  // namespace

ProgramRun RunProgram(std::string commandLine, const char* environment) {
    return Run(std::move(commandLine), environment, 0);
}

ProgramRun RunProgram(std::string commandLine, const wchar_t* environment) {
    return Run(std::move(commandLine), environment, CREATE_UNICODE_ENVIRONMENT);
}

}  // namespace wextest
