// The item file text rules on their own. Built both for Windows and natively
// (under the sanitizers): it needs nothing of the platform.
#include <gtest/gtest.h>

#include <string>

#include "itemfile/itemline.h"

namespace {

using namespace wex::itemfile;

struct ItemLineRow {
    const char* line;
    const char* name;
    bool isItem;
    const char* value;  // the item value when isItem
};

TEST(ItemLine, TestAndValueRule) {
    const ItemLineRow rows[] = {
        {"OLD_MERCHANT_ID = 7\n", "MERCHANT_ID", true, "7"},
        {"MERCHANT_ID_X MERCHANT_ID = 5\n", "MERCHANT_ID", false, ""},
        {"NAME\t= 5\n", "NAME", false, ""},
        {"NAME   =5\n", "NAME", true, "5"},
        {"A = NAME=3\n", "NAME", true, "3"},
        {"A = NAME=3\n", "A", true, "NAME=3"},
        {"NAME = value  \n", "NAME", true, "value  "},
        {"NAME =\n", "NAME", true, ""},
        {"NAME =   \n", "NAME", true, ""},
        {"NAME = abc", "NAME", true, "abc"},
        {"name = abc\n", "NAME", false, ""},
        {"  = x\n", "", true, "x"},
        {"x = y\n", "", false, ""},
        {"NAME = a\r\n", "NAME", true, "a\r"},
        {"", "NAME", false, ""},
        {"NAME", "NAME", false, ""},
        {"NAME   ", "NAME", false, ""},
    };
    for (const ItemLineRow& row : rows) {
        SCOPED_TRACE(std::string("line '") + row.line + "' name '" + row.name + "'");
        std::size_t at = ValuePartOffset(row.line, row.name);
        ASSERT_EQ(at != kNoItem, row.isItem);
        if (row.isItem) {
            EXPECT_EQ(ItemValue(std::string_view(row.line).substr(at)), row.value);
        }
    }
}

TEST(ItemLine, EqualsOffsetPointsAtTheEqualsSign) {
    EXPECT_EQ(EqualsOffset("  PORT  = 80\n", "PORT"), 8u);
    EXPECT_EQ(ValuePartOffset("  PORT  = 80\n", "PORT"), 9u);
}

TEST(ItemLine, NameBeforeEquals) {
    struct Row {
        const char* line;
        bool has;
        const char* name;
    } rows[] = {
        {"A = 1\n", true, "A"},       {"  B=2\n", true, "B"},        {"no separator here\n", false, ""},
        {"C  = x=y\n", true, "C"},    {"\r\n \r= v\n", true, ""},   {"\tT = 1\n", true, "\tT"},
        {"a&b = 1\n", true, "a&b"},   {"KEYTEXT==\n", true, "KEYTEXT"}, {"   \n", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        std::string_view name;
        ASSERT_EQ(NameBeforeEquals(row.line, name), row.has);
        if (row.has) {
            EXPECT_EQ(name, row.name);
        }
    }
}

TEST(ItemLine, ReplaceAllScansLeftToRightWithoutRescanning) {
    struct Row {
        const char* text;
        const char* search;
        const char* replacement;
        const char* expected;
    } rows[] = {
        {"abab", "ab", "b", "bb"},       {"aaa", "aa", "X", "Xa"},   {"aa", "a", "aa", "aaaa"},
        {"none here\n", "zz", "y", "none here\n"}, {"x%dx", "x", "%s", "%s%d%s"}, {"abc", "abc", "", ""},
        {"abc", "", "Q", "abc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.text) + " / " + row.search);
        EXPECT_EQ(ReplaceAll(row.text, row.search, row.replacement), row.expected);
    }
}

TEST(ItemLine, UserNameOf) {
    EXPECT_EQ(UserNameOf("admin:x:0\n"), "admin");
    EXPECT_EQ(UserNameOf(":x\n"), "");
    EXPECT_EQ(UserNameOf("no colon\n"), "");
    EXPECT_EQ(UserNameOf(""), "");
}

}  // namespace
