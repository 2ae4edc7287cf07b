// The form post client's text rules, natively: the request as it is sent in
// pieces, the reading of reply lines, the status test, the port text and the
// form encoding.
#include "http/formpost.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "urlencode_cases.h"

namespace {

using namespace wex::http;

// A peer that takes at most `chunk` bytes per send call and records every
// call, or fails the call numbered `failAt` with `failWith`.
struct FakeSender {
    int chunk = 1 << 20;
    int failAt = -1;
    int failWith = -1;
    std::string bytes;
    int calls = 0;

    int operator()(const char* data, int count) {
        if (calls++ == failAt) return failWith;
        int n = count < chunk ? count : chunk;
        bytes.append(data, static_cast<size_t>(n));
        return n;
    }
};

TEST(SendRequest, SendsTheExactRequestBytes) {
    struct Row {
        const char* path;
        const char* body;
        int chunk;
        const char* bytes;
    } rows[] = {
        {"/notify", "name=ACME+Store&id=12345", 1 << 20,
         "POST /notify HTTP/1.0\nUser-Agent: QuorvelMerchant\nContent-Type: application/x-www-form-urlencoded\n"
         "Content-Length: 24\n\nname=ACME+Store&id=12345\n"},
        // Short sends: the rest of each text goes out with the next call.
        {"/a%d%s", "x=1", 3,
         "POST /a%d%s HTTP/1.0\nUser-Agent: QuorvelMerchant\nContent-Type: application/x-www-form-urlencoded\n"
         "Content-Length: 3\n\nx=1\n"},
        // An empty body: the length line says 0 and the closing line feed still follows.
        {"/", "", 1,
         "POST / HTTP/1.0\nUser-Agent: QuorvelMerchant\nContent-Type: application/x-www-form-urlencoded\n"
         "Content-Length: 0\n\n\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        FakeSender sender;
        sender.chunk = row.chunk;
        EXPECT_TRUE(SendRequest(sender, row.path, row.body));
        EXPECT_EQ(sender.bytes, row.bytes);
    }
}

TEST(SendRequest, OnlyAShortBodyFailsTheRequest) {
    // Send calls: 0 request line, 1 agent, 2 type, 3 length, 4 empty line, 5 body.
    struct Row {
        int failAt;
        int failWith;
        bool complete;
    } rows[] = {{0, -1, true}, {3, 0, true}, {5, 0, false}, {5, -1, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failAt);
        FakeSender sender;
        sender.failAt = row.failAt;
        sender.failWith = row.failWith;
        EXPECT_EQ(SendRequest(sender, "/p", "body"), row.complete);
        // Nothing follows a body that did not go out in full.
        if (!row.complete) {
            EXPECT_EQ(sender.calls, 6);
        }
    }
}

TEST(SendAllText, ReturnsTheLengthOrTheFailingResult) {
    FakeSender sender;
    sender.chunk = 2;
    EXPECT_EQ(SendAllText(sender, "hello"), 5);
    EXPECT_EQ(sender.calls, 3);
    EXPECT_EQ(SendAllText(sender, ""), 0);
    EXPECT_EQ(sender.calls, 3) << "an empty text makes no send call";

    FakeSender failing;
    failing.chunk = 2;
    failing.failAt = 1;
    failing.failWith = -1;
    EXPECT_EQ(SendAllText(failing, "hello"), -1);
    EXPECT_EQ(failing.bytes, "he");
}

TEST(PathFits, TheRequestLineMustFitTheTransferBuffer) {
    EXPECT_EQ(kMaxPathLength, 484u);
    EXPECT_TRUE(PathFits(std::string(484, 'p').c_str()));
    EXPECT_FALSE(PathFits(std::string(485, 'p').c_str()));
    // The longest path's request line takes all 499 characters.
    FakeSender sender;
    std::string path(484, 'p');
    ASSERT_TRUE(SendRequest(sender, path.c_str(), ""));
    EXPECT_EQ(sender.bytes.find('\n'), 498u);
}

// A peer that hands out scripted bytes one per call, then end of stream.
struct FakeReceiver {
    std::string bytes;
    size_t next = 0;
    int calls = 0;
    int operator()(char& byte) {
        ++calls;
        if (next == bytes.size()) return 0;
        byte = bytes[next++];
        return 1;
    }
};

std::vector<std::string> ReadAllLines(FakeReceiver& peer) {
    std::vector<std::string> lines;
    char buffer[kTransferBufferSize];
    std::memset(buffer, '#', sizeof buffer);
    for (size_t n; (n = ReadReplyLine(peer, buffer, sizeof buffer)) > 0;) {
        EXPECT_EQ(std::strlen(buffer), n);
        lines.push_back(buffer);
    }
    EXPECT_STREQ(buffer, "");
    return lines;
}

TEST(ReadReplyLine, SplitsTheReplyIntoLines) {
    struct Row {
        std::string reply;
        std::vector<std::string> lines;
    } rows[] = {
        {"HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody\r\n", {"HTTP/1.0 200 OK\r\n", "A: b\r\n", "\r\n", "body\r\n"}},
        {"one\ntwo", {"one\n", "two"}},
        {"", {}},
        {"\n\n", {"\n", "\n"}},
        // 600 bytes with the line feed: 499, then 101.
        {std::string(599, 'x') + "\n", {std::string(499, 'x'), std::string(100, 'x') + "\n"}},
        {std::string(499, 'y') + "\n", {std::string(499, 'y'), "\n"}},
        {std::string(498, 'z') + "\n", {std::string(498, 'z') + "\n"}},
    };
    errno = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply.substr(0, 40));
        FakeReceiver peer{row.reply};
        EXPECT_EQ(ReadAllLines(peer), row.lines);
        // One receive call per byte, one more for the end, and one more
        // again when the last line had no line feed.
        bool endsOpen = !row.reply.empty() && row.reply.back() != '\n';
        EXPECT_EQ(peer.calls, static_cast<int>(row.reply.size()) + 1 + (endsOpen ? 1 : 0));
    }
}

