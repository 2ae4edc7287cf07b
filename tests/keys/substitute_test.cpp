// SubstituteKeys through the real DLL: the item file and "reginfo.txt" byte
// for byte, the public key buffer, the result, boxes and error lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "boxes.h"
#include "capture.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::Box;
using wextest::ReadBytes;
using wextest::WriteBytes;

class SubstituteKeysTest : public testing::Test {
protected:
    // The rewrite's temporary files go to the root of the drive.
    void SetUp() override {
        rootBefore_ = wextest::FilesIn("C:");
        std::memset(publicKey_, '#', sizeof publicKey_);
        publicKey_[sizeof publicKey_ - 1] = '\0';
    }
    void TearDown() override { EXPECT_EQ(wextest::FilesIn("C:"), rootBefore_) << "a temporary file was left behind"; }

    int Run(const std::string& keyBytes, const std::string& itemBytes) {
        WriteBytes(keyFile_, keyBytes);
        if (!itemBytes.empty()) WriteBytes(itemFile_, itemBytes);
        return SubstituteKeys(keyFile_.c_str(), itemFile_.c_str(), publicKey_);
    }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::set<std::string> rootBefore_;
    std::string keyFile_ = scratch_.Path("shop1.key");
    std::string itemFile_ = scratch_.Path("merchant.ini");
    std::string regInfo_ = scratch_.Path("reginfo.txt");
    char publicKey_[8192];
};

TEST_F(SubstituteKeysTest, WorkedExampleByteForByte) {
    int result = Run("$MerchantPUK\r\nAAA\r\nBBB\r\nEOF\r\n$MerchantPRK\r\nCCC\r\nEOF\r\n",
                     "MERCHANT_ID = 42\r\nMERCHANT_PUBLIC_KEY = {\r\nold\r\n}\r\nX = 1\r\n");
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(publicKey_, "AAA\nBBB\n");
    EXPECT_EQ(ReadBytes(itemFile_),
              "MERCHANT_ID = 42\r\nMERCHANT_PUBLIC_KEY ={\r\nAAA\r\nBBB\r\n}\r\nX = 1\r\n"
              "MERCHANT_PRIVATE_KEY={\r\nCCC\r\n}\r\n");
    EXPECT_EQ(ReadBytes(regInfo_), "MERHANT_ID = 42\r\nPublic Key ={\r\nAAA\r\nBBB\r\n}\r\n");
    EXPECT_EQ(ReadBytes(keyFile_), "$MerchantPUK\r\nAAA\r\nBBB\r\nEOF\r\n$MerchantPRK\r\nCCC\r\nEOF\r\n")
        << "the key file stays";
    EXPECT_TRUE(boxes_.Boxes().empty());
}

struct KeyRow {
    const char* label;
    const char* key;
    const char* items;
    int result;
    const char* publicKey;
    const char* itemsAfter;
    const char* regInfo;  // nullptr: no file
};

