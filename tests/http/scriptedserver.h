// One scenario of the tests' TLS server (tools/formserver/tlsserver.py, run
// on the Linux side by the test fixture): a fresh port on 127.0.0.1 that
// takes one connection and plays the mode asked for; afterwards, what the
// client sent there, as the server saw it (the plain text inside TLS).
#pragma once

#include <windows.h>

#include <string>

namespace wextest {

class ScriptedServer {
public:
    // mode: tls, tls10, plain, silent, tls-silent, trickle, tls-trickle,
    // handshake-trickle (see tlsserver.py). certificate: a file made by
    // make-certs.sh ("good.pem", "expired.pem", ...). reply: the bytes the
    // server answers the request with.
    ScriptedServer(const std::string& mode, const std::string& certificate, const std::string& reply);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string PortText() const { return std::to_string(port_); }

    struct Report {
        bool connected = false;
        bool handshake = false;  // a TLS handshake completed
        std::string received;   // every plain-text byte the client sent
    };
    // Ends the scenario (the client under test has returned) and reports it.
    Report Finish();

private:
    bool started_ = false;
    SOCKET control_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    bool finished_ = false;
    Report report_;
};

}  // namespace wextest
