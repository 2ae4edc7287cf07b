// The form post over a connection of its own: the request, then every reply
// line. Without a wait limit nothing is timed; with one, the whole exchange
// (connecting, the handshake, every send and receive, closing) ends at the
// limit, however slowly the server sends.
//
// A wide twin's texts are UTF-8 on the wire: its body goes out as UTF-8, the
// UTF-8 of each non-ASCII character of its path is percent-encoded, a host
// name that is not ASCII is looked up (and named to a TLS server) in its
// IDNA form, and each reply line is shown as the UTF-8 text it is, or as
// text in the ANSI code page when it is not UTF-8. An A export's bytes go
// out and come back as they are.
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/unattended.h"
#include "frame/utf.h"
#include "http/connection.h"
#include "http/formpost.h"
#include "http/http.h"
#include "http/tls.h"

namespace wex::http {
namespace {

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// The ASCII form of a host name (IDNA), as the platform makes it: false, with
// the platform's error, for a name that has none (a lone surrogate, a
// character IDNA does not allow, a label too long).
bool IdnaForm(std::string_view host, std::string& ascii, DWORD& error) {
    const std::wstring name = Widen(host);
    const int size = static_cast<int>(name.size());
    const int length = IdnToAscii(0, name.data(), size, nullptr, 0);
    if (length <= 0) {
        error = GetLastError();
        return false;
    }
    std::wstring form(static_cast<std::size_t>(length), L'\0');
    if (IdnToAscii(0, name.data(), size, &form[0], length) != length) {
        error = GetLastError();
        return false;
    }
    ascii = Narrow(form);
    return true;
}

// A reply line as a wide twin shows it: UTF-8 as it came, anything else read
// in the ANSI code page.
std::string WideReplyText(const char* line) {
    const std::string_view bytes(line);
    if (utf::IsUtf8(bytes)) return std::string(bytes);
    return Narrow(FromAnsi(bytes));
}

}  // namespace

int PostForm(const char* name, Transport transport, const char* host, const char* port, const char* path,
             const char* body) {
    const bool wide = CurrentCallEncoding() == CallEncoding::Wtf8;
    // The request line must fit the transfer buffer: a longer path is
    // refused before anything else happens. A twin's path counts its UTF-16
    // units, as its caller counts characters.
    if (CallLength(path) > kMaxPathLength) {
        ErrorLine("%s: request path longer than %u characters\n", name, static_cast<unsigned>(kMaxPathLength));
        return 0;
    }
    // A twin's texts go out as UTF-8, which has no form for a lone
    // surrogate: nothing is sent in its place.
    std::string encodedPath;
    const char* target = path;
    if (wide) {
        if (!utf::IsUtf8(path) || !utf::IsUtf8(body)) {
            ErrorLine("%s: the %s holds a lone surrogate, which has no UTF-8 form\n", name,
                      utf::IsUtf8(path) ? "body" : "request path");
            return 0;
        }
        encodedPath = PercentEncodeNonAscii(path);
        target = encodedPath.c_str();
    }
    SocketsLibrary library;
    if (!library.Started()) {
        ErrorLine("Error initializing WinSock\n");
        return 0;
    }
    // The name that is looked up and named to a TLS server: a twin's host
    // name that is not ASCII in its IDNA form. Whether the host is a dotted
    // address is decided on the text as given.
    std::string idnaName;
    const char* serverName = host;
    if (wide && !IsDottedHost(host) && !IsAscii(host)) {
        DWORD error = 0;
        if (!IdnaForm(host, idnaName, error)) {
            ErrorLine("%s: the host name %s has no IDNA form (error %lu)\n", name, host, error);
            return 0;
        }
        serverName = idnaName.c_str();
    }
    Deadline deadline(WaitLimitMs());
    auto reportTimeout = [&] {
        ErrorLine("%s: no answer from %s:%s within %d ms\n", name, host, port, deadline.LimitMs());
    };
    Connection connection(deadline);
    switch (connection.Open(host, serverName, PortFromText(port))) {
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
        switch (tls->Open(serverName, reason)) {
        case TlsSession::Handshake::Done: break;
        case TlsSession::Handshake::TimedOut: reportTimeout(); return 0;
        case TlsSession::Handshake::Failed:
            ErrorLine("%s: no secure connection to %s:%s: %s\n", name, host, port, reason.c_str());
            return 0;
        }
        // Not a byte of the request goes to a server whose certificate is
        // not accepted.
        const std::string fault = tls->CertificateFault(serverName);
        if (!fault.empty()) {
            ErrorLine("%s: certificate of %s not accepted: %s\n", name, host, fault.c_str());
            return 0;
        }
    }

    auto send = [&](const char* bytes, int count) {
        return tls ? tls->Send(bytes, count) : connection.Send(bytes, count);
    };
    if (!SendRequest(send, target, body)) {
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
    std::string decoded;
    auto show = [&](std::string_view piece) {
        const char* text = piece.data();
        if (wide) {
            decoded = WideReplyText(text);
            text = decoded.c_str();
        }
        // The wait limit is for the server: the time the user takes to
        // dismiss the box does not count.
        const DWORD shown = GetTickCount();
        ShowBox(text, name);
        deadline.Exclude(GetTickCount() - shown);
        OutputLine("%s", text);
    };
    // A twin reads the reply as UTF-8: a line cut by the transfer buffer
    // keeps its last character whole for the next.
    const int result = ReadReply(receive, line, sizeof line, wide, report, show) ? 1 : 0;
    if (connection.TimedOut()) reportTimeout();
    return result;
}

}  // namespace wex::http
