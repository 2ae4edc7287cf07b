// SendMsg and URLEncode through the real DLL, against a loopback server
// inside the test process.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "boxes.h"
#include "capture.h"
#include "loopback.h"
#include "urlencode_cases.h"
#include "wexlib.h"

namespace {

using wextest::Box;
using wextest::LoopbackServer;

const char kHead[] =
    "User-Agent: QuorvelMerchant\n"
    "Content-Type: application/x-www-form-urlencoded\n";

std::string Request(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.0\n" + kHead + "Content-Length: " + std::to_string(body.size()) + "\n\n" + body +
           "\n";
}

// What the capture reads back of a line written to standard output: the
// capture reads in text mode, where CR LF is one line feed.
std::string AsCaptured(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

std::vector<Box> SendMsgBoxes(const std::vector<std::string>& lines) {
    std::vector<Box> boxes;
    for (const std::string& line : lines) boxes.push_back({"SendMsg", line});
    return boxes;
}

class SendMsgTest : public testing::Test {
protected:
    struct Outcome {
        int result;
        std::vector<Box> boxes;
        std::string out;
        std::string err;
    };

    Outcome Send(const std::string& host, const std::string& port, const std::string& path, const std::string& body,
                 int errorNumber = 0) {
        boxes_.Clear();
        wextest::StdCapture capture;
        errno = errorNumber;
        int result = SendMsg(host.c_str(), port.c_str(), path.c_str(), body.c_str());
        errno = 0;
        return {result, boxes_.Boxes(), capture.Out(), capture.Err()};
    }

    wextest::BoxRecorder boxes_;
};

TEST_F(SendMsgTest, SendsTheExactRequestBytes) {
    struct Row {
        std::string path;
        std::string body;
    } rows[] = {
        {"/register", "merchant=ACME+Store&id=12345"},
        // The body goes out unencoded; "%" in path or body is plain text.
        {"/a%d%s?x=1", "100%25 & %s"},
        {"/", ""},
        // The longest path that fits: a request line of 499 characters.
        {"/" + std::string(483, 'p'), "x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.substr(0, 20));
        LoopbackServer server("HTTP/1.0 200 OK\n");
        Outcome o = Send("127.0.0.1", server.PortText(), row.path, row.body);
        EXPECT_EQ(server.Request(), Request(row.path, row.body));
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.boxes, SendMsgBoxes({"HTTP/1.0 200 OK\n"}));
        EXPECT_EQ(o.err, "");
    }
}

TEST_F(SendMsgTest, ShowsEveryReplyLineAndTestsOnlyTheFirst) {
    const std::string longStatus = "HTTP/1.0 200 OK " + std::string(583, 'x') + "\n";  // 600 bytes
    const std::string late200 = std::string(550, 'y') + " 200 " + std::string(44, 'y') + "\n";
    struct Row {
        const char* name;
        std::string reply;
        int result;
        std::vector<std::string> lines;
    } rows[] = {
        {"200 with CR LF", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthanks\r\n", 1,
         {"HTTP/1.0 200 OK\r\n", "Content-Type: text/plain\r\n", "\r\n", "thanks\r\n"}},
        {"no space after 200", "HTTP/1.1 200\r\n\r\n", 0, {"HTTP/1.1 200\r\n", "\r\n"}},
        {"404", "HTTP/1.0 404 Not Found\nServer: t\n\ngone\n", 0,
         {"HTTP/1.0 404 Not Found\n", "Server: t\n", "\n", "gone\n"}},
        {"200 in a later line only", "HTTP/1.0 302 Found\nX-Note: a 200 b\n", 0,
         {"HTTP/1.0 302 Found\n", "X-Note: a 200 b\n"}},
        {"600-byte status line", longStatus, 1, {longStatus.substr(0, 499), longStatus.substr(499)}},
        {"200 beyond the first 499 bytes", late200, 0, {late200.substr(0, 499), late200.substr(499)}},
        {"last line without line feed", "HTTP/1.0 200 OK\nend", 1, {"HTTP/1.0 200 OK\n", "end"}},
        {"percent signs", "HTTP/1.0 200 OK\n100% %s %d %n\n", 1, {"HTTP/1.0 200 OK\n", "100% %s %d %n\n"}},
        {"closes without sending", "", 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackServer server(row.reply);
        Outcome o = Send("127.0.0.1", server.PortText(), "/n", "a=1");
        EXPECT_EQ(o.result, row.result);
        EXPECT_EQ(o.boxes, SendMsgBoxes(row.lines));
        std::string written;
        for (const std::string& line : row.lines) written += line;
        EXPECT_EQ(o.out, AsCaptured(written));
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(server.Request(), Request("/n", "a=1"));
    }
}

TEST_F(SendMsgTest, ReadsTheHostAndPortTexts) {
    struct Row {
        const char* host;
        const char* before;
        unsigned offset;
        const char* after;
    } rows[] = {
        {"localhost", "", 0, ""},          // a name: looked up
        {"127.1", "  +", 0, "/x"},         // atoi rules: blanks, a sign, stops at a non-digit
        {"127.0.0.1", "", 65536, ""},      // only the low 16 bits count
    };
    for (const Row& row : rows) {
        LoopbackServer server("HTTP/1.0 200 OK\n");
        std::string port = row.before + std::to_string(server.Port() + row.offset) + row.after;
        SCOPED_TRACE(row.host + (" port " + port));
        Outcome o = Send(row.host, port, "/", "");
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.boxes.size(), 1u);
        EXPECT_EQ(server.Request(), Request("/", ""));
    }
}

TEST_F(SendMsgTest, RefusesHostsThatCannotBeReached) {
    LoopbackServer server("HTTP/1.0 200 OK\n");
    struct Row {
        const char* host;
        std::string port;
        const char* err;
    } rows[] = {
        // Ends in a digit: read as a dotted address, never looked up.
        {"host9", server.PortText(), "QVSocket: Invalid IP address: host9\n"},
        {"127.0.0.256", server.PortText(), "QVSocket: Invalid IP address: 127.0.0.256\n"},
        {"255.255.255.255", server.PortText(), "QVSocket: Invalid IP address: 255.255.255.255\n"},
        {"no-such-host.invalid", server.PortText(), "QVSocket: Failure on gethostbyname().\n"},
        // A port text with no digits gives port 0: the connection fails quietly.
        {"127.0.0.1", "http", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host);
        Outcome o = Send(row.host, row.port, "/", "a=1");
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.err, row.err);
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(o.boxes.empty());
    }
    EXPECT_FALSE(server.Connected());
}

TEST_F(SendMsgTest, RefusesBadArgumentsBeforeConnecting) {
    LoopbackServer server("HTTP/1.0 200 OK\n");
    // A request line longer than the transfer buffer allows.
    Outcome o = Send("127.0.0.1", server.PortText(), "/" + std::string(484, 'p'), "a=1");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.err, "SendMsg: request path longer than 484 characters\n");
    EXPECT_TRUE(o.boxes.empty());

