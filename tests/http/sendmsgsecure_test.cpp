// SendMsgSecure through the real DLL, against the tests' TLS server on the
// Linux side (tools/formserver/tlsserver.py), whose test certificate
// authority the fixture has put into the prefix's machine root store.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "boxes.h"
#include "capture.h"
#include "loopback.h"
#include "scratch.h"
#include "scriptedserver.h"
#include "wexlib.h"

namespace {

using wextest::Box;
using wextest::ScriptedServer;

std::string Request(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.0\nUser-Agent: QuorvelMerchant\nContent-Type: application/x-www-form-urlencoded\n" +
           "Content-Length: " + std::to_string(body.size()) + "\n\n" + body + "\n";
}

// The capture reads standard output back in text mode: CR LF as one line feed.
std::string AsCaptured(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

std::vector<Box> SecureBoxes(const std::vector<std::string>& lines) {
    std::vector<Box> boxes;
    for (const std::string& line : lines) boxes.push_back({"SendMsgSecure", line});
    return boxes;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

class SendMsgSecureTest : public testing::Test {
protected:
    struct Outcome {
        int result;
        std::vector<Box> boxes;
        std::string out;
        std::string err;
        DWORD elapsedMs;
    };

    Outcome Send(const std::string& host, const std::string& port, const std::string& path, const std::string& body) {
        boxes_.Clear();
        wextest::StdCapture capture;
        const DWORD start = GetTickCount();
        const int result = SendMsgSecure(host.c_str(), port.c_str(), path.c_str(), body.c_str());
        const DWORD elapsed = GetTickCount() - start;
        return {result, boxes_.Boxes(), capture.Out(), capture.Err(), elapsed};
    }

    wextest::BoxRecorder boxes_;
};

const char kOk[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthanks\r\n";
const std::vector<std::string> kOkLines = {"HTTP/1.0 200 OK\r\n", "Content-Type: text/plain\r\n", "\r\n",
                                           "thanks\r\n"};

TEST_F(SendMsgSecureTest, PostsTheExactRequestInsideTls) {
    struct Row {
        const char* host;
        const char* certificate;
        std::string path;
        std::string body;
    } rows[] = {
        {"localhost", "good.pem", "/register", "merchant=ACME+Store&id=acme-03"},
        // A dotted host is checked against the certificate's names too.
        {"127.0.0.1", "good.pem", "/a%d%s?x=1", "100%25 & %s"},
        {"localhost", "good.pem", "/", ""},
        // Longer than one TLS record: the body goes out in several.
        {"localhost", "good.pem", "/big", std::string(40000, 'b')},
    };
    const int held = wextest::SocketStartsHeld();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host + (" " + row.path) + " " + row.certificate);
        ScriptedServer server("tls", row.certificate, kOk);
        const Outcome o = Send(row.host, server.PortText(), row.path, row.body);
        const ScriptedServer::Report seen = server.Finish();
        EXPECT_EQ(o.result, 1);
        EXPECT_TRUE(seen.handshake);
        EXPECT_EQ(seen.received, Request(row.path, row.body)) << "the request once, byte for byte";
        EXPECT_EQ(o.boxes, SecureBoxes(kOkLines));
        EXPECT_EQ(o.out, AsCaptured(kOk));
        EXPECT_EQ(o.err, "");
    }
    EXPECT_EQ(wextest::SocketStartsHeld(), held) << "a start of the sockets library that SendMsgSecure kept";
}

// A revocation status that cannot be found out is no fault: this
// certificate's revocation list is on a server that cannot be reached.
TEST_F(SendMsgSecureTest, AcceptsACertificateWhoseRevocationCannotBeFoundOut) {
    ScriptedServer server("tls", "unreachable.pem", kOk);
    const Outcome o = Send("localhost", server.PortText(), "/register", "a=1");
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.boxes, SecureBoxes(kOkLines));
    EXPECT_EQ(server.Finish().received, Request("/register", "a=1"));
}

TEST_F(SendMsgSecureTest, ShowsEveryReplyLineAndTestsOnlyTheFirst) {
    struct Row {
        const char* name;
        std::string reply;
        int result;
        std::vector<std::string> lines;
    } rows[] = {
        {"404", "HTTP/1.0 404 Not Found\r\nServer: t\r\n\r\ngone 100%s\r\n", 0,
         {"HTTP/1.0 404 Not Found\r\n", "Server: t\r\n", "\r\n", "gone 100%s\r\n"}},
        {"200 in a later line only", "HTTP/1.0 302 Found\nX-Note: a 200 b\n", 0,
         {"HTTP/1.0 302 Found\n", "X-Note: a 200 b\n"}},
        {"closes without a reply", "", 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server("tls", "good.pem", row.reply);
        const Outcome o = Send("localhost", server.PortText(), "/n", "a=1");
        EXPECT_EQ(o.result, row.result);
        EXPECT_EQ(o.boxes, SecureBoxes(row.lines));
        EXPECT_EQ(o.out, AsCaptured(Joined(row.lines)));
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(server.Finish().received, Request("/n", "a=1"));
    }
}

// Each fault ends the call after the handshake and before the request: the
// server sees a completed handshake and not one byte inside it.
TEST_F(SendMsgSecureTest, RefusesCertificatesThatTheMachineDoesNotAccept) {
    struct Row {
        const char* certificate;
        const char* host;
        const char* reason;
    } rows[] = {
        {"expired.pem", "localhost", "expired"},
        {"othername.pem", "localhost", "name mismatch"},
        // In the authority's revocation list.
        {"revoked.pem", "localhost", "revoked"},
        {"selfsigned.pem", "localhost", "untrusted root"},
        // Issued by an intermediate authority that the server does not send.
        {"orphan.pem", "127.0.0.1", "unknown issuer"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.certificate);
        ScriptedServer server("tls", row.certificate, kOk);
        const Outcome o = Send(row.host, server.PortText(), "/register", "card=4111111111111111");
        const ScriptedServer::Report seen = server.Finish();
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.err, std::string("SendMsgSecure: certificate of ") + row.host + " not accepted: " + row.reason + "\n");
        EXPECT_TRUE(o.boxes.empty());
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(seen.handshake);
        EXPECT_EQ(seen.received, "") << "no byte of the request";
    }
}

TEST_F(SendMsgSecureTest, RefusesServersWithoutAModernTlsSession) {
    struct Row {
        const char* name;
        const char* mode;
        std::string reply;
        const char* reason;
    } rows[] = {
        {"TLS 1.0 only", "tls10", kOk, "no protocol version in common: the server chose TLS 1.0, older than TLS 1.2"},
        {"plain HTTP", "plain", "HTTP/1.0 400 Bad Request\r\n\r\n", "the server's answer is not TLS"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.mode, "good.pem", row.reply);
        const Outcome o = Send("localhost", server.PortText(), "/register", "a=1");
        const ScriptedServer::Report seen = server.Finish();
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.err, "SendMsgSecure: no secure connection to localhost:" + server.PortText() + ": " + row.reason +
                             "\n");
        EXPECT_TRUE(o.boxes.empty());
        EXPECT_EQ(o.out, "");
        EXPECT_FALSE(seen.handshake);
        EXPECT_EQ(seen.received.find("POST"), std::string::npos) << "no request in clear";
    }
}

