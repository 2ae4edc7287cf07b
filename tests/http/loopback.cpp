#include "loopback.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "sockets.h"

namespace wextest {
namespace {

constexpr DWORD kWaitMs = 10000;

using wexsock::Readable;

// Bytes still expected after what arrived so far: the head up to its empty
// line, then Content-Length bytes and the closing line feed.
bool Complete(const std::string& request) {
    size_t headEnd = request.find("\n\n");
    if (headEnd == std::string::npos) return false;
    size_t length = 0;
    size_t field = request.find("Content-Length: ");
    if (field != std::string::npos && field < headEnd) length = std::strtoul(request.c_str() + field + 16, nullptr, 10);
    return request.size() >= headEnd + 2 + length + 1;
}

}  // namespace

LoopbackServer::LoopbackServer(std::string reply, AfterReply after) : reply_(std::move(reply)), after_(after) {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ADD_FAILURE() << "loopback server: cannot listen, error " << WSAGetLastError();
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = CreateThread(nullptr, 0, &LoopbackServer::Serve, this, 0, nullptr);
}

LoopbackServer::~LoopbackServer() {
    Request();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (started_) WSACleanup();
}

std::string LoopbackServer::Request() {
    InterlockedExchange(&stop_, 1);
    if (thread_) {
        if (WaitForSingleObject(thread_, 2 * kWaitMs + 5000) != WAIT_OBJECT_0) ADD_FAILURE() << "loopback server hangs";
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return request_;
}

bool LoopbackServer::Connected() {
    Request();
    return connected_;
}

DWORD WINAPI LoopbackServer::Serve(LPVOID param) {
    auto* self = static_cast<LoopbackServer*>(param);
    // Waits for a client until Request() says the test is done; a client
    // that connected before that is still pending then and is served.
    for (DWORD waited = 0;; waited += 20) {
        bool stopping = self->stop_ != 0 || waited > kWaitMs;
        if (Readable(self->listener_, stopping ? 0 : 20)) break;
        if (stopping) return 0;
    }
    SOCKET client = accept(self->listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return 0;
    self->connected_ = true;
    self->Exchange(client);
    closesocket(client);
    return 0;
}

void LoopbackServer::Exchange(SOCKET client) {
    char chunk[4096];
    while (!Complete(request_) && Readable(client, kWaitMs)) {
        int n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        request_.append(chunk, static_cast<size_t>(n));
    }
    const bool trickling = after_ == AfterReply::Trickle;
    for (size_t sent = 0; sent < reply_.size();) {
        if (trickling) {
            for (DWORD waited = 0; waited < 1000; waited += 20) {
                if (stop_ != 0) return;
                Sleep(20);
            }
        }
        const int count = trickling ? 1 : static_cast<int>(reply_.size() - sent);
        int n = send(client, reply_.data() + sent, count, 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
    if (after_ != AfterReply::End) {
        for (DWORD waited = 0; stop_ == 0 && waited < 2 * kWaitMs; waited += 20) Sleep(20);
        return;
    }
    shutdown(client, 1);  // SD_SEND: the client sees the end of the reply
    while (Readable(client, kWaitMs)) {
        int n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        request_.append(chunk, static_cast<size_t>(n));
    }
}

int SocketStartsHeld() {
    int held = 0;
    while (WSACleanup() == 0) ++held;
    for (int i = 0; i < held; ++i) {
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
    }
    return held;
}

}  // namespace wextest