    const std::string port = server.PortText();
    EXPECT_EQ(SendMsg(nullptr, port.c_str(), "/", ""), 0);
    EXPECT_EQ(SendMsg("127.0.0.1", nullptr, "/", ""), 0);
    EXPECT_EQ(SendMsg("127.0.0.1", port.c_str(), nullptr, ""), 0);
    EXPECT_EQ(SendMsg("127.0.0.1", port.c_str(), "/", nullptr), 0);
    EXPECT_FALSE(server.Connected()) << "nothing may be sent";
}

TEST_F(SendMsgTest, AnErrorNumberLeftSetShowsWhenTheReplyEnds) {
    LoopbackServer server("HTTP/1.0 200 OK\n");
    Outcome o = Send("127.0.0.1", server.PortText(), "/", "", ENOENT);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.boxes, SendMsgBoxes({"HTTP/1.0 200 OK\n"}));
    EXPECT_EQ(o.err, std::string("System Error (2): ") + std::strerror(ENOENT) + "\n") << "one line, as perror writes it";
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << "one line: " << o.err;
}

TEST_F(SendMsgTest, ReleasesTheSocketsLibraryAndKeepsTheThreadsOpenType) {
    // Other libraries of the process may hold starts of their own (Wine's
    // security package does): SendMsg must leave the count as it found it.
    const int held = wextest::SocketStartsHeld();
    {
        LoopbackServer server("HTTP/1.0 200 OK\n");
        // The open type is the thread's own: reset it, then let SendMsg set it.
        int openType = 0;
        int size = sizeof openType;
        setsockopt(INVALID_SOCKET, SOL_SOCKET, SO_OPENTYPE, reinterpret_cast<const char*>(&openType), size);
        EXPECT_EQ(Send("127.0.0.1", server.PortText(), "/", "").result, 1);
        EXPECT_EQ(Send("host9", server.PortText(), "/", "").result, 0);
        EXPECT_EQ(Send("127.0.0.1", "0", "/", "").result, 0);
        ASSERT_EQ(getsockopt(INVALID_SOCKET, SOL_SOCKET, SO_OPENTYPE, reinterpret_cast<char*>(&openType), &size), 0);
        EXPECT_EQ(openType, SO_SYNCHRONOUS_NONALERT);
    }
    EXPECT_EQ(wextest::SocketStartsHeld(), held) << "a start that SendMsg kept";
}

