// The form post client's text rules: how the request is built and sent in
// pieces, how reply lines are read, the status test, the port text, the form
// encoding and what a UTF-8 caller's path and reply lines need. Free of the
// platform: the socket calls come in as callables, so the same code runs
// natively under the sanitizers.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace wex::http {

// One call's transfer buffer: each request line while it is formatted and
// each reply line while it is read (at most 499 bytes and the zero).
constexpr std::size_t kTransferBufferSize = 500;

// "POST " + path + " HTTP/1.0\n" must fit the transfer buffer. A wide
// twin's path is held to the same number of UTF-16 units, counted before its
// non-ASCII characters are percent-encoded.
constexpr std::size_t kMaxPathLength = kTransferBufferSize - 1 - (sizeof "POST " - 1) - (sizeof " HTTP/1.0\n" - 1);

// The port text read by atoi's rules (leading blanks, a sign, digits up to the
// first non-digit; no digits give 0), cut to its low 16 bits.
unsigned short PortFromText(const char* text);

// A host whose last character is a decimal digit is a dotted address and is
// never looked up by name.
bool IsDottedHost(const char* host);

// The status test, made on the first reply line only: " 200 " anywhere in it.
bool IsSuccessStatus(const char* firstLine);

// True when the request line for this path fits the transfer buffer.
bool PathFits(const char* path);

// Sends all of text through send(const char* bytes, int count) -> int, which
// returns the bytes sent or 0 / a negative value on failure. Returns the
// text's length once all of it was sent, or the failing call's result. An
// empty text sends nothing and returns 0.
template <class Send>
int SendAllText(Send&& send, const char* text) {
    const int length = static_cast<int>(std::strlen(text));
    for (int sent = 0; sent < length;) {
        int n = send(text + sent, length - sent);
        if (n <= 0) return n;
        sent += n;
    }
    return length;
}

// Sends the request head, the body and a closing "\n", each through
// SendAllText. Lines end in a single line feed; Content-Length counts the
// body alone. Only the body's result is looked at: false when the body was
// not sent in full. The request line goes out whole, however long the path
// (a percent-encoded path may be longer than the transfer buffer).
template <class Send>
bool SendRequest(Send&& send, const char* path, const char* body) {
    const std::string requestLine = "POST " + std::string(path) + " HTTP/1.0\n";
    SendAllText(send, requestLine.c_str());
    SendAllText(send, "User-Agent: QuorvelMerchant\n");
    SendAllText(send, "Content-Type: application/x-www-form-urlencoded\n");
    const int bodyLength = static_cast<int>(std::strlen(body));
    char buffer[kTransferBufferSize];
    std::snprintf(buffer, sizeof buffer, "Content-Length: %d\n", bodyLength);
    SendAllText(send, buffer);
    SendAllText(send, "\n");
    const bool complete = SendAllText(send, body) == bodyLength;
    if (complete) SendAllText(send, "\n");
    return complete;
}

// Reads one reply line into buffer through receive(char& byte) -> int, one
// byte per call: up to and including a line feed, or size - 1 bytes, or what
// came before the connection ended. Stores a terminating zero and returns the
// number of bytes stored (0 at the end of the reply). A failed or ended
// receive while the C runtime's errno is set hands "System Error (N)" to
// report(const char* text), which writes it the way perror does.
template <class Receive, class Report>
std::size_t ReadReplyLine(Receive&& receive, char* buffer, std::size_t size, Report&& report) {
    if (size == 0) return 0;  // no room even for the terminating zero
    std::size_t count = 0;
    while (count < size - 1) {
        char byte = 0;
        if (receive(byte) > 0) {
            buffer[count++] = byte;
            if (byte == '\n') break;
        } else {
            if (errno != 0) {
                char text[32];
                std::snprintf(text, sizeof text, "System Error (%d)", errno);
                report(text);
            }
            break;
        }
    }
    buffer[count] = '\0';
    return count;
}

// The same, reporting through perror itself.
template <class Receive>
std::size_t ReadReplyLine(Receive&& receive, char* buffer, std::size_t size) {
    return ReadReplyLine(receive, buffer, size, [](const char* text) { std::perror(text); });
}

// The number of bytes at the end of text (1 to 3) that begin a UTF-8
// character which text does not finish, when all that comes before them is
// UTF-8; 0 when text ends on a character's end, or is no UTF-8 before its
// last bytes (nothing there to keep whole).
std::size_t UnfinishedUtf8Tail(std::string_view text);

// The request path of a wide twin as it goes on the wire: every byte of a
// non-ASCII character's UTF-8 as "%XX" (uppercase hexadecimal, as URIs
// write it); ASCII, "%" included, stays as the caller wrote it.
std::string PercentEncodeNonAscii(std::string_view text);

// Reads the whole reply into buffer (size bytes) one line at a time, as
// ReadReplyLine reads it, and hands each line to show(std::string_view line),
// whose bytes are followed by a zero in buffer. True when the first line, as
// it was read, holds the success status (IsSuccessStatus).
//
// With wholeCharacters (the reply is read as UTF-8), a line that the buffer
// cut inside a UTF-8 character ends before that character, whose first bytes
// then begin the next line (UnfinishedUtf8Tail), so that no character is
// shown in two halves. Every byte is still shown once and in order, and no
// byte beyond the current line is received.
template <class Receive, class Report, class Show>
bool ReadReply(Receive&& receive, char* buffer, std::size_t size, bool wholeCharacters, Report&& report,
               Show&& show) {
    bool success = false;
    std::size_t carried = 0;  // bytes of a cut character, at the buffer's start
    for (bool first = true; size > 0; first = false) {
        const std::size_t read = ReadReplyLine(receive, buffer + carried, size - carried, report);
        const std::size_t length = carried + read;
        if (length == 0) break;
        if (first && IsSuccessStatus(buffer)) success = true;
        std::size_t held = 0;
        if (wholeCharacters && read > 0 && length == size - 1 && buffer[length - 1] != '\n') {
            held = UnfinishedUtf8Tail(std::string_view(buffer, length));
            // Something must be shown: a buffer too small for one
            // character shows its pieces.
            if (held >= length) held = 0;
        }
        char tail[4];
        std::memcpy(tail, buffer + length - held, held);
        buffer[length - held] = '\0';
        show(std::string_view(buffer, length - held));
        std::memcpy(buffer, tail, held);
        carried = held;
        if (read == 0) break;  // the reply ended behind the carried bytes
    }
    return success;
}

// The form encoding of text: letters, digits and "*-._" stay, a space becomes
// "+", every other byte "%xx" in lowercase hexadecimal. Returns a new
// zero-terminated copy of 3 x (length + 1) bytes, or null when that much
// cannot be had.
std::unique_ptr<char[]> EncodeFormText(std::string_view text);

}  // namespace wex::http
