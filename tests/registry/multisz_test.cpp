// The multi-string layout on its own. Built both for Windows and natively
// (under the sanitizers): it needs nothing of the platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/multisz.h"

namespace {

using wex::registry::BuildMultiSz;
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

}  // namespace
