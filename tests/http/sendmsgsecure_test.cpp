// SendMsgSecure and its wide twin through the real DLL, against the tests' TLS server on the
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
using wextest::Wide;

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

    // The wide twin, with its caller's UTF-16 texts.
    Outcome SendW(const std::wstring& host, const std::wstring& port, const std::wstring& path,
                  const std::wstring& body) {
        boxes_.Clear();
        wextest::StdCapture capture;
        const DWORD start = GetTickCount();
        const int result = SendMsgSecureW(host.c_str(), port.c_str(), path.c_str(), body.c_str());
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

namespace {

// ---- The wide twin ---------------------------------------------------------------

// A line that names a port, with the port left out: two servers, two ports.
std::string WithoutPort(std::string text, const std::string& port) {
    for (size_t at; (at = text.find(":" + port)) != std::string::npos;) text.erase(at + 1, port.size());
    return text;
}

// The body as its UTF-8, the path's non-ASCII characters percent-encoded, a
// host name that is not ASCII in its IDNA form (full-width letters: that form
// is "localhost", which the lookup finds, the handshake names and the
// certificate is for), every reply line decoded from UTF-8 or, failing that,
// from the ANSI code page.
TEST_F(SendMsgSecureTest, TwinPostsUtf8InsideTlsAndShowsTheReplyDecoded) {
    struct Row {
        const char* name;
        std::string host;
        std::string path;
        std::string body;
        std::string sentPath;
        std::string reply;
        std::vector<std::string> lines;  // as the twin shows them, in UTF-8
    } rows[] = {
        {"Cyrillic and Japanese", "localhost", "/регистрация", "имя=Магазин&店=東京",
         "/%D1%80%D0%B5%D0%B3%D0%B8%D1%81%D1%82%D1%80%D0%B0%D1%86%D0%B8%D1%8F",
         "HTTP/1.0 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nспасибо, ありがとう\r\n",
         {"HTTP/1.0 200 OK\r\n", "Content-Type: text/plain; charset=utf-8\r\n", "\r\n", "спасибо, ありがとう\r\n"}},
        {"a host name in full-width letters", "ｌｏｃａｌｈｏｓｔ", "/店舗", "card=\xF0\x9F\x92\xB3",
         "/%E5%BA%97%E8%88%97", "HTTP/1.0 200 OK\r\n\r\nCaf\xE9 \x80 5\r\n",
         {"HTTP/1.0 200 OK\r\n", "\r\n", "Café € 5\r\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server("tls", "good.pem", row.reply);
        const Outcome o = SendW(Wide(row.host), Wide(server.PortText()), Wide(row.path), Wide(row.body));
        const ScriptedServer::Report seen = server.Finish();
        EXPECT_EQ(o.result, 1);
        EXPECT_TRUE(seen.handshake);
        EXPECT_EQ(seen.received, Request(row.sentPath, row.body)) << "the request once, in UTF-8";
        EXPECT_EQ(o.boxes, SecureBoxes(row.lines));
        EXPECT_EQ(o.out, AsCaptured(Joined(row.lines))) << "standard output in UTF-8";
        EXPECT_EQ(o.err, "");
    }
}

// The certificate must be for the IDNA form; the line names the host as given.
TEST_F(SendMsgSecureTest, TwinChecksTheCertificateForTheIdnaForm) {
    ScriptedServer server("tls", "othername.pem", kOk);
    const Outcome o = SendW(Wide("ｌｏｃａｌｈｏｓｔ"), Wide(server.PortText()), L"/register", L"a=1");
    const ScriptedServer::Report seen = server.Finish();
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.err, "SendMsgSecure: certificate of ｌｏｃａｌｈｏｓｔ not accepted: name mismatch\n");
    EXPECT_TRUE(seen.handshake);
    EXPECT_EQ(seen.received, "");
}

// For ASCII texts the twin is its export: the same request bytes, result,
// boxes (captioned "SendMsgSecure"), refusals and wait-limit behaviour.
TEST_F(SendMsgSecureTest, TwinGivesItsExportsOutcomesForAsciiTexts) {
    struct Row {
        const char* name;
        const char* mode;
        const char* certificate;
        std::string path;
        std::string reply;
        int limitMs;
    } rows[] = {
        {"404", "tls", "good.pem", "/n", "HTTP/1.0 404 Not Found\r\n\r\ngone 100%s\r\n", 0},
        {"expired certificate", "tls", "expired.pem", "/register", kOk, 0},
        {"plain HTTP", "plain", "good.pem", "/register", "HTTP/1.0 400 Bad Request\r\n\r\n", 0},
        {"path too long", "silent", "-", "/" + std::string(484, 'p'), "", 0},
        {"never answers the request", "tls-silent", "good.pem", "/register", kOk, 2000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Outcome outcomes[2];
        ScriptedServer::Report seen[2];
        for (int twin = 0; twin < 2; ++twin) {
            SCOPED_TRACE(twin ? "SendMsgSecureW" : "SendMsgSecure");
            ScriptedServer server(row.mode, row.certificate, row.reply);
            ASSERT_EQ(SetWaitLimit(row.limitMs), 0);
            outcomes[twin] = twin ? SendW(L"localhost", Wide(server.PortText()), Wide(row.path), L"a=1")
                                  : Send("localhost", server.PortText(), row.path, "a=1");
            SetWaitLimit(0);
            seen[twin] = server.Finish();
            if (row.limitMs > 0) {
                EXPECT_GE(outcomes[twin].elapsedMs, static_cast<DWORD>(row.limitMs - 20));
                EXPECT_LT(outcomes[twin].elapsedMs, static_cast<DWORD>(row.limitMs + 1000));
            }
            outcomes[twin].err = WithoutPort(outcomes[twin].err, server.PortText());
        }
        EXPECT_EQ(outcomes[1].result, outcomes[0].result);
        EXPECT_EQ(outcomes[1].boxes, outcomes[0].boxes);
        EXPECT_EQ(outcomes[1].out, outcomes[0].out);
        EXPECT_EQ(outcomes[1].err, outcomes[0].err);
        EXPECT_EQ(seen[1].handshake, seen[0].handshake);
        if (std::string(row.mode) == "plain") {
            // A client hello, random bytes included, that names the server.
            for (const ScriptedServer::Report& one : seen) {
                EXPECT_NE(one.received.find("localhost"), std::string::npos);
                EXPECT_EQ(one.received.find("POST"), std::string::npos);
            }
        } else {
            EXPECT_EQ(seen[1].received, seen[0].received);
        }
    }
}

TEST_F(SendMsgSecureTest, TwinInSilentModeAndInTheLog) {
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    ASSERT_EQ(SetLogFile(log.c_str()), 1);
    ASSERT_EQ(SetSilentMode(1), 0);
    ScriptedServer server("tls", "good.pem", "HTTP/1.0 200 OK\r\nありがとう\r\n");
    const Outcome o = SendW(L"localhost", Wide(server.PortText()), Wide("/店"), Wide("カード=4111111111111111"));
    EXPECT_EQ(SetSilentMode(0), 1);
    EXPECT_EQ(SetLogFile(nullptr), 1);
    EXPECT_EQ(o.result, 1);
    EXPECT_TRUE(o.boxes.empty());
    EXPECT_EQ(o.err, "[SendMsgSecure] HTTP/1.0 200 OK\n[SendMsgSecure] ありがとう\n");
    EXPECT_EQ(server.Finish().received, Request("/%E5%BA%97", "カード=4111111111111111"));
    const std::string text = wextest::ReadBytes(log);
    EXPECT_EQ(text.find("4111111111111111"), std::string::npos) << "the body is never logged";
    const std::regex events(
        R"(\S+ \S+ SetLogFile\(".*"\) -> 1\r\n)"
        R"(\S+ \S+ SetSilentMode\(1\) -> 0\r\n)"
        R"(\S+ \S+ box \[SendMsgSecure\] HTTP/1.0 200 OK\\r\\n \(suppressed\)\r\n)"
        R"(\S+ \S+ stdout: HTTP/1.0 200 OK\\r\r\n)"
        R"(\S+ \S+ box \[SendMsgSecure\] ありがとう\\r\\n \(suppressed\)\r\n)"
        R"(\S+ \S+ stdout: ありがとう\\r\r\n)"
        R"(\S+ \S+ SendMsgSecureW\("localhost", ")" +
        server.PortText() +
        R"(", "/店", <26 bytes>\) -> 1\r\n)"
        R"(\S+ \S+ SetSilentMode\(0\) -> 1\r\n)"
        R"(\S+ \S+ SetLogFile\(null\) -> 1\r\n)");
    EXPECT_TRUE(std::regex_match(text, events)) << text;
}

}  // namespace
