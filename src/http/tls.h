// A TLS client session on Schannel (through SSPI) over one call's
// connection: TLS 1.2 or newer only, the server's name sent, and the
// server's certificate chain checked against the machine's trusted roots and
// the host name before any application byte is sent. Every wait goes
// through the connection, so the handshake shares the call's wait limit.
#pragma once

#define SECURITY_WIN32
#include <windows.h>
#include <security.h>

#include <string>
#include <vector>

#include "http/connection.h"

namespace wex::http {

class TlsSession {
public:
    enum class Handshake { Done, Failed, TimedOut };

    explicit TlsSession(Connection& connection) noexcept : connection_(connection) {}
    // Sends the closing alert of an established session (within the limit),
    // then frees the context and the credentials.
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Runs the handshake with host as the server's name. On Failed, reason
    // says why in words.
    Handshake Open(const char* host, std::string& reason);

    // After Open: empty when the server's certificate chain ends in a root
    // that the machine trusts, every certificate in it is valid now and
    // fit for server authentication, none is reported revoked, and the
    // server's certificate is for host; else the fault in words.
    std::string CertificateFault(const char* host) const;

    // As the connection's Send and Receive, on the plain text inside the
    // session: Send returns count once all of it went out, or 0 or a
    // negative value; ReceiveByte 1 with a byte, 0 at the end of the
    // server's data, negative on failure.
    int Send(const char* bytes, int count);
    int ReceiveByte(char& byte);

private:
    // Feeds what arrived to the handshake until it completes.
    Handshake Negotiate(const char* host, std::string& reason);
    bool SendAll(const char* bytes, int count);
    // Reads more encrypted bytes behind those held: false at the end or on
    // failure (received_ then says which: 0 or negative).
    bool ReceiveMore(int& received);

    Connection& connection_;
    CredHandle credentials_{};
    bool haveCredentials_ = false;
    CtxtHandle context_{};
    bool haveContext_ = false;
    bool established_ = false;
    SecPkgContext_StreamSizes sizes_{};
    // Encrypted bytes received and not yet decrypted, and plain bytes
    // decrypted and not yet handed out.
    std::vector<char> encrypted_;
    std::size_t held_ = 0;
    std::vector<char> plain_;
    std::size_t taken_ = 0;
    bool ended_ = false;
};

}  // namespace wex::http
