#include "children.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include "scratch.h"

namespace wextest {

ChildProcess::ChildProcess(std::string commandLine, const char* directory) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    for (int attempt = 0; attempt < 5 && !Started(); ++attempt) {
        if (attempt > 0) Sleep(200);
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                            &info_)) {
            startError_ = GetLastError();
            info_ = PROCESS_INFORMATION{};
        }
    }
}

ChildProcess::ChildProcess(std::wstring commandLine, const wchar_t* directory) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    for (int attempt = 0; attempt < 5 && !Started(); ++attempt) {
        if (attempt > 0) Sleep(200);
        if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                            &info_)) {
            startError_ = GetLastError();
            info_ = PROCESS_INFORMATION{};
        }
    }
}

ChildProcess::~ChildProcess() {
    End();
    if (!Started()) return;
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool ChildProcess::Running() const {
    return Started() && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

long ChildProcess::ExitCode(DWORD timeoutMs) const {
    if (!Started() || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

bool ChildProcess::Suspend() {
    if (!Started() || SuspendThread(info_.hThread) == static_cast<DWORD>(-1)) return false;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    return GetThreadContext(info_.hThread, &context) != 0;
}

bool ChildProcess::Resume() { return Started() && ResumeThread(info_.hThread) != static_cast<DWORD>(-1); }

void ChildProcess::End() {
    if (!Running()) return;
    // No program here ends with this code by itself.
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, INFINITE);
}

WindowChild::WindowChild(const std::vector<std::string>& titles)
    : ChildProcess([&] {
          std::string command = "\"" + BesideTest("wexwin.exe") + "\"";
          for (const std::string& title : titles) command += " \"" + title + "\"";
          return command;
      }()) {
    AwaitWindows(titles.size());
}

WindowChild::WindowChild(const std::wstring& program, const std::vector<std::string>& titles)
    : ChildProcess(
          [&] {
              std::wstring command = L"\"" + program + L"\"";
              for (const std::string& title : titles) command += L" \"" + Wide(title) + L"\"";
              return command;
          }(),
          L"C:\\") {
    AwaitWindows(titles.size());
}

void WindowChild::AwaitWindows(std::size_t count) {
    if (!Started()) {
        ADD_FAILURE() << "cannot start wexwin.exe: " << StartError();
        return;
    }
    WaitForInputIdle(Process(), 10000);
    // Idle also means its windows exist; check, in case the platform says
    // idle early.
    for (int i = 0; i < 200 && count > 0; ++i) {
        std::size_t own = 0;
        for (const WindowInfo& w : WindowsOf(Id())) own += w.className == "WexWinWindow";
        if (own == count) break;
        Sleep(25);
    }
}

namespace {

// Ids of the running processes with this exe name whose parent is parentId.
std::vector<DWORD> ProcessesNamed(const std::string& exeName, DWORD parentId) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parentId && lstrcmpiA(entry.szExeFile, exeName.c_str()) == 0) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

// Ends a process, or gives it a moment to end by itself first.
void End(DWORD id, DWORD graceMs) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) return;
    if (WaitForSingleObject(process, graceMs) != WAIT_OBJECT_0) TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

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

std::vector<DWORD> ChildrenNamed(const std::string& exeName) {
    return ProcessesNamed(exeName, GetCurrentProcessId());
}

void EndChildrenNamed(const std::string& exeName) {
    for (DWORD child : ChildrenNamed(exeName)) {
        // Wine serves each new console with a conhost.exe that the child
        // starts. A child ended before that console is fully set up can leave
        // it running, holding the test's output pipe: end it as well.
        std::vector<DWORD> consoles = ProcessesNamed("conhost.exe", child);
        End(child, 0);
        for (DWORD console : consoles) End(console, 3000);
    }
}

}  // namespace wextest