// The limit bounds the whole call, the handshake included, however the
// server trickles its bytes: one a second would otherwise hold the call for
// as many seconds as the reply has bytes.
TEST_F(SendMsgSecureTest, WaitLimitBoundsTheWholeCall) {
    const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthanks\r\n";
    struct Row {
        const char* mode;
        bool requestArrives;
    } rows[] = {
        {"silent", false},             // accepts, never answers the hello
        {"handshake-trickle", false},  // a handshake record, a byte a second
        {"tls-silent", true},          // takes the request, never answers
        {"tls-trickle", true},         // the reply a byte a second
    };
    const int kLimitMs = 2000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        ScriptedServer server(row.mode, "good.pem", reply);
        ASSERT_EQ(SetWaitLimit(kLimitMs), 0);
        const Outcome o = Send("localhost", server.PortText(), "/register", "a=1");
        EXPECT_EQ(SetWaitLimit(0), kLimitMs);
        const ScriptedServer::Report seen = server.Finish();
        EXPECT_EQ(o.result, 0);
        EXPECT_GE(o.elapsedMs, static_cast<DWORD>(kLimitMs - 20));
        EXPECT_LT(o.elapsedMs, static_cast<DWORD>(kLimitMs + 1000)) << "the call ends at the limit";
        EXPECT_EQ(o.err, "SendMsgSecure: no answer from localhost:" + server.PortText() + " within 2000 ms\n");
        // What trickled in before the limit is shown as a (partial) line.
        EXPECT_LE(o.boxes.size(), 1u);
        for (const Box& box : o.boxes) {
            EXPECT_EQ(box.caption, "SendMsgSecure");
            EXPECT_EQ(reply.rfind(box.text, 0), 0u) << box.text;
            EXPECT_LT(box.text.size(), 4u) << box.text;
        }
        EXPECT_EQ(seen.received, row.requestArrives ? Request("/register", "a=1") : "");
    }
}

