// SendMsg's sockets side: Windows Sockets 1.1, blocking. Without a wait limit
// nothing is timed; with one, the connection attempt, every send and every
// receive wait at most the limit, and closing never lingers longer.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frame/diagnostics.h"
#include "frame/unattended.h"
#include "http/formpost.h"
#include "http/http.h"
#include "http/socket.h"

namespace wex::http {
namespace {

// The open type of the sockets that a thread creates: 32 makes them plain
// synchronous (non-overlapped) handles.
constexpr int kOpenTypeOption = 0x7008;   // SO_OPENTYPE
constexpr int kSynchronousNonAlert = 32;  // SO_SYNCHRONOUS_NONALERT
// Closing waits this long for unsent data to go, without a wait limit.
constexpr u_short kLingerSeconds = 1000;

// A connected socket: its sending direction is shut down before it is closed.
struct ConnectionTraits {
    using Handle = SOCKET;
    static Handle Empty() noexcept { return INVALID_SOCKET; }
    // Neither result can change what the call reports any more.
    static void Close(Handle s) noexcept {
        shutdown(s, 1);  // SD_SEND
        closesocket(s);
    }
};
using Connection = Unique<ConnectionTraits>;

// limitMs 0: no limit.
void SetSocketOptions(SOCKET s, int limitMs) {
    // The version 1.1 linger record: two 16-bit fields. The debug option is
    // given the same four bytes, a nonzero integer: on. A wait limit cuts
    // the linger to whole seconds within it.
    linger lingerRecord;
    lingerRecord.l_onoff = 1;
    lingerRecord.l_linger = kLingerSeconds;
    if (limitMs > 0 && limitMs / 1000 < kLingerSeconds) lingerRecord.l_linger = static_cast<u_short>(limitMs / 1000);
    // Neither result is looked at, on purpose: a socket without these
    // options still carries the exchange (closing it then lingers as the
    // platform's default has it).
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lingerRecord), sizeof lingerRecord);
    setsockopt(s, SOL_SOCKET, SO_DEBUG, reinterpret_cast<const char*>(&lingerRecord), sizeof lingerRecord);
}

// Waits at most limitMs for the socket to take a send (or to have a byte to
// receive, or to have ended). False when the time passed.
bool ReadyWithin(SOCKET s, bool forSending, int limitMs) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    timeval wait{limitMs / 1000, (limitMs % 1000) * 1000};
    return select(0, forSending ? nullptr : &ready, forSending ? &ready : nullptr, nullptr, &wait) != 0;
}

bool SetBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

enum class Connect { Connected, Failed, TimedOut };

// connect, waiting at most limitMs (0: as long as the platform waits). With a
// limit the socket is left non-blocking, so that every send and receive can
// be bounded too.
Connect ConnectWithin(SOCKET s, const sockaddr_in& address, int limitMs) {
    const sockaddr* to = reinterpret_cast<const sockaddr*>(&address);
    if (limitMs <= 0) return connect(s, to, sizeof address) < 0 ? Connect::Failed : Connect::Connected;
    // Without a non-blocking socket no wait could be bounded.
    if (!SetBlocking(s, false)) return Connect::Failed;
    if (connect(s, to, sizeof address) == 0) return Connect::Connected;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Connect::Failed;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{limitMs / 1000, (limitMs % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready == 0) return Connect::TimedOut;
    return ready > 0 && FD_ISSET(s, &writable) && !FD_ISSET(s, &failed) ? Connect::Connected : Connect::Failed;
}

struct Connecting {
    Connection connection;
    bool timedOut = false;
};

// The connected socket, or an empty Connection (with any message written).
Connecting ConnectToServer(const char* host, unsigned short port, int limitMs) {
    // Its result is not looked at, on purpose: where the option is unknown
    // the sockets are plain blocking ones all the same.
    int openType = kSynchronousNonAlert;
    setsockopt(INVALID_SOCKET, SOL_SOCKET, kOpenTypeOption, reinterpret_cast<const char*>(&openType), sizeof openType);

    Connecting done;
    // A socket that could not be created is not tested here: connect fails.
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, 0));
    SetSocketOptions(s.Get(), limitMs);

    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (IsDottedHost(host)) {
        unsigned long value = inet_addr(host);
        if (value == INADDR_NONE) {
            // The parse result is all ones whatever went wrong: the host
            // text itself says more.
            ErrorLine("QVSocket: Invalid IP address: %s\n", host);
            return done;
        }
        address.sin_addr.s_addr = value;
    } else {
        hostent* entry = gethostbyname(host);
        if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) {
            ErrorLine("QVSocket: Failure on gethostbyname().\n");
            return done;
        }
        std::size_t length = static_cast<std::size_t>(entry->h_length);
        if (length > sizeof address.sin_addr) length = sizeof address.sin_addr;
        std::memcpy(&address.sin_addr, entry->h_addr_list[0], length);
    }
    switch (ConnectWithin(s.Get(), address, limitMs)) {
    case Connect::Connected: done.connection = Connection(s.Release()); break;
    case Connect::TimedOut: done.timedOut = true; break;
    case Connect::Failed: break;
    }
    return done;
}

}  // namespace

