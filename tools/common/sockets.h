// The one socket wait that the demo's form server and the tests' loopback
// server share.
#pragma once

#include <windows.h>  // brings in the version 1.1 <winsock.h>

namespace wexsock {

// True when s has a byte to read (or has ended) within ms milliseconds.
inline bool Readable(SOCKET s, DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) == 1;
}

}  // namespace wexsock
