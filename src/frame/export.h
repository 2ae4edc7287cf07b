// Included by the sources that define exports. The export table itself is
// src/frame/wexlib.def; the definitions need no dllexport marking.
#pragma once

#define WEXAPI
#include "frame/copyout.h"
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

}  // namespace wex
