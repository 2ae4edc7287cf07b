// Owning wrappers for the Windows Sockets 1.1 resources of one call: the
// library start (released with WSACleanup) and the connection socket.
#pragma once

#include <windows.h>  // brings in the version 1.1 <winsock.h>

#include "frame/unique.h"

namespace wex::http {

struct SocketTraits {
    using Handle = SOCKET;
    static Handle Empty() noexcept { return INVALID_SOCKET; }
    static void Close(Handle s) noexcept { closesocket(s); }
};
using UniqueSocket = Unique<SocketTraits>;

// One WSAStartup for version 1.1, released when this goes out of scope.
class SocketsLibrary {
public:
    SocketsLibrary() noexcept {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }
    ~SocketsLibrary() {
        if (started_) WSACleanup();
    }
    SocketsLibrary(const SocketsLibrary&) = delete;
    SocketsLibrary& operator=(const SocketsLibrary&) = delete;

    bool Started() const noexcept { return started_; }

private:
    bool started_ = false;
};

}  // namespace wex::http