TEST_F(SendMsgSecureTest, RefusesBadArgumentsBeforeConnecting) {
    ScriptedServer server("silent", "-", "");
    const Outcome o = Send("localhost", server.PortText(), "/" + std::string(484, 'p'), "a=1");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.err, "SendMsgSecure: request path longer than 484 characters\n");
    EXPECT_TRUE(o.boxes.empty());

    const std::string port = server.PortText();
    EXPECT_EQ(SendMsgSecure(nullptr, port.c_str(), "/", ""), 0);
    EXPECT_EQ(SendMsgSecure("localhost", nullptr, "/", ""), 0);
    EXPECT_EQ(SendMsgSecure("localhost", port.c_str(), nullptr, ""), 0);
    EXPECT_EQ(SendMsgSecure("localhost", port.c_str(), "/", nullptr), 0);
    // Host names and dotted addresses are read as SendMsg reads them.
    EXPECT_EQ(Send("host9", port, "/", "").err, "QVSocket: Invalid IP address: host9\n");
    EXPECT_FALSE(server.Finish().connected) << "nothing may be sent";
}

// Silent mode and the log, as for SendMsg: the box becomes a standard error
// line and a log line, and the body shows only as its length.
TEST_F(SendMsgSecureTest, SilentModeAndLogAsForSendMsg) {
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    ASSERT_EQ(SetLogFile(log.c_str()), 1);
    ASSERT_EQ(SetSilentMode(1), 0);
    ScriptedServer server("tls", "good.pem", "HTTP/1.0 200 OK\r\n");
    const Outcome o = Send("localhost", server.PortText(), "/register", "card=4111111111111111");
    EXPECT_EQ(SetSilentMode(0), 1);
    EXPECT_EQ(SetLogFile(nullptr), 1);
    EXPECT_EQ(o.result, 1);
    EXPECT_TRUE(o.boxes.empty());
    EXPECT_EQ(o.err, "[SendMsgSecure] HTTP/1.0 200 OK\n");
    const std::string text = wextest::ReadBytes(log);
    EXPECT_EQ(text.find("4111111111111111"), std::string::npos) << "the body is never logged";
    const std::regex events(
        R"(\S+ \S+ SetLogFile\(".*"\) -> 1\r\n)"
        R"(\S+ \S+ SetSilentMode\(1\) -> 0\r\n)"
        R"(\S+ \S+ box \[SendMsgSecure\] HTTP/1.0 200 OK\\r\\n \(suppressed\)\r\n)"
        R"(\S+ \S+ stdout: HTTP/1.0 200 OK\\r\r\n)"
        R"(\S+ \S+ SendMsgSecure\("localhost", ")" +
        server.PortText() +
        R"(", "/register", <21 bytes>\) -> 1\r\n)"
        R"(\S+ \S+ SetSilentMode\(0\) -> 1\r\n)"
        R"(\S+ \S+ SetLogFile\(null\) -> 1\r\n)");
    EXPECT_TRUE(std::regex_match(text, events)) << text;
}

}  // namespace
