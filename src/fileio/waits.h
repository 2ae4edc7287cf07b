// Waiting for a file that someone else holds: retries with a growing pause,
// bounded or not.
#pragma once

#include <windows.h>

namespace wex::fileio {

// How long a sharing or access violation is retried where it stands for a
// moment only: a reader that has the file open while a replace wants it, a
// replace that opens its destination exclusively while a reader wants it,
// a scanner or indexer. Next to two readers in a tight loop under Wine, a
// replace got through after half a second at worst; this leaves room for a
// busy machine.
constexpr DWORD kBriefHoldMs = 10000;

// The pauses between the tries of one operation: 1 ms at first, doubling up
// to longestPauseMs, for at most limitMs in all (0: as long as it takes).
class Backoff {
public:
    explicit Backoff(DWORD limitMs, DWORD longestPauseMs = 32)
        : limitMs_(limitMs), longestPauseMs_(longestPauseMs), start_(GetTickCount()) {}

    // Sleeps before the next try; false, without sleeping, once the limit is
    // reached.
    bool Wait();

private:
    DWORD limitMs_;
    DWORD longestPauseMs_;
    DWORD start_;
    DWORD pauseMs_ = 1;
};

// The errors that a holder causes: a sharing violation, and the access
// violation that a delete or replace in progress gives (also the plain
// refusal of a file's permissions, which the bound then ends).
inline bool HeldBySomeone(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

}  // namespace wex::fileio
