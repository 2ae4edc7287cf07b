// A one-connection HTTP server on 127.0.0.1 inside the test process: it
// records the request bytes and answers with a scripted reply.
#pragma once

#include <windows.h>

#include <string>

namespace wextest {

class LoopbackServer {
public:
    // What the server does once it has the request: send its reply and end
    // it (shut down its sending side); send the reply and stall, neither
    // sending nor closing until the test is done with it; or trickle the
    // reply, one byte a second (the first after a second), then stall.
    enum class AfterReply { End, Stall, Trickle };

    // Listens on a free port. For the first connection: reads the request
    // head and as many body bytes as its Content-Length says, plus the
    // closing line feed; sends reply (nothing when it is empty); then, unless
    // it stalls, shuts down its sending side and records whatever else
    // arrives until the client closes. Every wait is bounded, so a faulty
    // client cannot hang the test.
    explicit LoopbackServer(std::string reply, AfterReply after = AfterReply::End);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    unsigned short Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }

    // Waits for the exchange to end (SendMsg has returned, so a client has
    // connected by now or never will); every byte the client sent.
    std::string Request();
    // Whether a client connected at all (after Request()).
    bool Connected();

private:
    static DWORD WINAPI Serve(LPVOID self);
    void Exchange(SOCKET client);

    std::string reply_;
    AfterReply after_;
    std::string request_;
    bool connected_ = false;
    bool started_ = false;
    volatile LONG stop_ = 0;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    HANDLE thread_ = nullptr;
};

// How many starts of the sockets library the process holds: each is released
// and then taken again. No socket may be open meanwhile (the last release
// closes them).
int SocketStartsHeld();

}  // namespace wextest
