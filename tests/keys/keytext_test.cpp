// The merchant key text rules on their own. Built both for Windows and
// natively (under the sanitizers): it needs nothing of the platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "keys/keytext.h"

namespace {

using namespace wex::keys;

TEST(MerchantId, CheckNumberAndIdentifier) {
    struct Row {
        const char* name;
        const char* identifier;
        const char* lowered;
    } rows[] = {
        {"abc", "abc-03", "abc"},
        {"ABC", "ABC-03", "abc"},
        {"", "-58", ""},             // 1241 modulo 91
        {"\xE9", "\xE9-60", "\xE9"},  // a signed byte: -23, remainder -23
        {"Shop", nullptr, "shop"},
        {"shop", nullptr, "shop"},
        {"A-Z[@]", nullptr, "a-z[@]"},  // only A to Z change
    };
    std::string shopId;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        char name[32];
        char identifier[40];
        std::strcpy(name, row.name);
        std::memset(identifier, 'x', sizeof identifier);
        ComputeMerchantId(name, identifier);
        EXPECT_STREQ(name, row.lowered);
        std::size_t length = std::strlen(row.name);
        EXPECT_EQ(std::strlen(identifier), length + 3) << "strlen(name) + 4 bytes with the zero";
        EXPECT_EQ(std::string(identifier, length), row.name) << "the caller's letter case stays";
        if (row.identifier) {
            EXPECT_STREQ(identifier, row.identifier);
        }
        if (std::strcmp(row.lowered, "shop") == 0) {
            if (shopId.empty()) shopId = identifier + length;
            EXPECT_EQ(identifier + length, shopId) << "the suffix depends on the lowercase form only";
        }
    }
}

TEST(MerchantId, SuffixIsAlwaysTwoDigitsUpTo90) {
    // Every byte value, alone and after a prefix, including the high bytes.
    for (int b = 1; b < 256; ++b) {
        for (const char* prefix : {"", "merchant", "\xFF\x80"}) {
            char name[16];
            std::snprintf(name, sizeof name, "%s%c", prefix, static_cast<char>(b));
            char identifier[24];
            ComputeMerchantId(name, identifier);
            const char* suffix = identifier + std::strlen(identifier) - 3;
            ASSERT_EQ(suffix[0], '-') << b;
            ASSERT_TRUE(suffix[1] >= '0' && suffix[1] <= '9' && suffix[2] >= '0' && suffix[2] <= '9') << b;
            ASSERT_LE((suffix[1] - '0') * 10 + (suffix[2] - '0'), 90) << b;
        }
    }
}

TEST(MerchantId, IdentifierMayShareTheNameBuffer) {
    char buffer[16] = "ABC";
    ComputeMerchantId(buffer, buffer);
    EXPECT_STREQ(buffer, "abc-03");
}

using Step = KeyBlockReader::Step;

TEST(KeyBlocks, HeadersTerminatorsAndBodies) {
    struct Row {
        const char* piece;
        Step step;
    } rows[] = {
        {"before\n", Step::Outside},
        {"$MerchantPUK: 1024\n", Step::Started},
        {"$MerchantPRK\n", Step::PublicLine},  // a header inside a block is a body line
        {"AAA\n", Step::PublicLine},
        {"EOF of key\n", Step::PublicDone},
        {"between\n", Step::Outside},
        {"$merchantPRK\n", Step::Outside},  // case-sensitive
        {"$MerchantPR\n", Step::Outside},   // all 12 characters
        {"$MerchantPRK\n", Step::Started},
        {"EOF\n", Step::PrivateDone},
        {"EO\n", Step::Outside},
    };
    KeyBlockReader reader;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.piece);
        EXPECT_EQ(reader.Feed(row.piece), row.step);
    }
    EXPECT_EQ(reader.BlockText(), "{\n}") << "a block with no body";
}

