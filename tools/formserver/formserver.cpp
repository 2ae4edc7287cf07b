// formserver: a small HTTP server on 127.0.0.1 for the demo run. It answers
// each POST with "200 OK" and a short text naming what it received, and
// appends every request to a log file.
//
//   formserver --port-file PATH [--log PATH] [--count N] [--idle-ms MS]
//
// It listens on a free port and writes the port's number to the port file
// (complete when the file appears). It ends after N requests (1 by default),
// or when no client came for MS milliseconds (60000 by default).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sockets.h"

namespace {

constexpr DWORD kReadWaitMs = 10000;

using wexsock::Readable;

// The head up to its empty line (a bare LF or CR LF one), then the body of
// Content-Length bytes. Clients that send a line feed after the body get it
// read along with whatever else comes before they close.
bool HeadAndBody(const std::string& request, std::string& head, std::string& body) {
    size_t end = request.find("\n\n");
    size_t skip = 2;
    size_t crlf = request.find("\r\n\r\n");
    if (crlf != std::string::npos && (end == std::string::npos || crlf < end)) end = crlf, skip = 4;
    if (end == std::string::npos) return false;
    head = request.substr(0, end);
    size_t length = 0;
    for (size_t at = 0; at < head.size();) {
        size_t next = head.find('\n', at);
        std::string line = head.substr(at, next == std::string::npos ? std::string::npos : next - at);
        if (_strnicmp(line.c_str(), "Content-Length:", 15) == 0) length = std::strtoul(line.c_str() + 15, nullptr, 10);
        at = next == std::string::npos ? head.size() : next + 1;
    }
    if (request.size() < end + skip + length) return false;
    body = request.substr(end + skip, length);
    return true;
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void SendAll(SOCKET s, const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        int n = send(s, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

void Serve(SOCKET client, const char* logPath) {
    std::string request, head, body;
    char chunk[4096];
    while (!HeadAndBody(request, head, body) && request.size() < (1 << 20) && Readable(client, kReadWaitMs)) {
        int n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        request.append(chunk, static_cast<size_t>(n));
    }
    std::string status = "HTTP/1.0 200 OK";
    std::string text;
    if (!HeadAndBody(request, head, body)) {
        status = "HTTP/1.0 400 Bad Request";
        text = "incomplete request\r\n";
    } else if (head.compare(0, 5, "POST ") != 0) {
        status = "HTTP/1.0 405 Method Not Allowed";
        text = "only POST is answered here\r\n";
    } else {
        text = "received " + FirstLine(head) + " with " + std::to_string(body.size()) + " bytes\r\n" + body + "\r\n";
    }
    if (logPath) {
        if (std::FILE* log = std::fopen(logPath, "ab")) {
            std::fwrite(request.data(), 1, request.size(), log);
            std::fclose(log);
        }
    }
    SendAll(client, status + "\r\nServer: formserver\r\nContent-Type: text/plain\r\n\r\n" + text);
    shutdown(client, 1);  // SD_SEND: the end of the reply
    // Take what the client still sends until it closes, so that it never
    // waits on unread data when it closes its socket.
    while (Readable(client, kReadWaitMs) && recv(client, chunk, sizeof chunk, 0) > 0) {
    }
}

bool WritePortFile(const char* path, unsigned short port) {
    std::string partial = std::string(path) + ".partial";
    std::FILE* f = std::fopen(partial.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "%u\n", port);
    std::fclose(f);
    return MoveFileExA(partial.c_str(), path, MOVEFILE_REPLACE_EXISTING) != 0;
}

int Usage() {
    std::fprintf(stderr, "usage: formserver --port-file PATH [--log PATH] [--count N] [--idle-ms MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* portFile = nullptr;
    const char* logPath = nullptr;
    int count = 1;
    DWORD idleMs = 60000;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 >= argc) return Usage();
        if (std::strcmp(argv[i], "--port-file") == 0) portFile = argv[++i];
        else if (std::strcmp(argv[i], "--log") == 0) logPath = argv[++i];
        else if (std::strcmp(argv[i], "--count") == 0) count = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--idle-ms") == 0) idleMs = static_cast<DWORD>(std::atol(argv[++i]));
        else return Usage();
    }
    if (!portFile || count < 1) return Usage();

    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        std::fprintf(stderr, "formserver: cannot start the sockets library\n");
        return 1;
    }
    int status = 1;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 4) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::fprintf(stderr, "formserver: cannot listen on 127.0.0.1 (error %d)\n", WSAGetLastError());
    } else if (!WritePortFile(portFile, ntohs(address.sin_port))) {
        std::fprintf(stderr, "formserver: cannot write %s\n", portFile);
    } else {
        status = 0;
        for (int served = 0; served < count; ++served) {
            if (!Readable(listener, idleMs)) {
                std::fprintf(stderr, "formserver: no client for %lu ms, ending\n", idleMs);
                break;
            }
            SOCKET client = accept(listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            Serve(client, logPath);
            closesocket(client);
        }
    }
    if (listener != INVALID_SOCKET) closesocket(listener);
    WSACleanup();
    return status;
}
