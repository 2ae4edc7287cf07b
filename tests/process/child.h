// A running wexwin.exe (tools/wexwin) with windows titled as asked. The test
// owns it: it is terminated and waited for when the object goes, so no
// process outlives the test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "programs.h"

namespace wextest {

class WindowChild {
public:
    // One top-level window per title ("" gives an untitled window); no
    // titles: a process without windows. Returns once the windows exist.
    explicit WindowChild(const std::vector<std::string>& titles);
    ~WindowChild();
    WindowChild(const WindowChild&) = delete;
    WindowChild& operator=(const WindowChild&) = delete;

    DWORD Id() const { return info_.dwProcessId; }
    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // The exit code once the process has ended within timeoutMs, else -1.
    long ExitCode(DWORD timeoutMs) const;

private:
    PROCESS_INFORMATION info_{};
};

// The top-level windows of a process in enumeration order, with their class.
struct WindowInfo {
    HWND window;
    std::string className;
    std::string title;
};
std::vector<WindowInfo> WindowsOf(DWORD processId);

}  // namespace wextest
