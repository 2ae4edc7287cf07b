// The siblings that rewrites make beside a target, as the item file tests
// look for them, and a rewriter stopped while it has one.
#pragma once

#include <windows.h>

#include <string>

#include "children.h"

namespace itemtest {

// The size of the first rewrite sibling of target in folder
// ("<target>.wexlib-new" and whatever makes its name unique), or -1 when
// there is none.
inline long long SiblingSize(const std::string& folder, const std::string& target) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\" + target + ".wexlib-new*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return -1;
    FindClose(find);
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Starts rewriter.exe on target and stops it once its rewrite's sibling
// holds at least minBytes: mid-rewrite, holding the target's turn. A stop
// that comes after that rewrite ended lets it go on to the next one. False
// when the rewriter stopped by itself or nothing came within two minutes.
inline bool StopMidRewrite(wextest::ChildProcess& rewriter, const std::string& folder, const std::string& target,
                           long long minBytes) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
        if (!rewriter.Running()) return false;
        if (SiblingSize(folder, target) < minBytes) {
            Sleep(1);
            continue;
        }
        if (!rewriter.Suspend()) return false;
        if (SiblingSize(folder, target) >= minBytes) return true;
        rewriter.Resume();
    }
    return false;
}

}  // namespace itemtest
