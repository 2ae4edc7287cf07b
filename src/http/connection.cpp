#include "http/connection.h"

#include <cstring>

#include "frame/diagnostics.h"
#include "http/formpost.h"

namespace wex::http {
namespace {

// The open type of the sockets that a thread creates: 32 makes them plain
// synchronous (non-overlapped) handles.
constexpr int kOpenTypeOption = 0x7008;   // SO_OPENTYPE
constexpr int kSynchronousNonAlert = 32;  // SO_SYNCHRONOUS_NONALERT
// Closing waits this long for unsent data to go, without a wait limit.
constexpr u_short kLingerSeconds = 1000;

// The version 1.1 linger record: two 16-bit fields. With a limit, closing
// lingers whole seconds within what is left of it (one at least, so that a
// finished exchange is never reset), and not at all once the limit has
// passed: the exchange is given up then.
linger LingerRecord(const Deadline& deadline, bool timedOut) {
    linger record;
    record.l_onoff = 1;
    record.l_linger = kLingerSeconds;
    if (!deadline.Limited()) return record;
    const int seconds = timedOut ? 0 : (deadline.RemainingMs() + 999) / 1000;
    if (seconds < kLingerSeconds) record.l_linger = static_cast<u_short>(seconds > 0 || timedOut ? seconds : 1);
    return record;
}

void SetSocketOptions(SOCKET s, const Deadline& deadline) {
    // The debug option is given the same four bytes as the linger record, a
    // nonzero integer: on. Neither result is looked at, on purpose: a socket
    // without these options still carries the exchange (closing it then
    // lingers as the platform's default has it).
    const linger record = LingerRecord(deadline, false);
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&record), sizeof record);
    setsockopt(s, SOL_SOCKET, SO_DEBUG, reinterpret_cast<const char*>(&record), sizeof record);
}

bool SetBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

timeval Wait(int ms) { return timeval{ms / 1000, (ms % 1000) * 1000}; }

// Waits at most ms for the socket to take a send (or to have a byte to
// receive, or to have ended): 1 when it is ready, 0 when the time passed,
// negative when the wait itself failed.
int ReadyWithin(SOCKET s, bool forSending, int ms) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    timeval wait = Wait(ms);
    return select(0, forSending ? nullptr : &ready, forSending ? &ready : nullptr, nullptr, &wait);
}

// connect, waiting at most what is left of the limit (without a limit, as
// long as the platform waits). With a limit the socket is left
// non-blocking, so that every send and receive can be bounded too.
Connection::Opened ConnectWithin(SOCKET s, const sockaddr_in& address, const Deadline& deadline) {
    const sockaddr* to = reinterpret_cast<const sockaddr*>(&address);
    if (!deadline.Limited())
        return connect(s, to, sizeof address) < 0 ? Connection::Opened::Failed : Connection::Opened::Connected;
    // Without a non-blocking socket no wait could be bounded.
    if (!SetBlocking(s, false)) return Connection::Opened::Failed;
    if (connect(s, to, sizeof address) == 0) return Connection::Opened::Connected;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Connection::Opened::Failed;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait = Wait(deadline.RemainingMs());
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready == 0) return Connection::Opened::TimedOut;
    return ready > 0 && FD_ISSET(s, &writable) && !FD_ISSET(s, &failed) ? Connection::Opened::Connected
                                                                          : Connection::Opened::Failed;
}

}  // namespace

Connection::Opened Connection::Open(const char* host, unsigned short port) {
    // Its result is not looked at, on purpose: where the option is unknown
    // the sockets are plain blocking ones all the same.
    int openType = kSynchronousNonAlert;
    setsockopt(INVALID_SOCKET, SOL_SOCKET, kOpenTypeOption, reinterpret_cast<const char*>(&openType), sizeof openType);

    // A socket that could not be created is not tested here: connect fails.
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, 0));
    SetSocketOptions(s.Get(), deadline_);

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
            return Opened::Failed;
        }
        address.sin_addr.s_addr = value;
    } else {
        hostent* entry = gethostbyname(host);
        if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) {
            ErrorLine("QVSocket: Failure on gethostbyname().\n");
            return Opened::Failed;
        }
        std::size_t length = static_cast<std::size_t>(entry->h_length);
        if (length > sizeof address.sin_addr) length = sizeof address.sin_addr;
        std::memcpy(&address.sin_addr, entry->h_addr_list[0], length);
    }
    const Opened opened = ConnectWithin(s.Get(), address, deadline_);
    if (opened == Opened::Connected) socket_ = std::move(s);
    timedOut_ = opened == Opened::TimedOut;
    return opened;
}

Connection::~Connection() {
    if (!socket_) return;
    const SOCKET s = socket_.Release();
    if (deadline_.Limited()) {
        // Closing lingers only on a blocking socket, and only for what is
        // left of the limit.
        const linger record = LingerRecord(deadline_, timedOut_);
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&record), sizeof record);
        SetBlocking(s, true);
    }
    // Neither result can change what the call reports any more.
    shutdown(s, 1);  // SD_SEND
    closesocket(s);
}

// With a limit, each operation waits for the socket to be ready at most for
// what is left of it. After the first timeout nothing more is sent or
// received: the call ends at the limit.
template <class Operation>
int Connection::Bounded(bool forSending, Operation operation) {
    for (;;) {
        if (timedOut_) return -1;
        const int n = operation();
        if (!deadline_.Limited() || n >= 0 || WSAGetLastError() != WSAEWOULDBLOCK) return n;
        const int ready = ReadyWithin(socket_.Get(), forSending, deadline_.RemainingMs());
        if (ready == 0) timedOut_ = true;
        if (ready < 0) return -1;
    }
}

int Connection::Send(const char* bytes, int count) {
    return Bounded(true, [&] { return send(socket_.Get(), bytes, count, 0); });
}

int Connection::Receive(char* bytes, int count) {
    return Bounded(false, [&] { return recv(socket_.Get(), bytes, count, 0); });
}

}  // namespace wex::http
