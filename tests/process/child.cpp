#include "child.h"

#include <gtest/gtest.h>

namespace wextest {

WindowChild::WindowChild(const std::vector<std::string>& titles) {
    std::string command = "\"" + BesideTest("wexwin.exe") + "\"";
    for (const std::string& title : titles) command += " \"" + title + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // No inherited handles: the child must not hold the test's output pipe.
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, "C:\\", &startup,
                        &info_)) {
        ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
        return;
    }
    WaitForInputIdle(info_.hProcess, 10000);
    // Idle also means its windows exist; check, in case the platform says
    // idle early.
    for (int i = 0; i < 200 && titles.size() > 0; ++i) {
        std::size_t own = 0;
        for (const WindowInfo& w : WindowsOf(info_.dwProcessId)) own += w.className == "WexWinWindow";
        if (own == titles.size()) break;
        Sleep(25);
    }
}

WindowChild::~WindowChild() {
    if (!info_.hProcess) return;
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 10000);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

long WindowChild::ExitCode(DWORD timeoutMs) const {
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

namespace {

struct Collect {
    DWORD processId;
    std::vector<WindowInfo>* windows;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
    Collect& c = *reinterpret_cast<Collect*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != c.processId) return TRUE;
    char className[256] = "", title[256] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    c.windows->push_back({window, className, title});
    return TRUE;
}

}  // namespace

std::vector<WindowInfo> WindowsOf(DWORD processId) {
    std::vector<WindowInfo> windows;
    Collect c{processId, &windows};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&c));
    return windows;
}

}  // namespace wextest