int PostForm(const char* host, const char* port, const char* path, const char* body) {
    // The request line must fit the transfer buffer: a longer path is
    // refused before anything else happens.
    if (!PathFits(path)) {
        ErrorLine("SendMsg: request path longer than %u characters\n", static_cast<unsigned>(kMaxPathLength));
        return 0;
    }
    SocketsLibrary library;
    if (!library.Started()) {
        ErrorLine("Error initializing WinSock\n");
        return 0;
    }
    const int limitMs = WaitLimitMs();
    auto reportTimeout = [&] { ErrorLine("SendMsg: no answer from %s:%s within %d ms\n", host, port, limitMs); };
    Connecting connecting = ConnectToServer(host, PortFromText(port), limitMs);
    if (!connecting.connection) {
        if (connecting.timedOut) reportTimeout();
        return 0;
    }

    // With a limit, each send and receive waits at most the limit for the
    // socket to be ready. After the first timeout nothing more is sent or
    // received: the call ends within the limit. Before the socket is closed
    // it blocks again, so that closing lingers (within the limit) rather than
    // failing on a non-blocking socket.
    const SOCKET s = connecting.connection.Get();
    ScopeExit blockingAgain([&] {
        if (limitMs > 0) SetBlocking(s, true);
    });
    bool timedOut = false;
    auto bounded = [&](bool forSending, auto operation) {
        for (;;) {
            if (timedOut) return -1;
            const int n = operation();
            if (limitMs <= 0 || n >= 0 || WSAGetLastError() != WSAEWOULDBLOCK) return n;
            if (!ReadyWithin(s, forSending, limitMs)) timedOut = true;
        }
    };
    auto send = [&](const char* bytes, int count) {
        return bounded(true, [&] { return ::send(s, bytes, count, 0); });
    };
    if (!SendRequest(send, path, body)) {
        if (timedOut) reportTimeout();
        return 0;
    }

    char line[kTransferBufferSize];
    auto receive = [&](char& byte) {
        return bounded(false, [&] { return recv(s, &byte, 1, 0); });
    };
    // perror's own line, through the library's standard error channel.
    auto report = [](const char* text) {
        const int number = errno;
        ErrorLine("%s: %s\n", text, std::strerror(number));
    };
    int result = 0;
    for (bool first = true; ReadReplyLine(receive, line, sizeof line, report) > 0; first = false) {
        if (first && IsSuccessStatus(line)) result = 1;
        ShowBox(line, "SendMsg");
        OutputLine("%s", line);
    }
    if (timedOut) reportTimeout();
    return result;
}

}  // namespace wex::http
