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

// Standard output and error into the pipe's write end.
template <class StartupInfo>
StartupInfo WritingTo(HANDLE writeEnd) {
    StartupInfo si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    return si;
}

// commandLine: a std::string for CreateProcessA, a std::wstring for CreateProcessW.
template <class Text>
ProgramRun Run(Text commandLine, const void* environment, DWORD flags) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    PROCESS_INFORMATION pi{};
    if constexpr (sizeof(commandLine[0]) == 1) {
        STARTUPINFOA si = WritingTo<STARTUPINFOA>(writeEnd);
        run.started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, flags,
                                     const_cast<void*>(environment), nullptr, &si, &pi);
    } else {
        STARTUPINFOW si = WritingTo<STARTUPINFOW>(writeEnd);
        run.started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, flags,
                                     const_cast<void*>(environment), nullptr, &si, &pi);
    }
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

ProgramRun RunProgram(std::wstring commandLine) { return Run(std::move(commandLine), nullptr, 0); }

}  // namespace wextest
