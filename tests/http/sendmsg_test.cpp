// SendMsg and URLEncode and their wide twins through the real DLL, against a
// loopback server inside the test process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <regex>
#include <string>
#include <vector>

#include "boxes.h"
#include "capture.h"
#include "loopback.h"
#include "scratch.h"
#include "urlencode_cases.h"
#include "wexlib.h"

namespace {

using wextest::Box;
using wextest::LoopbackServer;
using wextest::Wide;

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

    // The wide twin, with its caller's UTF-16 texts.
    Outcome SendW(const std::wstring& host, const std::wstring& port, const std::wstring& path,
                  const std::wstring& body) {
        boxes_.Clear();
        wextest::StdCapture capture;
        int result = SendMsgW(host.c_str(), port.c_str(), path.c_str(), body.c_str());
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

namespace {

// ---- The wide twins ------------------------------------------------------------

std::string Repeated(const std::string& text, int count) {
    std::string repeated;
    for (int i = 0; i < count; ++i) repeated += text;
    return repeated;
}

// A line that names a port, with the port left out: two servers, two ports.
std::string WithoutPort(std::string text, const std::string& port) {
    for (size_t at; (at = text.find(":" + port)) != std::string::npos;) text.erase(at + 1, port.size());
    return text;
}

// For ASCII texts the twin is its export: the same request bytes, result,
// boxes (captioned "SendMsg"), lines and wait-limit behaviour.
TEST_F(SendMsgTest, TwinGivesItsExportsOutcomesForAsciiTexts) {
    using After = LoopbackServer::AfterReply;
    const std::string longStatus = "HTTP/1.0 200 OK " + std::string(583, 'x') + "\n";
    struct Row {
        const char* name;
        std::string host;
        std::string port;  // empty: the server's
        std::string path;
        std::string body;
        std::string reply;
        After after;
        int limitMs;
    } rows[] = {
        {"200 with CR LF", "127.0.0.1", "", "/register", "merchant=ACME+Store&id=12345",
         "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthanks\r\n", After::End, 0},
        {"404 and percent signs", "localhost", "", "/a%d%s?x=1", "100%25 & %s", "HTTP/1.0 404 Not Found\n100% %s %d\n",
         After::End, 0},
        {"600-byte status line", "127.0.0.1", "", "/", "", longStatus, After::End, 0},
        {"longest path", "127.0.0.1", "", "/" + std::string(483, 'p'), "x", "HTTP/1.0 200 OK\n", After::End, 0},
        {"path too long", "127.0.0.1", "", "/" + std::string(484, 'p'), "x", "HTTP/1.0 200 OK\n", After::End, 0},
        {"not a dotted address", "host9", "", "/", "a=1", "", After::End, 0},
        {"broadcast address", "255.255.255.255", "", "/", "a=1", "", After::End, 0},
        {"unknown name", "no-such-host.invalid", "", "/", "a=1", "", After::End, 0},
        {"port without digits", "127.0.0.1", "http", "/", "a=1", "", After::End, 0},
        {"stalls after its status line", "127.0.0.1", "", "/register", "a=1", "HTTP/1.0 200 OK\r\n", After::Stall,
         1500},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Outcome outcomes[2];
        std::string requests[2];
        for (int twin = 0; twin < 2; ++twin) {
            SCOPED_TRACE(twin ? "SendMsgW" : "SendMsg");
            LoopbackServer server(row.reply, row.after);
            const std::string port = row.port.empty() ? server.PortText() : row.port;
            ASSERT_EQ(SetWaitLimit(row.limitMs), 0);
            const DWORD start = GetTickCount();
            outcomes[twin] = twin ? SendW(Wide(row.host), Wide(port), Wide(row.path), Wide(row.body))
                                  : Send(row.host, port, row.path, row.body);
            const DWORD elapsed = GetTickCount() - start;
            SetWaitLimit(0);
            if (row.limitMs > 0) {
                EXPECT_GE(elapsed, static_cast<DWORD>(row.limitMs - 20));
                EXPECT_LT(elapsed, static_cast<DWORD>(row.limitMs + 1000)) << "the call ends at the limit";
            }
            outcomes[twin].err = WithoutPort(outcomes[twin].err, port);
            requests[twin] = server.Request();
        }
        EXPECT_EQ(outcomes[1].result, outcomes[0].result);
        EXPECT_EQ(outcomes[1].boxes, outcomes[0].boxes);
        EXPECT_EQ(outcomes[1].out, outcomes[0].out);
        EXPECT_EQ(outcomes[1].err, outcomes[0].err);
        EXPECT_EQ(requests[1], requests[0]);
    }
}

TEST_F(SendMsgTest, TwinSendsUtf8AndPercentEncodesThePath) {
    struct Row {
        const char* name;
        std::string path;
        std::string body;
        std::string sentPath;
    } rows[] = {
        {"Cyrillic", "/регистрация/магазин", "имя=Магазин+Рога&город=Москва",
         "/%D1%80%D0%B5%D0%B3%D0%B8%D1%81%D1%82%D1%80%D0%B0%D1%86%D0%B8%D1%8F/"
         "%D0%BC%D0%B0%D0%B3%D0%B0%D0%B7%D0%B8%D0%BD"},
        {"Japanese", "/店舗/登録?名前=テスト", "店=東京",
         "/%E5%BA%97%E8%88%97/%E7%99%BB%E9%8C%B2?%E5%90%8D%E5%89%8D=%E3%83%86%E3%82%B9%E3%83%88"},
        {"a surrogate pair", "/pay/\xF0\x9F\x92\xB3", "card=\xF0\x9F\x92\xB3", "/pay/%F0%9F%92%B3"},
        // ASCII goes out as given, an escape the caller wrote included.
        {"mixed with ASCII", "/a%20b/Zürich?q=1", "x=1&y=Straße", "/a%20b/Z%C3%BCrich?q=1"},
        // The limit counts UTF-16 units of the path as given: 484 of them
        // fit, however long their encoding.
        {"484 units of Cyrillic", "/" + Repeated("ж", 483), "", "/" + Repeated("%D0%B6", 483)},
        {"484 units with surrogate pairs", "/" + Repeated("\xF0\x9F\x92\xB3", 241) + "x", "a=1",
         "/" + Repeated("%F0%9F%92%B3", 241) + "x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackServer server("HTTP/1.0 200 OK\n");
        const Outcome o = SendW(L"127.0.0.1", Wide(server.PortText()), Wide(row.path), Wide(row.body));
        EXPECT_EQ(server.Request(), Request(row.sentPath, row.body)) << "the body's UTF-8, and its length";
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.boxes, SendMsgBoxes({"HTTP/1.0 200 OK\n"}));
        EXPECT_EQ(o.err, "");
    }
}

TEST_F(SendMsgTest, TwinShowsEachReplyLineDecoded) {
    const std::string cut = "HTTP/1.0 200 OK\n" + Repeated("店", 200) + "\n";
    struct Row {
        const char* name;
        std::string reply;
        int result;
        std::vector<std::string> lines;  // as the twin shows them, in UTF-8
    } rows[] = {
        {"UTF-8", "HTTP/1.0 200 OK\r\nX-Note: спасибо\r\n\r\nありがとう \xF0\x9F\x92\xB3\r\n", 1,
         {"HTTP/1.0 200 OK\r\n", "X-Note: спасибо\r\n", "\r\n", "ありがとう \xF0\x9F\x92\xB3\r\n"}},
        // Not UTF-8: read in the ANSI code page (1252 here).
        {"code page 1252", "HTTP/1.0 200 OK\r\nCaf\xE9 M\xFCnchen \x80 5\r\n", 1,
         {"HTTP/1.0 200 OK\r\n", "Café München € 5\r\n"}},
        {"each line decides for itself", "HTTP/1.0 404 Не найдено\nna\xEFve\nнаивно\n", 0,
         {"HTTP/1.0 404 Не найдено\n", "naïve\n", "наивно\n"}},
        // 499 bytes end in the first byte of the 167th character: it begins
        // the next piece.
        {"a line longer than the buffer", cut, 1,
         {"HTTP/1.0 200 OK\n", Repeated("店", 166), Repeated("店", 34) + "\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackServer server(row.reply);
        const Outcome o = SendW(L"127.0.0.1", Wide(server.PortText()), L"/n", L"a=1");
        EXPECT_EQ(o.result, row.result);
        EXPECT_EQ(o.boxes, SendMsgBoxes(row.lines));
        std::string written;
        for (const std::string& line : row.lines) written += line;
        EXPECT_EQ(o.out, AsCaptured(written)) << "standard output in UTF-8";
        EXPECT_EQ(o.err, "");

        // The A export writes the bytes as they came.
        LoopbackServer again(row.reply);
        const Outcome a = Send("127.0.0.1", again.PortText(), "/n", "a=1");
        EXPECT_EQ(a.result, row.result);
        EXPECT_EQ(a.out, AsCaptured(row.reply));
    }
}

// Full-width letters are not ASCII; their IDNA form is "localhost", which is
// found: the name looked up is the IDNA form.
TEST_F(SendMsgTest, TwinLooksUpAHostNameInItsIdnaForm) {
    for (const char* host : {"ｌｏｃａｌｈｏｓｔ", "ＬＯＣＡＬＨＯＳＴ"}) {
        SCOPED_TRACE(host);
        LoopbackServer server("HTTP/1.0 200 OK\n");
        const Outcome o = SendW(Wide(host), Wide(server.PortText()), L"/店", L"a=1");
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(server.Request(), Request("/%E5%BA%97", "a=1"));
    }
}

TEST_F(SendMsgTest, TwinRefusesWhatItCannotSend) {
    const std::wstring pair = L"\xD83D\xDCB3";  // U+1F4B3
    std::wstring pairs485 = L"/";
    for (int i = 0; i < 242; ++i) pairs485 += pair;
    struct Row {
        const char* name;
        std::wstring host;
        std::wstring path;
        std::wstring body;
        std::string err;
    } rows[] = {
        // 485 UTF-16 units: too long, though only 243 characters.
        {"path of 485 Cyrillic units", L"127.0.0.1", L"/" + std::wstring(484, L'ж'), L"a=1",
         "SendMsg: request path longer than 484 characters\n"},
        {"path of 485 units in surrogate pairs", L"127.0.0.1", pairs485, L"a=1",
         "SendMsg: request path longer than 484 characters\n"},
        // A lone surrogate has no UTF-8 form: nothing goes out in its place.
        {"lone surrogate in the path", L"127.0.0.1", L"/a\xD83D", L"a=1",
         "SendMsg: the request path holds a lone surrogate, which has no UTF-8 form\n"},
        {"lone surrogate in the body", L"127.0.0.1", L"/", L"a=\xDCB3",
         "SendMsg: the body holds a lone surrogate, which has no UTF-8 form\n"},
        {"lone surrogate in the host", L"a\xD83D" L".test", L"/", L"a=1",
         "SendMsg: the host name a\xED\xA0\xBD.test has no IDNA form (error 123)\n"},
        // Its IDNA form would pass 63 characters.
        {"label too long", std::wstring(64, L'ж') + L".test", L"/", L"a=1",
         "SendMsg: the host name " + Repeated("ж", 64) + ".test has no IDNA form (error 123)\n"},
        // Its IDNA form is looked up, and nothing has that name.
        {"unknown name", Wide("пример.invalid"), L"/", L"a=1", "QVSocket: Failure on gethostbyname().\n"},
        // Its last character is a digit: a dotted address, never looked up.
        {"ends in a digit", Wide("сервер1"), L"/", L"a=1", "QVSocket: Invalid IP address: сервер1\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackServer server("HTTP/1.0 200 OK\n");
        const Outcome o = SendW(row.host, Wide(server.PortText()), row.path, row.body);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.err, row.err);
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(o.boxes.empty());
        EXPECT_FALSE(server.Connected()) << "nothing may be sent";
    }
    LoopbackServer server("HTTP/1.0 200 OK\n");
    const std::wstring port = Wide(server.PortText());
    EXPECT_EQ(SendMsgW(nullptr, port.c_str(), L"/", L""), 0);
    EXPECT_EQ(SendMsgW(L"127.0.0.1", nullptr, L"/", L""), 0);
    EXPECT_EQ(SendMsgW(L"127.0.0.1", port.c_str(), nullptr, L""), 0);
    EXPECT_EQ(SendMsgW(L"127.0.0.1", port.c_str(), L"/", nullptr), 0);
    EXPECT_FALSE(server.Connected()) << "nothing may be sent";
}

// Silent mode and the log: the box becomes a standard error line (UTF-8) and
// a log line, the call's line names the twin and counts the body's UTF-8.
TEST_F(SendMsgTest, TwinInSilentModeAndInTheLog) {
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    ASSERT_EQ(SetLogFile(log.c_str()), 1);
    ASSERT_EQ(SetSilentMode(1), 0);
    LoopbackServer server("HTTP/1.0 200 OK\r\nспасибо\r\n");
    const std::string body = "имя=Магазин";  // 21 bytes of UTF-8
    const Outcome o = SendW(L"127.0.0.1", Wide(server.PortText()), Wide("/заказ"), Wide(body));
    EXPECT_EQ(SetSilentMode(0), 1);
    EXPECT_EQ(SetLogFile(nullptr), 1);
    EXPECT_EQ(o.result, 1);
    EXPECT_TRUE(o.boxes.empty());
    EXPECT_EQ(o.err, "[SendMsg] HTTP/1.0 200 OK\n[SendMsg] спасибо\n");
    const std::string text = wextest::ReadBytes(log);
    EXPECT_EQ(text.find("Магазин"), std::string::npos) << "the body is never logged";
    const std::regex events(
        R"(\S+ \S+ SetLogFile\(".*"\) -> 1\r\n)"
        R"(\S+ \S+ SetSilentMode\(1\) -> 0\r\n)"
        R"(\S+ \S+ box \[SendMsg\] HTTP/1.0 200 OK\\r\\n \(suppressed\)\r\n)"
        R"(\S+ \S+ stdout: HTTP/1.0 200 OK\\r\r\n)"
        R"(\S+ \S+ box \[SendMsg\] спасибо\\r\\n \(suppressed\)\r\n)"
        R"(\S+ \S+ stdout: спасибо\\r\r\n)"
        R"(\S+ \S+ SendMsgW\("127.0.0.1", ")" +
        server.PortText() +
        R"(", "/заказ", <21 bytes>\) -> 1\r\n)"
        R"(\S+ \S+ SetSilentMode\(0\) -> 1\r\n)"
        R"(\S+ \S+ SetLogFile\(null\) -> 1\r\n)");
    EXPECT_TRUE(std::regex_match(text, events)) << text;
}

TEST(URLEncodeTest, TwinEncodesTheUtf8OfItsText) {
    struct Row {
        std::string text;  // UTF-8, given to the twin as UTF-16
        std::string encoded;
    } rows[] = {
        {"Zürich Straße", "Z%c3%bcrich+Stra%c3%9fe"},
        {"Магазин «Рога и копыта»",
         "%d0%9c%d0%b0%d0%b3%d0%b0%d0%b7%d0%b8%d0%bd+%c2%ab%d0%a0%d0%be%d0%b3%d0%b0+%d0%b8+%d0%ba%d0%be%d0%bf%d1%8b%d1"
         "%82%d0%b0%c2%bb"},
        {"東京の店舗", "%e6%9d%b1%e4%ba%ac%e3%81%ae%e5%ba%97%e8%88%97"},
        {"\xF0\x9F\x92\xB3 card", "%f0%9f%92%b3+card"},
        // Every character of its UTF-8 encoded: exactly 3 x its length.
        {"Ёж", "%d0%81%d0%b6"},
    };
    std::vector<Row> all(std::begin(rows), std::end(rows));
    // The export's own cases, where they are ASCII, give the same.
    for (const wextest::EncodeCase& c : wextest::kEncodeCases) {
        const std::string text = c.text;
        if (std::all_of(text.begin(), text.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }))
            all.push_back({text, c.encoded});
    }
    for (const Row& row : all) {
        SCOPED_TRACE(row.text);
        // Exactly the room the caller is told to provide, then a guard.
        const size_t room = 3 * row.text.size() + 1;
        std::vector<wchar_t> out(room + 4, L'#');
        EXPECT_EQ(URLEncodeW(Wide(row.text).c_str(), out.data()), 0);
        EXPECT_EQ(wextest::Utf8(out.data()), row.encoded);
        EXPECT_EQ(std::wstring(out.data() + room, 4), L"####") << "nothing beyond the room";
    }
}

TEST(URLEncodeTest, TwinEncodesInPlaceAndRefusesALoneSurrogate) {
    // Its own buffer, of 3 x 15 + 1: the text is encoded aside first.
    wchar_t text[3 * 15 + 1] = L"Zürich Straße";
    EXPECT_EQ(URLEncodeW(text, text), 0);
    EXPECT_EQ(wextest::Utf8(text), "Z%c3%bcrich+Stra%c3%9fe");

    wchar_t out[16] = L"###############";
    EXPECT_EQ(URLEncodeW(L"a b", nullptr), 0);
    EXPECT_EQ(URLEncodeW(nullptr, out), 0);
    EXPECT_EQ(std::wstring(out), L"");

    // No UTF-8 form: the empty text, one line, rather than bytes that are no text.
    for (const wchar_t* lone : {L"a\xD83D" L"b", L"\xDCB3", L"ok \xD83D\xDCB3 \xDCB3"}) {
        SCOPED_TRACE(wextest::Utf8(lone));
        std::wmemset(out, L'#', 15);
        wextest::StdCapture capture;
        EXPECT_EQ(URLEncodeW(lone, out), 0);
        EXPECT_EQ(std::wstring(out), L"");
        EXPECT_EQ(capture.Err(), "URLEncode: the text holds a lone surrogate, which has no UTF-8 form\n");
    }
}

}  // namespace
