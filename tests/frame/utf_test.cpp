// UTF-8, WTF-8 and UTF-16 conversions on their own (built natively under the
// sanitizers, and fuzzed).
#include <gtest/gtest.h>

#include <string>

#include "frame/utf.h"

namespace {

using namespace std::string_literals;
using wex::utf::Utf16ToWtf8;
using wex::utf::Wtf8ToUtf16;

TEST(Utf, EveryUtf16TextRoundTripsThroughWtf8) {
    struct Row {
        const char* what;
        std::u16string wide;
        std::string wtf8;
        bool strict;  // also strict UTF-8
    } rows[] = {
        {"ASCII", u"merchant.ini", "merchant.ini", true},
        {"Latin and Cyrillic", u"Zürich Магазин", "Z\xc3\xbcrich \xd0\x9c\xd0\xb0\xd0\xb3\xd0\xb0\xd0\xb7\xd0\xb8\xd0\xbd", true},
        {"Japanese", u"店舗", "\xe5\xba\x97\xe8\x88\x97", true},
        {"a pair: one four-byte form", u"\U0001F4B3", "\xf0\x9f\x92\xb3", true},
        {"a lone high surrogate", u"a\xD83D" "b", "a\xed\xa0\xbd" "b", false},
        {"a lone low surrogate at the end", u"a\xDCB3", "a\xed\xb2\xb3", false},
        {"low then high: two lone ones", u"\xDCB3\xD83D", "\xed\xb2\xb3\xed\xa0\xbd", false},
        {"NUL inside", u"a\0b"s, "a\0b"s, true},
        {"empty", u"", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Utf16ToWtf8(row.wide), row.wtf8);
        EXPECT_EQ(Wtf8ToUtf16(row.wtf8), row.wide);
        EXPECT_EQ(wex::utf::IsUtf8(row.wtf8), row.strict);
        EXPECT_EQ(wex::utf::Utf16ToUtf8(row.wide).has_value(), row.strict);
        EXPECT_EQ(wex::utf::Utf16Length(row.wtf8), row.wide.size());
    }
}

TEST(Utf, BytesThatAreNotWtf8AreRefusedAndReplacedWhereShown) {
    struct Row {
        const char* what;
        std::string bytes;
        std::string lossy;  // as Utf8Lossy shows them
    } rows[] = {
        {"a stray continuation byte", "a\x80z", "a\xef\xbf\xbdz"},
        {"a code page 1252 byte", "Z\xfcrich", "Z\xef\xbf\xbdrich"},
        {"an overlong slash", "\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},
        {"an overlong three-byte form", "\xe0\x80\xaf", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"a sequence cut at the end", "ok\xe5\xba", "ok\xef\xbf\xbd\xef\xbf\xbd"},
        {"a pair as two three-byte forms", "\xed\xa0\xbd\xed\xb2\xb3", "\xef\xbf\xbd\xef\xbf\xbd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(Wtf8ToUtf16(row.bytes).has_value());
        EXPECT_FALSE(wex::utf::IsUtf8(row.bytes));
        EXPECT_EQ(wex::utf::Utf8Lossy(row.bytes), row.lossy);
        EXPECT_TRUE(wex::utf::IsUtf8(wex::utf::Utf8Lossy(row.bytes)));
    }
    // A lone surrogate that WTF-8 keeps is no strict UTF-8 either.
    EXPECT_EQ(wex::utf::Utf8Lossy("a\xed\xa0\xbd"), "a\xef\xbf\xbd");
    EXPECT_EQ(wex::utf::Utf8ToUtf16Lossy("Z\xfc\xc3\xbc"), u"Z\xFFFD\u00FC");
}

TEST(Utf, PrefixesNeverCutACharacter) {
    const std::string text = "a\xd0\x9c\xf0\x9f\x92\xb3z";  // a, U+041C, U+1F4B3 (two units), z
    struct Row {
        std::size_t units;
        std::string prefix;
    } rows[] = {{0, ""}, {1, "a"}, {2, "a\xd0\x9c"}, {3, "a\xd0\x9c"}, {4, "a\xd0\x9c\xf0\x9f\x92\xb3"}, {9, text}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.units);
        EXPECT_EQ(wex::utf::Utf16Prefix(text, row.units), row.prefix);
    }
    std::size_t at = 1;
    EXPECT_EQ(wex::utf::NextCodePoint(text, at), U'\u041C');
    EXPECT_EQ(at, 3u);
    EXPECT_EQ(wex::utf::NextCodePoint(text, at), U'\U0001F4B3');
    EXPECT_EQ(at, 7u);
}

}  // namespace