TEST_F(SubstituteKeysTest, BlocksAndResults) {
    const KeyRow rows[] = {
        {"header and terminator with text after them, lines around the blocks ignored",
         "junk\n$MerchantPRK v2\nP\nEOF of key\nmiddle\n$MerchantPUK: 1024\nQ\nEOFX\nafter\n", "MERCHANT_ID = 7\n", 1,
         "Q\n", "MERCHANT_ID = 7\r\nMERCHANT_PRIVATE_KEY={\r\nP\r\n}\r\nMERCHANT_PUBLIC_KEY={\r\nQ\r\n}\r\n",
         "MERHANT_ID = 7\r\nPublic Key ={\r\nQ\r\n}\r\n"},
        {"only the public block", "$MerchantPUK\nA\nEOF\n", "MERCHANT_ID = 1\n", 0, "A\n",
         "MERCHANT_ID = 1\r\nMERCHANT_PUBLIC_KEY={\r\nA\r\n}\r\n", "MERHANT_ID = 1\r\nPublic Key ={\r\nA\r\n}\r\n"},
        {"last block without terminator is not stored", "$MerchantPRK\nP\nEOF\n$MerchantPUK\nA\nB\n",
         "MERCHANT_ID = 1\n", 0, "A\nB\n", "MERCHANT_ID = 1\r\nMERCHANT_PRIVATE_KEY={\r\nP\r\n}\r\n", nullptr},
        {"a block with no body", "$MerchantPUK\nEOF\n$MerchantPRK\nEOF\n", "X = 1\n", 1, "",
         "X = 1\r\nMERCHANT_PUBLIC_KEY={\r\n}\r\nMERCHANT_PRIVATE_KEY={\r\n}\r\n", "MERHANT_ID = \r\nPublic Key ={\r\n}\r\n"},
        {"two public blocks: the second replaces the first", "$MerchantPUK\nA\nEOF\n$MerchantPUK\nB\nEOF\n",
         "MERCHANT_ID = 9\n", 1, "A\nB\n", "MERCHANT_ID = 9\r\nMERCHANT_PUBLIC_KEY={\r\nB\r\n}\r\n",
         "MERHANT_ID = 9\r\nPublic Key ={\r\nB\r\n}\r\n"},
        {"three complete blocks", "$MerchantPUK\nA\nEOF\n$MerchantPRK\nP\nEOF\n$MerchantPRK\nR\nEOF\n", "", 0, "A\n",
         "MERCHANT_PUBLIC_KEY={\r\nA\r\n}\r\nMERCHANT_PRIVATE_KEY={\r\nR\r\n}\r\n",
         "MERHANT_ID = \r\nPublic Key ={\r\nA\r\n}\r\n"},
        {"indented closing line goes with the old block",
         "$MerchantPUK\nA\nEOF\n$MerchantPRK\nP\nEOF\n", "K = 1\nMERCHANT_PRIVATE_KEY = {\n  old\n   }\nZ = 2\n", 1,
         "A\n", "K = 1\r\nMERCHANT_PRIVATE_KEY ={\r\nP\r\n}\r\nZ = 2\r\nMERCHANT_PUBLIC_KEY={\r\nA\r\n}\r\n",
         "MERHANT_ID = \r\nPublic Key ={\r\nA\r\n}\r\n"},
        // An old key item that opens no block, or never closes it, keeps
        // every line after it.
        {"old one-line key value", "$MerchantPUK\nA\nEOF\n$MerchantPRK\nP\nEOF\n",
         "MERCHANT_PUBLIC_KEY = abc\nMERCHANT_ID = 5\nOTHER ={\nx\n}\n", 1, "A\n",
         "MERCHANT_PUBLIC_KEY ={\r\nA\r\n}\r\nMERCHANT_ID = 5\r\nOTHER ={\r\nx\r\n}\r\nMERCHANT_PRIVATE_KEY={\r\nP\r\n}\r\n",
         "MERHANT_ID = 5\r\nPublic Key ={\r\nA\r\n}\r\n"},
        {"old key block that never closes", "$MerchantPUK\nA\nEOF\n$MerchantPRK\nP\nEOF\n",
         "MERCHANT_PUBLIC_KEY = {\nMERCHANT_ID = 5\nY = 6\n", 1, "A\n",
         "MERCHANT_PUBLIC_KEY ={\r\nA\r\n}\r\nMERCHANT_ID = 5\r\nY = 6\r\nMERCHANT_PRIVATE_KEY={\r\nP\r\n}\r\n",
         "MERHANT_ID = 5\r\nPublic Key ={\r\nA\r\n}\r\n"},
        {"last line without a newline is ended before the key item", "$MerchantPRK\nP\nEOF\n$MerchantPUK\nA\nEOF\n",
         "MERCHANT_ID = 3", 1, "A\n", "MERCHANT_ID = 3\r\nMERCHANT_PRIVATE_KEY={\r\nP\r\n}\r\nMERCHANT_PUBLIC_KEY={\r\nA\r\n}\r\n",
         "MERHANT_ID = 3\r\nPublic Key ={\r\nA\r\n}\r\n"},
        {"text with % is written byte for byte", "$MerchantPUK\n%s%d\nEOF\n$MerchantPRK\n%n\nEOF\n",
         "MERCHANT_ID = 100%\n", 1, "%s%d\n",
         "MERCHANT_ID = 100%\r\nMERCHANT_PUBLIC_KEY={\r\n%s%d\r\n}\r\nMERCHANT_PRIVATE_KEY={\r\n%n\r\n}\r\n",
         "MERHANT_ID = 100%\r\nPublic Key ={\r\n%s%d\r\n}\r\n"},
    };
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(row.label);
        DeleteFileA(regInfo_.c_str());
        WriteBytes(itemFile_, row.items);
        EXPECT_EQ(Run(row.key, ""), row.result);
        EXPECT_STREQ(publicKey_, row.publicKey);
        EXPECT_EQ(ReadBytes(itemFile_), row.itemsAfter);
        EXPECT_EQ(ReadBytes(regInfo_), row.regInfo ? row.regInfo : "<missing>");
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// A stored block's "}" starts its own line, whatever the key text held, so
// that a later substitution removes the old block and nothing after it.
TEST_F(SubstituteKeysTest, StoredBlocksCloseOnTheirOwnLine) {
    using namespace std::string_literals;
    const std::string clean = "$MerchantPUK\nNEW\nEOF\n$MerchantPRK\nSECRET\nEOF\n";
    // What the clean substitution leaves, after item lines "NAME<eq>{".
    auto afterClean = [](const char* publicEq, const char* privateEq) {
        return "MERCHANT_ID = 42\r\nMERCHANT_PUBLIC_KEY"s + publicEq + "{\r\nNEW\r\n}\r\nX = 1\r\nMERCHANT_PRIVATE_KEY" +
               privateEq + "{\r\nSECRET\r\n}\r\n";
    };
    const std::string oldItems = "MERCHANT_ID = 42\nMERCHANT_PUBLIC_KEY = {\nold\n}\nX = 1\n";
    const std::string line255(255, 'k');
    struct Row {
        const char* label;
        std::string key;
        std::string items;   // before the first substitution
        std::string stored;  // after it
        std::string again;   // after a clean substitution
    } rows[] = {
        {"NUL bytes in the key text are kept",
         "$MerchantPUK\nA\0B\nC\0\0\nEOF\n$MerchantPRK\n\0\0\0\nEOF\n"s, oldItems,
         "MERCHANT_ID = 42\r\nMERCHANT_PUBLIC_KEY ={\r\nA\0B\r\nC\0\0\r\n}\r\nX = 1\r\n"
         "MERCHANT_PRIVATE_KEY={\r\n\0\0\0\r\n}\r\n"s,
         afterClean(" =", "=")},
        {"EOF on the line of a 255-character key line",
         "$MerchantPUK\n" + line255 + "EOF\n$MerchantPRK\nP\nEOF\n", oldItems,
         "MERCHANT_ID = 42\r\nMERCHANT_PUBLIC_KEY ={\r\n" + line255 +
             "\r\n}\r\nX = 1\r\nMERCHANT_PRIVATE_KEY={\r\nP\r\n}\r\n",
         afterClean(" =", "=")},
        {"a glued \"}\" stored before: the old block ends there", clean,
         "MERCHANT_ID = 42\r\nMERCHANT_PUBLIC_KEY ={\r\nAC}\r\nX = 1\r\nMERCHANT_PRIVATE_KEY ={\r\nP}\r\n", "",
         afterClean(" =", " =")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        WriteBytes(itemFile_, row.items);
        EXPECT_EQ(Run(row.key, ""), 1);
        if (row.key != clean) {
            EXPECT_EQ(ReadBytes(itemFile_), row.stored);
            EXPECT_EQ(Run(clean, ""), 1);
        }
        EXPECT_EQ(ReadBytes(itemFile_), row.again) << "X = 1 stays";
    }
}

TEST_F(SubstituteKeysTest, MissingKeyFileTouchesNothing) {
    WriteBytes(itemFile_, "MERCHANT_ID = 1\r\n");
    std::string missing = scratch_.Path("none.key");
    EXPECT_EQ(SubstituteKeys(missing.c_str(), itemFile_.c_str(), publicKey_), 0);
    EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Info", "Unable to open key file : " + missing + "."}}));
    EXPECT_EQ(publicKey_[0], '#') << "the public key buffer is left alone";
    EXPECT_EQ(ReadBytes(itemFile_), "MERCHANT_ID = 1\r\n");
    EXPECT_FALSE(wextest::FileExists(regInfo_));
}

TEST_F(SubstituteKeysTest, ItemFilePathWithoutBackslashShowsTheReginfoBox) {
    std::string forward = itemFile_;
    for (char& c : forward) {
        if (c == '\\') c = '/';
    }
    WriteBytes(keyFile_, "$MerchantPUK\nA\nEOF\n$MerchantPRK\nP\nEOF\n");
    WriteBytes(itemFile_, "MERCHANT_ID = 1\n");
    EXPECT_EQ(SubstituteKeys(keyFile_.c_str(), forward.c_str(), publicKey_), 1);
    EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Info", "Unable to create reginfo file."}}));
    EXPECT_EQ(ReadBytes(itemFile_),
              "MERCHANT_ID = 1\r\nMERCHANT_PUBLIC_KEY={\r\nA\r\n}\r\nMERCHANT_PRIVATE_KEY={\r\nP\r\n}\r\n");
    EXPECT_FALSE(wextest::FileExists(regInfo_));
}

// Neither block could be stored: the keys are not in the item file, so the
// export fails, after a line for each attempt.
TEST_F(SubstituteKeysTest, MissingItemFileReportsEachAttempt) {
    wextest::StdCapture capture;
    EXPECT_EQ(Run("$MerchantPUK\nA\nEOF\n$MerchantPRK\nP\nEOF\n", ""), 0);
    std::string line = "Could not open file " + itemFile_ + " for reading.\n";
    EXPECT_EQ(capture.Err(), line + line + line) << "the key item writer twice, GetFileItem once";
    EXPECT_FALSE(wextest::FileExists(itemFile_)) << "a missing item file is not created";
    EXPECT_EQ(ReadBytes(regInfo_), "MERHANT_ID = \r\nPublic Key ={\r\nA\r\n}\r\n");
}

// A block that cannot be stored (here: a read-only item file) is no stored
// key, so the export fails; the other texts go on as before.
TEST_F(SubstituteKeysTest, BlocksThatCannotBeStoredFailTheExport) {
    WriteBytes(itemFile_, "MERCHANT_ID = 7\r\n");
    ASSERT_TRUE(SetFileAttributesA(itemFile_.c_str(), FILE_ATTRIBUTE_READONLY));
    wextest::StdCapture capture;
    EXPECT_EQ(Run("$MerchantPUK\nA\nEOF\n$MerchantPRK\nP\nEOF\n", ""), 0);
    const std::string line = "File " + itemFile_ + " left unchanged: it is read-only.\n";
    EXPECT_EQ(capture.Err(), line + line);
    SetFileAttributesA(itemFile_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(itemFile_), "MERCHANT_ID = 7\r\n");
    EXPECT_STREQ(publicKey_, "A\n");
    EXPECT_EQ(ReadBytes(regInfo_), "MERHANT_ID = 7\r\nPublic Key ={\r\nA\r\n}\r\n");
}

TEST_F(SubstituteKeysTest, LongTextsAreBoundedNotOverrun) {
    // An identifier of 100 characters is cut to the 79 that "reginfo.txt"
    // carries; a key block body over 2044 characters is not stored at all.
    std::string id(100, 'i');
    std::string longBody;
    for (int i = 0; i < 9; ++i) longBody += std::string(254, 'k') + "\n";  // 2295 characters
    wextest::StdCapture capture;
    int result = Run("$MerchantPUK\nA\nEOF\n$MerchantPRK\n" + longBody + "EOF\n", "MERCHANT_ID = " + id + "\n");
    EXPECT_EQ(result, 0) << "the refused block does not count";
    EXPECT_EQ(capture.Err(), "Key block in " + keyFile_ + " is longer than 2044 characters: not stored.\n");
    EXPECT_EQ(ReadBytes(regInfo_), "MERHANT_ID = " + id.substr(0, 79) + "\r\nPublic Key ={\r\nA\r\n}\r\n");
    EXPECT_EQ(ReadBytes(itemFile_), "MERCHANT_ID = " + id + "\r\nMERCHANT_PUBLIC_KEY={\r\nA\r\n}\r\n");
    EXPECT_STREQ(publicKey_, "A\n");

    // "reginfo.txt" beside an item file whose directory name fills the
    // 256-byte name: refused with the box, the keys still stored.
    std::string deep = scratch_.Root() + "\\" + std::string(243 - scratch_.Root().size(), 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    std::string deepItems = deep + "\\m.ini";
    WriteBytes(deepItems, "X = 1\n");
    EXPECT_EQ(SubstituteKeys(keyFile_.c_str(), deepItems.c_str(), publicKey_), 0);
    EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Info", "Unable to create reginfo file."}}));
    EXPECT_EQ(ReadBytes(deepItems), "X = 1\r\nMERCHANT_PUBLIC_KEY={\r\nA\r\n}\r\n");
}

}  // namespace
