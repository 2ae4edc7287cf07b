#include "fileio/turn.h"

namespace wex::fileio {

std::wstring TurnFileOf(const std::wstring& path) { return path + L".wexlib-turn"; }

void EditTurn::AnnounceReplace() {
    DWORD written = 0;
    if (turn_) WriteFile(turn_.Get(), "r", 1, &written, nullptr);
}

namespace {

bool ReplaceAnnounced(const std::wstring& turnFile) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(turnFile.c_str(), GetFileExInfoStandard, &data) &&
           (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

}  // namespace

void WaitWhileReplacing(const std::wstring& path) {
    const std::wstring turnFile = TurnFileOf(path);
    if (!ReplaceAnnounced(turnFile)) return;
    // Held by no one: a power loss left it. Opening it removes it.
    if (HANDLE stale = CreateFileW(turnFile.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE,
                                   nullptr);
        stale != INVALID_HANDLE_VALUE) {
        CloseHandle(stale);
        return;
    }
    for (const DWORD start = GetTickCount(); ReplaceAnnounced(turnFile) && GetTickCount() - start < kReplaceYieldMs;)
        Sleep(1);
}

EditTurn::Outcome EditTurn::Take(const std::wstring& path, Backoff& wait) {
    const std::wstring name = TurnFileOf(path);
    for (;;) {
        turn_.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (turn_) {
            // A turn file that a power loss left may still announce a replace.
            SetEndOfFile(turn_.Get());
            return Outcome::Taken;
        }
        const DWORD error = GetLastError();
        // An access violation is a turn in use only while the turn file is
        // there (its deletion pending, or its permissions not ours); without
        // one, the folder refuses the file itself.
        bool inUse = error == ERROR_SHARING_VIOLATION;
        if (error == ERROR_ACCESS_DENIED) {
            inUse = GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES ||
                    GetLastError() == ERROR_ACCESS_DENIED;
        }
        if (!inUse) return Outcome::NoneHere;
        if (!wait.Wait()) return Outcome::Busy;
    }
}

}  // namespace wex::fileio
