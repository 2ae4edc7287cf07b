#include "children.h"

#include <tlhelp32.h>

namespace wextest {

std::vector<DWORD> ChildrenNamed(const std::string& exeName) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, exeName.c_str()) == 0) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

void EndChildrenNamed(const std::string& exeName) {
    for (DWORD id : ChildrenNamed(exeName)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) continue;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

std::string BesideTest(const std::string& exeName) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.rfind('\\') + 1) + exeName;
}

}  // namespace wextest
