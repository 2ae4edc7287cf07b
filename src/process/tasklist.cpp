#include "process/tasklist.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/winhandles.h"
#include "process/perfdata.h"

namespace wex {
namespace process {
namespace {

constexpr DWORD kInitialDataSize = 51200;
constexpr DWORD kDataGrowth = 25600;
// Far beyond any real process object; keeps the growth arithmetic in range.
constexpr DWORD kMaxDataSize = 0x40000000;
// Far beyond any real counter-names list; keeps the spare bytes in range.
constexpr DWORD kMaxCounterListSize = 0x10000000;

// A process's name in the call's encoding, at most 259 characters: for an A
// export what the platform's A functions give (the ANSI code page, its best
// fit or "?"), for a W export the name exactly.
bool ConvertName(const std::uint16_t* name, char* out) {
    static_assert(sizeof(wchar_t) == sizeof(std::uint16_t), "UTF-16 wchar_t");
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(name);
    if (CurrentCallEncoding() == CallEncoding::Ansi)
        return WideCharToMultiByte(CP_ACP, 0, wide, -1, out, static_cast<int>(kConvertedNameSize), nullptr,
                                   nullptr) != 0;
    const std::size_t units = std::wcslen(wide);
    if (units >= kConvertedNameSize) return false;
    const std::string text = Narrow(std::wstring_view(wide, units));
    if (text.size() >= kConvertedNameRoom) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// The instance-name bound counts characters as the caller does.
std::size_t CallNameLength(std::string_view name) { return CallLength(name); }

// A string value read with the W function, as the platform's A function
// hands it out: converted to the call's encoding unit by unit, its zeros
// included, then sized or copied as a byte value would be.
LONG QueryStringValue(HKEY key, const wchar_t* name, BYTE* data, DWORD* size) {
    std::wstring wide;
    for (int attempt = 0;; ++attempt) {
        DWORD bytes = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
        const LONG status = RegQueryValueExW(key, name, nullptr, nullptr,
                                             wide.empty() ? nullptr : reinterpret_cast<BYTE*>(&wide[0]), &bytes);
        if (status == ERROR_SUCCESS && !wide.empty() && bytes <= wide.size() * sizeof(wchar_t)) {
            wide.resize(bytes / sizeof(wchar_t));
            break;
        }
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return status;
        if (attempt == 4 || bytes > kMaxCounterListSize) return ERROR_MORE_DATA;
        wide.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    }
    const std::string text = Narrow(wide);
    const DWORD needed = static_cast<DWORD>(text.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, text.data(), text.size());
    }
    *size = needed;
    return ERROR_SUCCESS;
}

bool ReadCounterIndexes(PerformanceRegistry& registry, CounterIndexes& indexes) {
    char keyName[128];
    wsprintfA(keyName, "%s\\%03x", "software\\microsoft\\windows nt\\currentversion\\perflib", 9);
    HKEY key = nullptr;
    if (registry.OpenKey(HKEY_LOCAL_MACHINE, keyName, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ScopeExit closeKey([&] { registry.CloseKey(key); });

    DWORD size = 0;
    if (registry.QueryValue(key, "Counters", nullptr, &size) != ERROR_SUCCESS) return false;
    if (size > kMaxCounterListSize) return false;
    // Two spare zero bytes end the list even when the value itself is not
    // properly terminated.
    std::vector<char> list(static_cast<std::size_t>(size) + 2, '\0');
    if (registry.QueryValue(key, "Counters", reinterpret_cast<BYTE*>(list.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    indexes = FindCounterIndexes(list.data(), std::min<std::size_t>(size, list.size() - 2));
    return true;
}

bool ReadPerformanceData(PerformanceRegistry& registry, const char* objectIndex, std::vector<unsigned char>& data,
                         DWORD* returned) {
    data.assign(kInitialDataSize, 0);
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size());
        const LONG status = registry.QueryValue(HKEY_PERFORMANCE_DATA, objectIndex, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            *returned = std::min<DWORD>(size, static_cast<DWORD>(data.size()));
            return true;
        }
        if (status != ERROR_MORE_DATA) return false;
        // The size a failed query leaves is not defined for performance
        // data; growing from less than the buffer already held could loop
        // for ever on the same answer.
        const DWORD grown = std::max<DWORD>(size, static_cast<DWORD>(data.size()));
        if (grown > kMaxDataSize) return false;
        data.assign(grown + kDataGrowth, 0);
    }
}

}  // namespace

LONG SystemPerformanceRegistry::OpenKey(HKEY root, const char* subKey, REGSAM access, HKEY* key) {
    return RegOpenKeyExW(root, Widen(subKey).c_str(), 0, access, key);
}

LONG SystemPerformanceRegistry::QueryValue(HKEY key, const char* name, BYTE* data, DWORD* size) {
    // The performance data is binary (its instance names UTF-16 whichever
    // function reads it); the counter names are strings.
    if (key == HKEY_PERFORMANCE_DATA) return RegQueryValueExW(key, Widen(name).c_str(), nullptr, nullptr, data, size);
    return QueryStringValue(key, Widen(name).c_str(), data, size);
}

LONG SystemPerformanceRegistry::CloseKey(HKEY key) { return RegCloseKey(key); }

bool ReadPerformanceTasks(PerformanceRegistry& registry, TaskRecord* tasks, std::size_t capacity,
                          std::size_t* filled) {
    *filled = 0;
    // Closing the pseudo-key releases what the performance queries loaded.
    ScopeExit closePerformanceData([&] { registry.CloseKey(HKEY_PERFORMANCE_DATA); });
    try {
        CounterIndexes indexes;
        if (!ReadCounterIndexes(registry, indexes)) return false;
        if (indexes.processObject.empty() || !indexes.hasIdProcess) return false;
        std::vector<unsigned char> data;
        DWORD size = 0;
        if (!ReadPerformanceData(registry, indexes.processObject.c_str(), data, &size)) return false;
        return ReadProcessObject(data.data(), size, indexes.idProcess, tasks, capacity - 1, ConvertName,
                                 filled, CallNameLength);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::size_t SnapshotTasks(TaskRecord* tasks, std::size_t capacity) {
    const std::size_t limit = capacity - 1;
    // Its empty value is INVALID_HANDLE_VALUE, as for files.
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    std::size_t count = 0;
    std::uint16_t base[MAX_PATH + 1];
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more && count < limit;
         more = Process32NextW(snapshot.Get(), &entry)) {
        // The executable's base name without its extension, as the
        // performance data names a process instance.
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        const wchar_t* start = entry.szExeFile;
        for (const wchar_t* p = entry.szExeFile; *p; ++p)
            if (*p == L'\\' || *p == L'/') start = p + 1;
        std::size_t length = 0;
        while (start[length]) ++length;
        std::size_t stemLength = length;
        for (std::size_t i = length; i > 0; --i) {
            if (start[i - 1] == L'.') {
                stemLength = i - 1;
                break;
            }
        }
        for (std::size_t i = 0; i < stemLength; ++i) base[i] = static_cast<std::uint16_t>(start[i]);
        base[stemLength] = 0;
        char name[kConvertedNameRoom];
        const bool converted = ConvertName(base, name);
        FillTask(tasks[count++], entry.th32ProcessID, converted ? name : nullptr, CallNameLength);
    }
    return count;
}

std::size_t BuildTaskList(TaskRecord* tasks, std::size_t capacity, PerformanceRegistry& registry) {
    std::size_t filled = 0;
    if (ReadPerformanceTasks(registry, tasks, capacity, &filled)) return filled;
    return SnapshotTasks(tasks, capacity);
}

namespace {

struct WindowPassState {
    TaskRecord* tasks;
    std::size_t count;
};

// Every GUI thread owns a hidden top-level input-method window ("Default
// IME", and on Windows "MSCTFIME UI" as well). It is no window of the
// program's own: taken as the task's last window it would receive the close
// request meant for the program, and its title would hide the program's.
bool IsInputMethodWindow(HWND window) {
    wchar_t className[32];
    const int length = GetClassNameW(window, className, static_cast<int>(std::size(className)));
    if (length <= 0) return false;
    return lstrcmpiW(className, L"IME") == 0 || lstrcmpiW(className, L"MSCTFIME UI") == 0;
}

// The title in the call's encoding, at most 255 characters: for an A export
// what GetWindowTextA gives.
void TakeTitle(HWND window, TaskRecord& task) {
    wchar_t wide[kWindowTitleSize];
    const int length = GetWindowTextW(window, wide, static_cast<int>(kWindowTitleSize));
    if (length <= 0) return;
    const std::string title = Narrow(std::wstring_view(wide, static_cast<std::size_t>(length)));
    const std::string_view kept = CallPrefix(title, kWindowTitleSize - 1);
    if (kept.empty() || kept.size() >= sizeof task.windowTitle) return;
    std::memcpy(task.windowTitle, kept.data(), kept.size());
    task.windowTitle[kept.size()] = '\0';
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM param) {
    WindowPassState& state = *reinterpret_cast<WindowPassState*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == 0) return TRUE;
    TaskRecord* task = nullptr;
    for (std::size_t i = 0; i < state.count && !task; ++i)
        if (state.tasks[i].processId == processId) task = &state.tasks[i];
    if (!task || IsInputMethodWindow(window)) return TRUE;
    task->window = window;
    // No exception may unwind through the platform's enumeration: a title
    // that cannot be converted for want of memory is left out.
    try {
        TakeTitle(window, *task);
    } catch (...) {
    }
    return TRUE;
}

}  // namespace

void WindowPass(TaskRecord* tasks, std::size_t count) {
    WindowPassState state{tasks, count};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&state));
}

int EnableDebugPrivilege() {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
        const int error = static_cast<int>(GetLastError());
        OutputLine("OpenProcessToken failed with %d\n", error);
        return 0;
    }
    const UniqueHandle token(opened);
    LUID luid;
    if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &luid)) {
        const int error = static_cast<int>(GetLastError());
        OutputLine("LookupPrivilegeValue failed with %d\n", error);
        return 0;
    }
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Judged by the last error, not by its result, on purpose: the call
    // succeeds with ERROR_NOT_ALL_ASSIGNED when the account lacks the
    // privilege.
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    const DWORD error = GetLastError();
    if (error != ERROR_SUCCESS) {
        OutputLine("AdjustTokenPrivileges failed with %d\n", static_cast<int>(error));
        return 0;
    }
    return 1;
}

}  // namespace process
}  // namespace wex
