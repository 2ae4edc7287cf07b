#include "fileio/waits.h"

namespace wex::fileio {

bool Backoff::Wait() {
    DWORD pause = pauseMs_;
    if (limitMs_ != 0) {
        const DWORD waited = GetTickCount() - start_;
        if (waited >= limitMs_) return false;
        if (pause > limitMs_ - waited) pause = limitMs_ - waited;
    }
    Sleep(pause);
    if (pauseMs_ < longestPauseMs_) pauseMs_ *= 2;
    return true;
}

}  // namespace wex::fileio
