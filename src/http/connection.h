// One call's connection to the form server: Windows Sockets 1.1, blocking
// when there is no wait limit. With a limit, the whole exchange shares it:
// connecting, every send and receive, the secure handshake and closing wait
// only for what is left of it, so however a server trickles its bytes the
// call ends at the limit.
#pragma once

#include <windows.h>

#include "http/socket.h"

namespace wex::http {

// What is left of one call's wait limit. Only waits for the server count:
// the time a user takes to dismiss a box is left out (Exclude).
class Deadline {
public:
    // limitMs 0 (or less): no limit.
    explicit Deadline(int limitMs) noexcept : limitMs_(limitMs > 0 ? limitMs : 0), start_(GetTickCount()) {}

    bool Limited() const noexcept { return limitMs_ > 0; }
    int LimitMs() const noexcept { return limitMs_; }
    // Milliseconds left, 0 once the limit has passed (meaningful when Limited).
    int RemainingMs() const noexcept {
        const DWORD spent = GetTickCount() - start_ - excluded_;
        return spent >= static_cast<DWORD>(limitMs_) ? 0 : limitMs_ - static_cast<int>(spent);
    }
    void Exclude(DWORD ms) noexcept { excluded_ += ms; }

private:
    int limitMs_;
    DWORD start_;
    DWORD excluded_ = 0;
};

class Connection {
public:
    enum class Opened { Connected, Failed, TimedOut };

    explicit Connection(Deadline& deadline) noexcept : deadline_(deadline) {}
    // Shuts the sending direction down and closes, lingering at most for
    // what is left of the limit.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Resolves host (a dotted address when it ends in a digit, else a name;
    // the "QVSocket: ..." lines of a failure are written here) and connects.
    Opened Open(const char* host, unsigned short port);

    // As send() and recv(): the bytes moved, 0 when the server has closed
    // (Receive), negative on failure. Once the limit has passed, every
    // further call fails at once and TimedOut() says so.
    int Send(const char* bytes, int count);
    int Receive(char* bytes, int count);

    bool TimedOut() const noexcept { return timedOut_; }
    // Milliseconds left of the limit (0 once it has passed), or -1 without one.
    int RemainingMs() const noexcept { return deadline_.Limited() ? deadline_.RemainingMs() : -1; }

private:
    template <class Operation>
    int Bounded(bool forSending, Operation operation);

    Deadline& deadline_;
    UniqueSocket socket_;
    bool timedOut_ = false;
};

}  // namespace wex::http
