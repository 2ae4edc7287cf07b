// Owning wrappers for Win32 handle kinds (see unique.h).
#pragma once

#include <windows.h>

#include "frame/unique.h"

namespace wex {

// Kernel handles whose empty value is NULL (process, thread, event).
struct HandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { CloseHandle(h); }
};
using UniqueHandle = Unique<HandleTraits>;

}  // namespace wex
