#include "frame/unattended.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/encoding.h"
#include "frame/logsecrets.h"
#include "frame/winhandles.h"

namespace wex {
namespace {

struct Settings {
    bool silent = false;
    int waitLimitMs = 0;
};

int FromDecimal(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && value > 0 ? static_cast<int>(value < 0x7FFFFFFF ? value : 0x7FFFFFFF) : 0;
}

// Taken from the environment on first use, which is the entry routine's
// first box at the latest: the library is loaded by then.
Settings& Current() {
    static Settings settings = [] {
        Settings s;
        s.silent = std::getenv("WEXLIB_SILENT") != nullptr;
        if (const char* limit = std::getenv("WEXLIB_WAIT_LIMIT")) s.waitLimitMs = FromDecimal(limit);
        return s;
    }();
    return settings;
}

// ---- the entry routine ---------------------------------------------------

// The thread that runs the entry routine (0: none), and on which path.
std::atomic<DWORD> g_entryThread{0};
std::atomic<bool> g_entryAttach{false};

bool InEntryRoutine() {
    const DWORD thread = g_entryThread.load();
    return thread != 0 && thread == GetCurrentThreadId();
}

// ---- the log -------------------------------------------------------------

struct Log {
    bool started = false;  // WEXLIB_LOG has been looked at
    UniqueFileHandle file;
    std::wstring path;     // as it was given, for the report
    std::string pending;   // the attach path's lines, time stamps and all
};

SRWLOCK g_logLock = SRWLOCK_INIT;

Log& TheLog() {
    static Log log;
    return log;
}

class LogLock {
public:
    LogLock() { AcquireSRWLockExclusive(&g_logLock); }
    ~LogLock() { ReleaseSRWLockExclusive(&g_logLock); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;
    Log& Get() const { return TheLog(); }
};

// The wide environment: the log may live in a folder of any name.
std::wstring EnvironmentLog() {
    const wchar_t* path = _wgetenv(L"WEXLIB_LOG");
    return path ? std::wstring(path) : std::wstring();
}

std::string Stamped(std::string_view text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    std::string line = stamp;
    line.append(text);
    line += "\r\n";
    return line;
}

std::wstring ReasonText(DWORD error) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text / sizeof text[0], nullptr);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) --length;
    if (length == 0) return L"error " + std::to_wstring(error);
    return std::wstring(text, length);
}

// Straight to the stream: a line about the log is no line of the log.
void ReportNotWritten(const std::wstring& path, DWORD error) {
    try {
        std::fprintf(stderr, "Wexlib: installer log %s not written: %s\n", Narrow(path).c_str(),
                     Narrow(ReasonText(error)).c_str());
    } catch (...) {
    }
}

// A protected DACL that lets the creator (the user of the calling thread's
// token), the Administrators and SYSTEM read and write the file, and nobody
// else anything: the log may hold paths and names that are nobody else's
// business. Filled in place: the parts point at each other.
class LogFileSecurity {
public:
    LogFileSecurity() = default;
    LogFileSecurity(const LogFileSecurity&) = delete;
    LogFileSecurity& operator=(const LogFileSecurity&) = delete;

    // 0, or the error of the step that failed.
    DWORD Build() {
        HANDLE opened = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened)) {
            if (GetLastError() != ERROR_NO_TOKEN) return GetLastError();
            if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return GetLastError();
        }
        const UniqueHandle token(opened);
        DWORD size = 0;
        GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return GetLastError();
        user_.assign(size, 0);
        if (!GetTokenInformation(token.Get(), TokenUser, user_.data(), size, &size)) return GetLastError();
        PSID creator = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        if (!IsValidSid(creator)) return ERROR_INVALID_SID;
        DWORD adminsSize = sizeof admins_, systemSize = sizeof system_;
        if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins_, &adminsSize)) return GetLastError();
        if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &systemSize)) return GetLastError();

        const PSID sids[] = {creator, admins_, system_};
        DWORD aclSize = sizeof(ACL);
        for (PSID sid : sids) aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
        acl_.assign(aclSize, 0);
        ACL* acl = reinterpret_cast<ACL*>(acl_.data());
        if (!InitializeAcl(acl, aclSize, ACL_REVISION)) return GetLastError();
        for (PSID sid : sids) {
            if (!AddAccessAllowedAce(acl, ACL_REVISION, kAccess, sid)) return GetLastError();
        }
        if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return GetLastError();
        if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return GetLastError();
        if (!SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) return GetLastError();
        attributes_ = {sizeof attributes_, &descriptor_, FALSE};
        return 0;
    }

    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

