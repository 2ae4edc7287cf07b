#include "frame/unattended.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame/encoding.h"
#include "frame/winhandles.h"

namespace wex {
namespace {

struct Settings {
    bool silent = false;
    UniqueFileHandle log;
    int waitLimitMs = 0;
};

int FromDecimal(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && value > 0 ? static_cast<int>(value < 0x7FFFFFFF ? value : 0x7FFFFFFF) : 0;
}

UniqueFileHandle OpenForAppend(const std::wstring& path) {
    // Others may read it, and write to it too: two installers may share one.
    return UniqueFileHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Taken from the environment on first use, which is the entry routine's
// first box at the latest: the library is loaded by then.
Settings& Current() {
    static Settings settings = [] {
        Settings s;
        s.silent = std::getenv("WEXLIB_SILENT") != nullptr;
        // The wide environment: the log may live in a folder of any name.
        if (const wchar_t* path = _wgetenv(L"WEXLIB_LOG")) {
            if (*path) s.log = OpenForAppend(path);
        }
        if (const char* limit = std::getenv("WEXLIB_WAIT_LIMIT")) s.waitLimitMs = FromDecimal(limit);
        return s;
    }();
    return settings;
}

}  // namespace

bool IsSilent() { return Current().silent; }

bool SetSilent(bool on) {
    const bool previous = Current().silent;
    Current().silent = on;
    return previous;
}

bool LogOpen() { return static_cast<bool>(Current().log); }

bool OpenLog(const std::wstring& path) {
    UniqueFileHandle log = OpenForAppend(path);
    if (!log) return false;
    Current().log = std::move(log);
    return true;
}

void CloseLog() { Current().log.Reset(); }

void LogEvent(std::string_view text) {
    const UniqueFileHandle& log = Current().log;
    if (!log) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    // The log is UTF-8 whichever export wrote the line.
    std::string line = stamp;
    line.append(ToUtf8(text));
    line += "\r\n";
    // One write per line: what was logged before a crash stays. Its result
    // is not looked at on purpose (a full disk must not change a result).
    DWORD written = 0;
    WriteFile(log.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int WaitLimitMs() { return Current().waitLimitMs; }

int SetWaitLimitMs(int ms) {
    const int previous = Current().waitLimitMs;
    Current().waitLimitMs = ms > 0 ? ms : 0;
    return previous;
}

}  // namespace wex