TEST(KeyBlocks, BodyBeyond2044CharactersIsRefused) {
    const std::string line255(254, 'k');
    KeyBlockReader reader;
    ASSERT_EQ(reader.Feed("$MerchantPUK\n"), Step::Started);
    // Eight lines of 255 characters (newline included) are 2040: they fit.
    for (int i = 0; i < 8; ++i) ASSERT_EQ(reader.Feed(line255 + "\n"), Step::PublicLine);
    EXPECT_EQ(reader.Feed("1234"), Step::PublicLine) << "2044 characters fit exactly";
    EXPECT_EQ(reader.BlockText().size(), 2u + 2044u);
    EXPECT_EQ(reader.Feed("5"), Step::Overlong);
    EXPECT_EQ(reader.Feed("x\n"), Step::Overlong) << "the block stays refused";
    EXPECT_EQ(reader.Feed("EOF\n"), Step::Refused);

    // The next block starts afresh.
    ASSERT_EQ(reader.Feed("$MerchantPRK\n"), Step::Started);
    EXPECT_EQ(reader.Feed("CCC\n"), Step::PrivateLine);
    EXPECT_EQ(reader.Feed("EOF\n"), Step::PrivateDone);
    EXPECT_EQ(reader.BlockText(), "{\nCCC\n}");
}

struct EditorRow {
    const char* label;
    std::vector<const char*> pieces;
    const char* expected;
    int replaced;
};

TEST(KeyItem, ReplacesOrAppendsTheBlock) {
    const char* const block = "{\nNEW\n}";
    const EditorRow rows[] = {
        {"replaces the old block through its closing line",
         {"MERCHANT_ID = 42\n", "KEY = {\n", "old\n", "}\n", "X = 1\n"},
         "MERCHANT_ID = 42\nKEY ={\nNEW\n}\nX = 1\n", 1},
        {"indented closing line", {"KEY ={\n", "old\n", "   }\n", "X = 1\n"}, "KEY ={\nNEW\n}\nX = 1\n", 1},
        {"tab before the brace is no closing line: the block stays open",
         {"KEY ={\n", "\t}\n", "}\n", "X = 1\n"}, "KEY ={\nNEW\n}\nX = 1\n", 1},
        {"appended at the end", {"A = 1\n"}, "A = 1\nKEY={\nNEW\n}\n", 0},
        {"empty file", {}, "KEY={\nNEW\n}\n", 0},
        {"last line without a newline is ended first", {"A = 1"}, "A = 1\nKEY={\nNEW\n}\n", 0},
        {"every item line is replaced", {"KEY ={\n", "a\n", "}\n", "OLD_KEY = {\n", "b\n", "}\n"},
         "KEY ={\nNEW\n}\nOLD_KEY ={\nNEW\n}\n", 2},
        // An item that does not open a block keeps the lines after it.
        {"one-line value", {"KEY = abc\n", "X = 1\n", "OTHER ={\n", "o\n", "}\n"},
         "KEY ={\nNEW\n}\nX = 1\nOTHER ={\no\n}\n", 1},
        {"block closed on the item line", {"KEY = {old}\n", "X = 1\n", "}\n"}, "KEY ={\nNEW\n}\nX = 1\n}\n", 1},
        // An opened block that never closes: its lines are kept.
        {"unclosed block", {"KEY = {\n", "X = 1\n", "Y = 2"}, "KEY ={\nNEW\n}\nX = 1\nY = 2", 1},
        {"text after the name is dropped with the value", {"  KEY =  {  \r\n", "old\n", "}\n"},
         "  KEY ={\nNEW\n}\n", 1},
    };
    for (const EditorRow& row : rows) {
        SCOPED_TRACE(row.label);
        KeyItemEditor editor("KEY", block);
        std::string out;
        for (const char* piece : row.pieces) editor.Piece(piece, out);
        editor.End(out);
        EXPECT_EQ(out, row.expected);
        EXPECT_EQ(editor.Replaced(), row.replaced);
    }
}

}  // namespace
