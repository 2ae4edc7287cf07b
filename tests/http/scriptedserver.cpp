#include "scriptedserver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sockets.h"

namespace wextest {
namespace {

constexpr DWORD kWaitMs = 60000;

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex.empty() ? "-" : hex;
}

bool SendAll(SOCKET s, const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        int n = send(s, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads up to and including a line feed (a byte at a time, so that nothing
// after it is taken), or count bytes; each wait bounded.
bool ReadBytes(SOCKET s, std::string& into, size_t count, bool toLineEnd) {
    char chunk[4096];
    while (toLineEnd ? (into.empty() || into.back() != '\n') : into.size() < count) {
        const size_t wanted = toLineEnd ? 1 : std::min(sizeof chunk, count - into.size());
        if (!wexsock::Readable(s, kWaitMs)) return false;
        const int n = recv(s, chunk, static_cast<int>(wanted), 0);
        if (n <= 0) return false;
        into.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

ScriptedServer::ScriptedServer(const std::string& mode, const std::string& certificate, const std::string& reply) {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    std::ifstream portFile(WEXTEST_TLS_DIR "/control-port");
    int controlPort = 0;
    if (!(portFile >> controlPort)) {
        ADD_FAILURE() << "the tests' TLS server is not running: no " WEXTEST_TLS_DIR "/control-port";
        return;
    }
    control_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(controlPort));
    std::string line;
    if (connect(control_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !SendAll(control_, "serve " + mode + " " + certificate + " " + Hex(reply) + "\n") ||
        !ReadBytes(control_, line, 0, true) || line.rfind("port ", 0) != 0) {
        ADD_FAILURE() << "the tests' TLS server did not take the scenario: " << line;
        return;
    }
    port_ = static_cast<unsigned short>(std::atoi(line.c_str() + 5));
}

ScriptedServer::~ScriptedServer() {
    Finish();
    if (control_ != INVALID_SOCKET) closesocket(control_);
    if (started_) WSACleanup();
}

ScriptedServer::Report ScriptedServer::Finish() {
    if (finished_ || control_ == INVALID_SOCKET) return report_;
    finished_ = true;
    std::string line;
    int connected = 0, handshake = 0;
    unsigned long length = 0;
    if (!SendAll(control_, "done\n") || !ReadBytes(control_, line, 0, true) ||
        std::sscanf(line.c_str(), "connected %d handshake %d received %lu", &connected, &handshake, &length) != 3 ||
        !ReadBytes(control_, report_.received, length, false)) {
        ADD_FAILURE() << "no report from the tests' TLS server: " << line;
        return report_;
    }
    report_.connected = connected != 0;
    report_.handshake = handshake != 0;
    return report_;
}

}  // namespace wextest
