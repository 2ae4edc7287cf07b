// The form post over a connection of its own: the request, then every reply
// line. Without a wait limit nothing is timed; with one, the whole exchange
// (connecting, the handshake, every send and receive, closing) ends at the
// limit, however slowly the server sends.
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "frame/diagnostics.h"
#include "frame/unattended.h"
#include "http/connection.h"
#include "http/formpost.h"
#include "http/http.h"
#include "http/tls.h"

namespace wex::http {

int PostForm(const char* name, Transport transport, const char* host, const char* port, const char* path,
             const char* body) {
    // The request line must fit the transfer buffer: a longer path is
    // refused before anything else happens.
    if (!PathFits(path)) {
        ErrorLine("%s: request path longer than %u characters\n", name, static_cast<unsigned>(kMaxPathLength));
        return 0;
    }
    SocketsLibrary library;
    if (!library.Started()) {
        ErrorLine("Error initializing WinSock\n");
        return 0;
    }
    Deadline deadline(WaitLimitMs());
    auto reportTimeout = [&] {
        ErrorLine("%s: no answer from %s:%s within %d ms\n", name, host, port, deadline.LimitMs());
    };
    Connection connection(deadline);
    switch (connection.Open(host, PortFromText(port))) {
    case Connection::Opened::Connected: break;
    case Connection::Opened::TimedOut: reportTimeout(); return 0;
    case Connection::Opened::Failed: return 0;
    }

    // Declared after the connection: the session's closing alert goes out
    // before the connection closes.
    std::optional<TlsSession> tls;
    if (transport == Transport::Tls) {
        tls.emplace(connection);
        std::string reason;
        switch (tls->Open(host, reason)) {
        case TlsSession::Handshake::Done: break;
        case TlsSession::Handshake::TimedOut: reportTimeout(); return 0;
        case TlsSession::Handshake::Failed:
            ErrorLine("%s: no secure connection to %s:%s: %s\n", name, host, port, reason.c_str());
            return 0;
        }
        // Not a byte of the request goes to a server whose certificate is
        // not accepted.
        const std::string fault = tls->CertificateFault(host);
        if (!fault.empty()) {
            ErrorLine("%s: certificate of %s not accepted: %s\n", name, host, fault.c_str());
            return 0;
        }
    }

    auto send = [&](const char* bytes, int count) {
        return tls ? tls->Send(bytes, count) : connection.Send(bytes, count);
    };
    if (!SendRequest(send, path, body)) {
        if (connection.TimedOut()) reportTimeout();
        return 0;
    }

    char line[kTransferBufferSize];
    auto receive = [&](char& byte) { return tls ? tls->ReceiveByte(byte) : connection.Receive(&byte, 1); };
    // perror's own line, through the library's standard error channel.
    auto report = [](const char* text) {
        const int number = errno;
        ErrorLine("%s: %s\n", text, std::strerror(number));
    };
    int result = 0;
    for (bool first = true; ReadReplyLine(receive, line, sizeof line, report) > 0; first = false) {
        if (first && IsSuccessStatus(line)) result = 1;
        // The wait limit is for the server: the time the user takes to
        // dismiss the box does not count.
        const DWORD shown = GetTickCount();
        ShowBox(line, name);
        deadline.Exclude(GetTickCount() - shown);
        OutputLine("%s", line);
    }
    if (connection.TimedOut()) reportTimeout();
    return result;
}

}  // namespace wex::http
