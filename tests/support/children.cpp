#include "children.h"

#include <tlhelp32.h>

namespace wextest {

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

}  // namespace

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
