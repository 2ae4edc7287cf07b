// The processes that tests start. A test that starts one owns it through a
// ChildProcess, which terminates it and waits for it when the object goes; a
// process that the library started on a test's behalf runs on after the
// export returns, and the test ends it by name. Either way no process
// outlives the test: one left behind would keep CTest waiting.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "programs.h"

namespace wextest {

class ChildProcess {
public:
    // Starts commandLine in directory (on drive C: unless told otherwise),
    // with no inherited handles: the child must not hold the test's output
    // pipe. Under load the platform now and then refuses a start for a
    // moment: a few tries.
    explicit ChildProcess(std::string commandLine, const char* directory = "C:\\");
    // The same with a UTF-16 command line and directory: a program or folder
    // named in any language.
    ChildProcess(std::wstring commandLine, const wchar_t* directory);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    // Why the start failed.
    DWORD StartError() const { return startError_; }
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Process() const { return info_.hProcess; }
    bool Running() const;
    // The exit code once the process has ended within timeoutMs, else -1.
    long ExitCode(DWORD timeoutMs) const;

    // Stops the program's main thread and returns once it stands still.
    // SuspendThread only asks for the stop; reading the thread's context
    // waits until it has happened. False when either call fails.
    bool Suspend();
    bool Resume();

    // Terminates it and waits until it is gone; nothing once it has ended.
    void End();

private:
    PROCESS_INFORMATION info_{};
    DWORD startError_ = 0;
};

// A running wexwin.exe (tools/wexwin) with windows titled as asked.
class WindowChild : public ChildProcess {
public:
    // One top-level window per title ("" gives an untitled window); no
    // titles: a process without windows. Returns once the windows exist.
    explicit WindowChild(const std::vector<std::string>& titles);
    // program (a copy of wexwin.exe under any name) with titles given as
    // UTF-8, in any language.
    WindowChild(const std::wstring& program, const std::vector<std::string>& titles);

private:
    void AwaitWindows(std::size_t count);
};

// The top-level windows of a process in enumeration order, with their class.
struct WindowInfo {
    HWND window;
    std::string className;
    std::string title;
};
std::vector<WindowInfo> WindowsOf(DWORD processId);

// Ids of the running processes with this exe name whose parent is this process.
std::vector<DWORD> ChildrenNamed(const std::string& exeName);

// Ends them and waits until they are gone.
void EndChildrenNamed(const std::string& exeName);

}  // namespace wextest
