// Owning wrappers for the Win32 handle kinds the exports open (see unique.h).
#pragma once

#include <windows.h>

#include "frame/unique.h"

namespace wex {

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { CloseServiceHandle(h); }
};
using UniqueServiceHandle = Unique<ServiceHandleTraits>;

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { RegCloseKey(h); }
};
using UniqueRegKey = Unique<RegKeyTraits>;

// Kernel handles whose empty value is NULL (process, thread, event).
struct HandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { CloseHandle(h); }
};
using UniqueHandle = Unique<HandleTraits>;

// Kernel handles whose empty value is INVALID_HANDLE_VALUE (CreateFileA,
// CreateToolhelp32Snapshot).
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { CloseHandle(h); }
};
using UniqueFileHandle = Unique<FileHandleTraits>;

// Searches of FindFirstFileW and FindFirstStreamW.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { FindClose(h); }
};
using UniqueFindHandle = Unique<FindHandleTraits>;

}  // namespace wex
