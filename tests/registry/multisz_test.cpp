// The multi-string layout on its own. Built both for Windows and natively
// (under the sanitizers): it needs nothing of the platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/utf.h"
#include "registry/multisz.h"

namespace {

using wex::registry::BuildMultiSz;
using wex::registry::CarrySplit;
using wex::registry::MultiSz;

std::string Numbers(int count, char separator) {
    std::string s;
    for (int i = 1; i <= count; ++i) s += std::to_string(i) + separator;
    return s;
}

TEST(MultiSz, PiecesZerosAndLimit) {
    const std::string z(1, '\0');
    struct Row {
        std::string list;
        std::size_t outSize;
        bool fits;
        std::string written;  // the bytes written, six closing zeros included
        std::size_t dataSize;
        int pieces;
        bool reachedLimit;
    } const rows[] = {
        {"one+two+three", 400, true, "one" + z + "two" + z + "three" + z + std::string(6, '\0'), 16, 3, false},
        {"a++b+", 400, true, "a" + z + "b" + z + std::string(6, '\0'), 6, 2, false},
        {"", 400, true, std::string(6, '\0'), 2, 0, false},
        {"++", 400, true, std::string(6, '\0'), 2, 0, false},
        {Numbers(9, '+'), 400, true, Numbers(9, '\0') + std::string(6, '\0'), 20, 9, false},
        {Numbers(10, '+'), 400, true, Numbers(10, '\0') + std::string(6, '\0'), 23, 10, true},
        {Numbers(12, '+'), 400, true, Numbers(10, '\0') + std::string(6, '\0'), 23, 10, true},
        // Exactly full, one byte over, and over only through a piece that
        // the limit drops anyway (which still fits).
        {"abcd", 11, true, "abcd" + z + std::string(6, '\0'), 7, 1, false},
        {"abcde", 11, false, "", 0, 0, false},
        {Numbers(10, '+') + std::string(500, 'x'), 40, true, Numbers(10, '\0') + std::string(6, '\0'), 23, 10, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.list.substr(0, 40) + " in " + std::to_string(row.outSize));
        std::string list = row.list;
        const std::size_t guard = 16;
        std::vector<unsigned char> out(row.outSize + guard, 0xCC);
        MultiSz result;
        EXPECT_EQ(BuildMultiSz(&list[0], out.data(), row.outSize, result), row.fits);
        std::string written(out.begin(), out.begin() + row.written.size());
        EXPECT_EQ(written, row.written);
        EXPECT_EQ(out[row.written.size()], 0xCC) << "nothing written past the layout";
        for (std::size_t i = row.outSize; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCC) << i;
        EXPECT_EQ(result.dataSize, row.dataSize);
        EXPECT_EQ(result.pieces, row.pieces);
        EXPECT_EQ(result.reachedLimit, row.reachedLimit);
        if (!row.fits) {
            EXPECT_EQ(list, row.list) << "a refused list is left as it was";
        }
    }
}

TEST(MultiSz, SplitsTheListInPlace) {
    char list[] = "+a+bb++c";
    MultiSz result;
    unsigned char out[64];
    ASSERT_TRUE(BuildMultiSz(list, out, sizeof out, result));
    EXPECT_EQ(std::string(list, sizeof list - 1), std::string("+a\0bb\0+c", 8));
}

// A W export's list is WTF-8, its limit 400 UTF-16 units.
std::size_t Units(std::string_view piece) { return wex::utf::Utf16Length(piece); }

std::string Repeated(const std::string& text, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += text;
    return s;
}

TEST(MultiSz, ALimitInUnitsCountsUnitsNotBytes) {
    const std::string zhe = "\xd0\xb6";            // one unit, two bytes
    const std::string card = "\xf0\x9f\x92\xb3";  // two units, four bytes
    struct Row {
        std::string list;
        bool fits;
    } const rows[] = {
        {Repeated(zhe, 393), true},
        {Repeated(zhe, 394), false},
        // 196 pairs and one unit: 393 units in 788 bytes.
        {Repeated(card, 196) + "x", true},
        {Repeated(card, 197), false},
        {Repeated(zhe, 200) + "+" + Repeated(zhe, 192), true},
        {Repeated(zhe, 200) + "+" + Repeated(zhe, 193), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.list.size()) + " bytes");
        std::string list = row.list;
        std::vector<unsigned char> out(3 * 400, 0xCC);
        MultiSz result;
        EXPECT_EQ(BuildMultiSz(&list[0], out.data(), out.size(), 400, Units, result), row.fits);
        if (row.fits) {
            // Each "+" between two pieces becomes the first piece's zero.
            EXPECT_EQ(result.dataSize, row.list.size() + 1 + 2);
        } else {
            EXPECT_EQ(list, row.list);
        }
    }
    // The bytes must fit the buffer too, whatever the count.
    std::string list = Repeated(zhe, 10);
    unsigned char small[25];
    MultiSz result;
    EXPECT_FALSE(BuildMultiSz(&list[0], small, sizeof small, 400, Units, result));
}

TEST(MultiSz, CarrySplitZeroesTheSamePlusSignsInUtf16) {
    const std::u16string rows[] = {
        u"+Магазин+店舗++\U0001F4B3+",
        u"\xD800+a+\xDC00",
        u"\U0001F4B3+\xDBFF+\xDFFF\xD800+z",
        u"no separator",
        u"+++",
        u"",
    };
    for (const std::u16string& row : rows) {
        const std::string wtf8 = wex::utf::Utf16ToWtf8(row);
        SCOPED_TRACE(wtf8);
        std::string split = wtf8;
        unsigned char out[200];
        MultiSz result;
        ASSERT_TRUE(BuildMultiSz(&split[0], out, sizeof out, result));
        // What the tokenizer left, as UTF-16: the zeros where it put them.
        const std::u16string expected = *wex::utf::Wtf8ToUtf16(split);
        std::u16string list = row;
        CarrySplit(split, &list[0]);
        EXPECT_EQ(list, expected);
    }
    std::u16string list = u"+Магазин+店舗++\U0001F4B3+";
    std::string split = wex::utf::Utf16ToWtf8(list);
    unsigned char out[200];
    MultiSz result;
    ASSERT_TRUE(BuildMultiSz(&split[0], out, sizeof out, result));
    CarrySplit(split, &list[0]);
    EXPECT_EQ(list, std::u16string(u"+Магазин\0店舗\0+\U0001F4B3\0", 16));
}

}  // namespace
