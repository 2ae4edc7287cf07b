// SendMsg's sockets side: Windows Sockets 1.1, blocking, no time limits.
#include <cstdio>
#include <cstring>

#include "frame/diagnostics.h"
#include "http/formpost.h"
#include "http/http.h"
#include "http/socket.h"

namespace wex::http {
namespace {

// The open type of the sockets that a thread creates: 32 makes them plain
// synchronous (non-overlapped) handles.
constexpr int kOpenTypeOption = 0x7008;   // SO_OPENTYPE
constexpr int kSynchronousNonAlert = 32;  // SO_SYNCHRONOUS_NONALERT

// A connected socket: its sending direction is shut down before it is closed.
struct ConnectionTraits {
    using Handle = SOCKET;
    static Handle Empty() noexcept { return INVALID_SOCKET; }
    static void Close(Handle s) noexcept {
        shutdown(s, 1);  // SD_SEND
        closesocket(s);
    }
};
using Connection = Unique<ConnectionTraits>;

void SetSocketOptions(SOCKET s) {
    // The version 1.1 linger record: two 16-bit fields. The debug option is
    // given the same four bytes, a nonzero integer: on.
    linger lingerRecord;
    lingerRecord.l_onoff = 1;
    lingerRecord.l_linger = 1000;
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lingerRecord), sizeof lingerRecord);
    setsockopt(s, SOL_SOCKET, SO_DEBUG, reinterpret_cast<const char*>(&lingerRecord), sizeof lingerRecord);
}

// The connected socket, or an empty Connection (with any message written).
Connection ConnectToServer(const char* host, unsigned short port) {
    int openType = kSynchronousNonAlert;
    setsockopt(INVALID_SOCKET, SOL_SOCKET, kOpenTypeOption, reinterpret_cast<const char*>(&openType), sizeof openType);

    // A socket that could not be created is not tested here: connect fails.
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, 0));
    SetSocketOptions(s.Get());

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
            return Connection();
        }
        address.sin_addr.s_addr = value;
    } else {
        hostent* entry = gethostbyname(host);
        if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) {
            ErrorLine("QVSocket: Failure on gethostbyname().\n");
            return Connection();
        }
        std::size_t length = static_cast<std::size_t>(entry->h_length);
        if (length > sizeof address.sin_addr) length = sizeof address.sin_addr;
        std::memcpy(&address.sin_addr, entry->h_addr_list[0], length);
    }
    if (connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) return Connection();
    return Connection(s.Release());
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
    Connection connection = ConnectToServer(host, PortFromText(port));
    if (!connection) return 0;

    const SOCKET s = connection.Get();
    auto send = [s](const char* bytes, int count) { return ::send(s, bytes, count, 0); };
    if (!SendRequest(send, path, body)) return 0;

    char line[kTransferBufferSize];
    auto receive = [s](char& byte) { return recv(s, &byte, 1, 0); };
    int result = 0;
    for (bool first = true; ReadReplyLine(receive, line, sizeof line) > 0; first = false) {
        if (first && IsSuccessStatus(line)) result = 1;
        ShowBox(line, "SendMsg");
        OutputLine("%s", line);
    }
    return result;
}

int EncodeInto(const char* text, char* out) {
    // The encoded copy is made first, so that out may be text's own buffer.
    std::unique_ptr<char[]> encoded = EncodeFormText(text);
    if (encoded) std::strcpy(out, encoded.get());
    return 0;
}

}  // namespace wex::http