TEST(ReadReplyLine, ReportsAnErrorNumberLeftSetWhenTheReplyEnds) {
    FakeReceiver peer{"ok\n"};
    char buffer[kTransferBufferSize];
    testing::internal::CaptureStderr();
    errno = ENOENT;
    EXPECT_EQ(ReadReplyLine(peer, buffer, sizeof buffer), 3u);
    EXPECT_EQ(ReadReplyLine(peer, buffer, sizeof buffer), 0u);
    std::string err = testing::internal::GetCapturedStderr();
    errno = 0;
    EXPECT_EQ(err.rfind("System Error (" + std::to_string(ENOENT) + "): ", 0), 0u) << err;
    EXPECT_EQ(err, "System Error (" + std::to_string(ENOENT) + "): " + std::strerror(ENOENT) + "\n");
}

TEST(IsSuccessStatus, LooksForTheCodeBetweenSpaces) {
    struct Row {
        const char* line;
        bool success;
    } rows[] = {
        {"HTTP/1.0 200 OK\r\n", true},  {"HTTP/1.1 200\r\n", false}, {"HTTP/1.0 404 Not Found\n", false},
        {"HTTP/1.0 2000 OK\n", false},  {"x 200 y", true},           {"200 OK\n", false},
        {"HTTP/1.0  200  \n", true},    {"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(IsSuccessStatus(row.line), row.success);
    }
}

TEST(PortFromText, FollowsAtoiAndKeepsTheLow16Bits) {
    struct Row {
        const char* text;
        unsigned short port;
    } rows[] = {
        {"8080", 8080},   {"  \t+80", 80},     {"80abc", 80},          {"http", 0},     {"", 0},
        {"65535", 65535}, {"65536", 0},        {"99999", 34463},       {"-1", 65535},   {"+ 80", 0},
        {"0x50", 0},      {"4294967297", 1},   {"-65535", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(PortFromText(row.text), row.port);
    }
}

TEST(IsDottedHost, TheLastCharacterDecides) {
    EXPECT_TRUE(IsDottedHost("127.0.0.1"));
    EXPECT_TRUE(IsDottedHost("host9"));
    EXPECT_FALSE(IsDottedHost("localhost"));
    EXPECT_FALSE(IsDottedHost("10.0.0.1."));
    EXPECT_FALSE(IsDottedHost(""));
}

TEST(EncodeFormText, EncodesEveryCase) {
    for (const wextest::EncodeCase& c : wextest::kEncodeCases) {
        SCOPED_TRACE(c.text);
        std::unique_ptr<char[]> encoded = EncodeFormText(c.text);
        ASSERT_TRUE(encoded);
        EXPECT_STREQ(encoded.get(), c.encoded);
    }
}

TEST(EncodeFormText, EveryByteComesBackWhenDecoded) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::unique_ptr<char[]> encoded = EncodeFormText(all);
    ASSERT_TRUE(encoded);
    const std::string text = encoded.get();
    EXPECT_LE(text.size(), 3 * all.size());
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%') {
            ASSERT_LE(i + 2, text.size() - 1);
            const std::string hex = text.substr(i + 1, 2);
            ASSERT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
            decoded += static_cast<char>(std::stoi(hex, nullptr, 16));
            i += 2;
        } else {
            const bool kept = std::string("*-._").find(text[i]) != std::string::npos ||
                              std::isalnum(static_cast<unsigned char>(text[i]));
            ASSERT_TRUE(kept) << text[i];
            decoded += text[i];
        }
    }
    EXPECT_EQ(decoded, all);
}

