// Included by the sources that define exports. The export table itself is
// src/frame/wexlib.def; the definitions need no dllexport marking.
#pragma once

#define WEXAPI
#include <cstddef>
#include <cstring>
#include <string_view>

#include "wexlib.h"

namespace wex {

// No C++ exception may cross the library boundary: an export that runs out
// of memory fails with its failure result instead.
template <class Work>
int ExportBoundary(int failure, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

// The one copy of a result text into a caller's buffer: at most capacity - 1
// bytes of text and the terminating zero.
inline void CopyOut(std::string_view text, char* out, std::size_t capacity) {
    const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
    if (length > 0) std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

}  // namespace wex
