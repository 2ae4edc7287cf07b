// A helper program that an item file test starts and owns: started on drive
// C: (where the library's temporary files go) with no handles of the test, ended
// and waited for when the object goes, and stopped where it stands on
// request. Also the siblings and turn files that edits leave beside a
// target, as a test looks for them.
#pragma once

#include <windows.h>

#include <string>

namespace itemtest {

class Program {
public:
    explicit Program(std::string commandLine) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // Under load the platform now and then refuses a start for a moment.
        for (int attempt = 0; attempt < 5 && !info_.hProcess; ++attempt) {
            if (attempt > 0) Sleep(200);
            if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, "C:\\", &startup,
                                &info_)) {
                info_ = PROCESS_INFORMATION{};
                startError_ = GetLastError();
            }
        }
    }
    ~Program() { End(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    DWORD StartError() const { return startError_; }
    bool Running() const { return Started() && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // The exit code once the program has ended within timeoutMs, else -1.
    long ExitCode(DWORD timeoutMs) const {
        DWORD code = 0;
        if (!Started() || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(info_.hProcess, &code))
            return -1;
        return static_cast<long>(code);
    }

    // Stops the program's main thread and returns once it stands still:
    // SuspendThread only asks for the stop, reading the thread's context
    // waits until it has happened.
    bool Suspend() {
        if (SuspendThread(info_.hThread) == static_cast<DWORD>(-1)) return false;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        return GetThreadContext(info_.hThread, &context) != 0;
    }
    bool Resume() { return ResumeThread(info_.hThread) != static_cast<DWORD>(-1); }

    void End() {
        if (!Started()) return;
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, INFINITE);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
        info_ = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION info_{};
    DWORD startError_ = 0;
};

// The size of the first rewrite sibling of target in folder
// ("<target>.wexlib-new" and whatever makes its name unique), or -1 when
// there is none.
inline long long SiblingSize(const std::string& folder, const std::string& target) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\" + target + ".wexlib-new*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return -1;
    FindClose(find);
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Starts rewriter.exe on target and stops it once its rewrite's sibling
// holds at least minBytes: mid-rewrite, holding the target's turn. A stop
// that comes after that rewrite ended lets it go on to the next one. False
// when the rewriter stopped by itself or nothing came within two minutes.
inline bool StopMidRewrite(Program& rewriter, const std::string& folder, const std::string& target,
                           long long minBytes) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
        if (!rewriter.Running()) return false;
        if (SiblingSize(folder, target) < minBytes) {
            Sleep(1);
            continue;
        }
        if (!rewriter.Suspend()) return false;
        if (SiblingSize(folder, target) >= minBytes) return true;
        rewriter.Resume();
    }
    return false;
}

}  // namespace itemtest