private:
    static constexpr DWORD kAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

    std::vector<unsigned char> user_;  // the TOKEN_USER with the creator's SID
    BYTE admins_[SECURITY_MAX_SID_SIZE] = {};
    BYTE system_[SECURITY_MAX_SID_SIZE] = {};
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

struct Opened {
    UniqueFileHandle file;
    DWORD error = 0;
};

// A log that exists already keeps its own DACL: it may be shared with
// another installer on purpose.
Opened OpenForAppend(const std::wstring& path) {
    Opened opened;
    LogFileSecurity security;
    if ((opened.error = security.Build()) != 0) return opened;
    // Others may read it, and write to it too: two installers may share one.
    opened.file = UniqueFileHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               security.Attributes(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened.file) opened.error = GetLastError();
    return opened;
}

// With the lock held. A log that fails once is closed: a slow or vanished
// network path is not waited on again and again.
void CloseAsNotWritten(Log& log, DWORD error) {
    ReportNotWritten(log.path, error);
    log.file.Reset();
    log.path.clear();
}

void WriteLocked(Log& log, const std::string& bytes) {
    // One write per line: what was logged before a crash stays.
    DWORD written = 0;
    if (!WriteFile(log.file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        CloseAsNotWritten(log, GetLastError());
    } else if (written != bytes.size()) {
        CloseAsNotWritten(log, ERROR_WRITE_FAULT);
    }
}

// With the lock held, outside the entry routine: the log that WEXLIB_LOG
// names is opened on the first use, and receives the attach path's lines.
void StartLocked(Log& log) {
    if (log.started) return;
    log.started = true;
    std::string pending;
    pending.swap(log.pending);
    const std::wstring path = EnvironmentLog();
    if (path.empty()) return;
    Opened opened = OpenForAppend(path);
    if (!opened.file) {
        ReportNotWritten(path, opened.error);
        return;
    }
    log.file = std::move(opened.file);
    log.path = path;
    if (!pending.empty()) WriteLocked(log, pending);
}

}  // namespace

EntryRoutineScope::EntryRoutineScope(bool attach) {
    g_entryAttach = attach;
    g_entryThread = GetCurrentThreadId();
}

EntryRoutineScope::~EntryRoutineScope() { g_entryThread = 0; }

bool IsSilent() { return Current().silent; }

bool SetSilent(bool on) {
    const bool previous = Current().silent;
    Current().silent = on;
    return previous;
}

bool LogOpen() {
    if (InEntryRoutine()) {
        try {
            return g_entryAttach && !EnvironmentLog().empty();
        } catch (...) {
            return false;
        }
    }
    const LogLock lock;
    StartLocked(lock.Get());
    return static_cast<bool>(lock.Get().file);
}

bool OpenLog(const std::wstring& path) {
    {
        const LogLock lock;
        StartLocked(lock.Get());
    }
    Opened opened = OpenForAppend(path);
    if (!opened.file) {
        ReportNotWritten(path, opened.error);
        return false;
    }
    const LogLock lock;
    lock.Get().file = std::move(opened.file);
    lock.Get().path = path;
    return true;
}

void CloseLog() {
    const LogLock lock;
    StartLocked(lock.Get());
    lock.Get().file.Reset();
    lock.Get().path.clear();
}

void LogLine(std::string_view text) {
    try {
        if (InEntryRoutine()) {
            if (!g_entryAttach) return;
            const std::string line = Stamped(text);
            const LogLock lock;
            if (!lock.Get().started) lock.Get().pending += line;
            return;
        }
        const LogLock lock;
        StartLocked(lock.Get());
        if (!lock.Get().file) return;
        WriteLocked(lock.Get(), Stamped(text));
    } catch (...) {
        // Without memory for the line, the line is let go.
    }
}

void LogEvent(std::string_view text) {
    try {
        LogLine(MaskedLogLine(ToUtf8(text)));
    } catch (...) {
    }
}

void AbandonLog(unsigned long error) {
    if (InEntryRoutine()) return;
    const LogLock lock;
    if (lock.Get().file) CloseAsNotWritten(lock.Get(), error);
}

int WaitLimitMs() { return Current().waitLimitMs; }

int SetWaitLimitMs(int ms) {
    const int previous = Current().waitLimitMs;
    Current().waitLimitMs = ms > 0 ? ms : 0;
    return previous;
}

}  // namespace wex