TEST(URLEncodeTest, EncodesIntoTheCallersBuffer) {
    for (const wextest::EncodeCase& c : wextest::kEncodeCases) {
        SCOPED_TRACE(c.text);
        char out[64];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(URLEncode(c.text, out), 0);
        EXPECT_STREQ(out, c.encoded);
        EXPECT_EQ(out[std::strlen(c.encoded) + 1], '#') << "nothing beyond the zero";
    }
}

TEST(URLEncodeTest, EncodesInPlaceAndRefusesMissingBuffers) {
    // The caller's buffer may hold the text itself: it is encoded aside first.
    char text[3 * 8 + 1] = "a&b=c d~";
    EXPECT_EQ(URLEncode(text, text), 0);
    EXPECT_STREQ(text, "a%26b%3dc+d%7e");

    EXPECT_EQ(URLEncode("a b", nullptr), 0);
    char out[8] = "#######";
    EXPECT_EQ(URLEncode(nullptr, out), 0);
    EXPECT_STREQ(out, "");
}

// With a wait limit, a server that stalls (before its reply or after its
// status line) ends the call at the limit: the timeout line on standard
// error, and the result of what did arrive.
TEST_F(SendMsgTest, WaitLimitEndsAStalledExchange) {
    struct Row {
        const char* label;
        std::string reply;
        int result;
        std::vector<std::string> lines;
    } rows[] = {
        {"accepts and never answers", "", 0, {}},
        {"answers its status line, then stalls", "HTTP/1.0 200 OK\r\n", 1, {"HTTP/1.0 200 OK\r\n"}},
    };
    const int kLimitMs = 1500;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        LoopbackServer server(row.reply, LoopbackServer::AfterReply::Stall);
        ASSERT_EQ(SetWaitLimit(kLimitMs), 0);
        const DWORD start = GetTickCount();
        Outcome o = Send("127.0.0.1", server.PortText(), "/register", "a=1");
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(SetWaitLimit(0), kLimitMs);
        EXPECT_EQ(o.result, row.result);
        EXPECT_GE(elapsed, static_cast<DWORD>(kLimitMs - 20));
        EXPECT_LT(elapsed, static_cast<DWORD>(kLimitMs + 1000)) << "the call ends at the limit";
        EXPECT_EQ(o.boxes, SendMsgBoxes(row.lines));
        EXPECT_EQ(o.err, "SendMsg: no answer from 127.0.0.1:" + server.PortText() + " within 1500 ms\n");
        EXPECT_EQ(server.Request(), Request("/register", "a=1"));
    }
}

// The limit bounds the whole call: a server that sends one byte a second
// would otherwise hold it for as many seconds as its reply has bytes.
TEST_F(SendMsgTest, WaitLimitBoundsTheWholeCallOfATricklingServer) {
    const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    LoopbackServer server(reply, LoopbackServer::AfterReply::Trickle);
    const int kLimitMs = 1500;
    ASSERT_EQ(SetWaitLimit(kLimitMs), 0);
    const DWORD start = GetTickCount();
    Outcome o = Send("127.0.0.1", server.PortText(), "/register", "a=1");
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(SetWaitLimit(0), kLimitMs);
    EXPECT_EQ(o.result, 0);
    EXPECT_GE(elapsed, static_cast<DWORD>(kLimitMs - 20));
    EXPECT_LT(elapsed, static_cast<DWORD>(kLimitMs + 1000)) << "the call ends at the limit";
    EXPECT_EQ(o.err, "SendMsg: no answer from 127.0.0.1:" + server.PortText() + " within 1500 ms\n");
    // What trickled in before the limit is shown as a (partial) line.
    EXPECT_LE(o.boxes.size(), 1u);
    for (const Box& box : o.boxes) {
        EXPECT_EQ(box.caption, "SendMsg");
        EXPECT_EQ(reply.rfind(box.text, 0), 0u) << box.text;
        EXPECT_LT(box.text.size(), 3u) << box.text;
    }
    EXPECT_EQ(server.Request(), Request("/register", "a=1"));
}

}  // namespace
