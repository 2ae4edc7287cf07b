#include "fileio/turn.h"

namespace wex::fileio {

std::wstring TurnFileOf(const std::wstring& finalPath) { return finalPath + L".wexlib-turn"; }

EditTurn::Outcome EditTurn::Take(const std::wstring& finalPath, Backoff& wait) {
    const std::wstring name = TurnFileOf(finalPath);
    for (;;) {
        turn_.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                nullptr));
        if (turn_) return Outcome::Taken;
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