TEST(EncodeFormText, RefusesASizeThatCannotBeExpressed) {
    // Never read: the size is refused before any byte is looked at.
    std::string_view huge("", SIZE_MAX / 3);
    EXPECT_EQ(EncodeFormText(huge), nullptr);
}

}  // namespace

// ---- What a UTF-8 caller's path and reply need ------------------------------

namespace {

TEST(PercentEncodeNonAscii, EncodesTheUtf8OfEveryNonAsciiCharacter) {
    struct Row {
        const char* path;
        const char* sent;
    } rows[] = {
        {"/register", "/register"},
        // ASCII goes out as the caller wrote it: spaces, "%" and query too.
        {"/a b/%20?x=1&y=%e9#f", "/a b/%20?x=1&y=%e9#f"},
        {"/заказ", "/%D0%B7%D0%B0%D0%BA%D0%B0%D0%B7"},
        {"/店舗/登録?名前=テスト",
         "/%E5%BA%97%E8%88%97/%E7%99%BB%E9%8C%B2?%E5%90%8D%E5%89%8D=%E3%83%86%E3%82%B9%E3%83%88"},
        {"/pay/\xF0\x9F\x92\xB3", "/pay/%F0%9F%92%B3"},  // U+1F4B3, a surrogate pair in UTF-16
        {"/Zürich", "/Z%C3%BCrich"},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(PercentEncodeNonAscii(row.path), row.sent);
    }
}

TEST(UnfinishedUtf8Tail, FindsTheStartOfACharacterCutAtTheEnd) {
    struct Row {
        const char* name;
        std::string text;
        size_t tail;
    } rows[] = {
        {"ASCII", "abc", 0},
        {"whole characters", "ж店\xF0\x9F\x92\xB3", 0},
        {"two-byte lead alone", "ab\xD0", 1},
        {"three-byte lead alone", "ab\xE5", 1},
        {"three-byte, one of two continuations", "ab\xE5\xBA", 2},
        {"four-byte lead alone", "x\xF0", 1},
        {"four-byte, one continuation", "x\xF0\x9F", 2},
        {"four-byte, two continuations", "x\xF0\x9F\x92", 3},
        {"only the lead", "\xE5", 1},
        // No UTF-8 before the cut (code page 1252 text): nothing to keep whole.
        {"Latin-1 text before", "Caf\xE9 \xE5", 0},
        // Never the start of a character UTF-8 allows.
        {"overlong lead", "a\xC0", 0},
        {"overlong three-byte", "a\xE0\x80", 0},
        {"encoded surrogate", "a\xED\xA0", 0},
        {"past U+10FFFF", "a\xF4\x90", 0},
        {"no lead byte", "a\x80", 0},
        {"lead byte past F4", "a\xF5", 0},
        {"continuation bytes only", "\x80\x80\x80", 0},
        {"empty", "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(UnfinishedUtf8Tail(row.text), row.tail);
    }
}

struct ShownReply {
    bool success;
    std::vector<std::string> lines;
};

ShownReply ReadWholeReply(const std::string& reply, bool wholeCharacters, size_t size = kTransferBufferSize) {
    FakeReceiver peer{reply};
    std::vector<char> buffer(size, '#');
    ShownReply shown{false, {}};
    shown.success = ReadReply(
        peer, buffer.data(), size, wholeCharacters, [](const char*) {},
        [&](std::string_view line) {
            EXPECT_EQ(line.data()[line.size()], '\0') << "a zero follows the line";
            shown.lines.emplace_back(line);
        });
    EXPECT_EQ(peer.next, reply.size()) << "every byte received";
    return shown;
}

TEST(ReadReply, KeepsCharactersWholeAcrossTheBuffer) {
    // 166 characters of three bytes take 498 bytes: the 167th is cut after
    // its first byte by a buffer that holds 499.
    const std::string japanese = "店";
    std::string longLine;
    for (int i = 0; i < 200; ++i) longLine += japanese;
    longLine += "\r\n";
    const std::string pair = "\xF0\x9F\x92\xB3";  // U+1F4B3
    const std::string pairCut = std::string(497, 'p') + pair + "\n";
    // Code page 1252, no UTF-8: its byte 499 would begin a character in UTF-8.
    const std::string latin = "Caf\xE9 " + std::string(493, 'l') + "\xE9\xE9\n";
    struct Row {
        const char* name;
        std::string reply;
        bool wholeCharacters;
        std::vector<std::string> lines;
    } rows[] = {
        {"cut after a character's first byte", "HTTP/1.0 200 OK\r\n" + longLine, true,
         {"HTTP/1.0 200 OK\r\n", longLine.substr(0, 498), longLine.substr(498)}},
        {"cut inside a surrogate pair's four bytes", pairCut, true,
         {std::string(497, 'p'), pair + "\n"}},
        {"not UTF-8: cut where the buffer ends", latin, true, {latin.substr(0, 499), latin.substr(499)}},
        {"an A export's bytes: cut where the buffer ends", pairCut, false,
         {pairCut.substr(0, 499), pairCut.substr(499)}},
        // The rest of a cut character never comes: its first bytes are still shown.
        {"the reply ends inside a character", std::string(497, 'e') + "\xE5\xBA", true,
         {std::string(497, 'e'), "\xE5\xBA"}},
        {"short lines are shown as they come", "HTTP/1.0 404 Nope\nтекст\n", true,
         {"HTTP/1.0 404 Nope\n", "текст\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ShownReply shown = ReadWholeReply(row.reply, row.wholeCharacters);
        EXPECT_EQ(shown.lines, row.lines);
        std::string joined;
        for (const std::string& line : shown.lines) joined += line;
        EXPECT_EQ(joined, row.reply) << "every byte once, in order";
    }
}

TEST(ReadReply, TestsOnlyTheFirstLine) {
    // " 200 " ends the status line's first 498 bytes; its 499th byte begins
    // a character, which a UTF-8 reader shows with the next piece.
    const std::string status = "HTTP/1.0" + std::string(485, 'x') + " 200 \xE5\xBA\x97\n";
    struct Row {
        bool wholeCharacters;
        std::vector<std::string> lines;
    } rows[] = {
        {false, {status.substr(0, 499), status.substr(499)}},
        {true, {status.substr(0, 498), status.substr(498)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wholeCharacters);
        const ShownReply shown = ReadWholeReply(status, row.wholeCharacters);
        EXPECT_TRUE(shown.success);
        EXPECT_EQ(shown.lines, row.lines);
    }
    EXPECT_FALSE(ReadWholeReply("HTTP/1.0 404 x\nHTTP/1.0 200 OK\n", true).success);
    EXPECT_FALSE(ReadWholeReply("", true).success);
    EXPECT_TRUE(ReadWholeReply("", true).lines.empty());
}

TEST(ReadReply, ABufferTooSmallForACharacterShowsItsPieces) {
    // Three bytes of room (two and the zero) can never hold a character of
    // four: it comes in pieces rather than not at all.
    const ShownReply shown = ReadWholeReply("\xF0\x9F\x92\xB3", true, 3);
    EXPECT_EQ(shown.lines, (std::vector<std::string>{"\xF0\x9F", "\x92\xB3"}));
}

TEST(SendRequest, SendsALongPathWhole) {
    // A percent-encoded path may be longer than the transfer buffer.
    const std::string path = "/" + std::string(4355, 'q');
    FakeSender sender;
    ASSERT_TRUE(SendRequest(sender, path.c_str(), "a=1"));
    EXPECT_EQ(sender.bytes.substr(0, sender.bytes.find('\n') + 1), "POST " + path + " HTTP/1.0\n");
    EXPECT_EQ(sender.calls, 7);
}

}  // namespace
