// The wide twins of the merchant key exports through the real DLL: the key
// road under an install root named in Cyrillic and Japanese gives what the A
// exports give under a plain one; identifiers agree with the A export on the
// code page's bytes; reginfo.txt takes the item file's encoding.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "boxes.h"
#include "capture.h"
#include "children.h"
#include "programs.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::Box;
using wextest::ErrCapture;
using wextest::ReadBytes;
using wextest::Utf8;
using wextest::Wide;
using wextest::WriteBytes;

const std::string kMark = "\xEF\xBB\xBF";

const std::string kShop = "\xD0\x9C\xD0\xB0\xD0\xB3\xD0\xB0\xD0\xB7\xD0\xB8\xD0\xBD";  // Магазин
const std::string kStore = "\xE5\xBA\x97\xE8\x88\x97";                                 // 店舗
const std::string kCard = "\xF0\x9F\x92\xB3";                                           // 💳 (U+1F4B3)

// Code page 1252 both ways; the texts given here all fit it.
std::string Ansi(const std::wstring& wide) {
    std::string bytes(wide.size() * 2 + 1, '\0');
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &bytes[0],
                                      static_cast<int>(bytes.size()), nullptr, &lossy);
    EXPECT_FALSE(lossy) << Utf8(wide);
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

std::wstring FromAnsi(const std::string& bytes) {
    std::wstring wide(bytes.size(), L'\0');
    const int n = MultiByteToWideChar(1252, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0],
                                      static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(n));
    return wide;
}

// Waits up to 20 s for a file that a generator writes.
std::string WaitForFile(const std::wstring& path) {
    for (int i = 0; i < 200 && !wextest::FileExists(path); ++i) Sleep(100);
    return ReadBytes(path);
}

bool MakeFolder(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != 0; }

// ---- ComputeMerchIDW ------------------------------------------------------------

// What the A export gives for the name's code page bytes: the identifier and
// the name buffer afterwards, given apart or as one buffer.
struct Identified {
    std::string identifier, nameAfter, aliased;
};
Identified ByAExport(const std::string& bytes) {
    std::vector<char> name(bytes.begin(), bytes.end()), identifier(bytes.size() + 4, '#');
    name.push_back('\0');
    EXPECT_EQ(ComputeMerchID(name.data(), identifier.data()), 0);
    std::vector<char> alias(bytes.begin(), bytes.end());
    alias.resize(bytes.size() + 4, '\0');
    EXPECT_EQ(ComputeMerchID(alias.data(), alias.data()), 0);
    return {identifier.data(), name.data(), alias.data()};
}

TEST(ComputeMerchIDW, AgreesWithTheAExportOnTheCodePagesBytes) {
    std::wstring hundred;
    for (int i = 0; i < 50; ++i) hundred += L"A\u00e9";
    struct Row {
        std::wstring name;
        const wchar_t* identifier;  // worked out by hand; null: the A export's word only
        const wchar_t* nameAfter;
    } const rows[] = {
        {L"abc", L"abc-03", L"abc"},
        {L"ABC", L"ABC-03", L"abc"},
        {L"", L"-58", L""},
        {L"\u00e9", L"\u00e9-60", L"\u00e9"},
        {L"Caf\u00e9 Ost", nullptr, L"caf\u00e9 ost"},
        {L"M\u00dcNCHEN", nullptr, L"m\u00dcnchen"},
        {L"\u20acuro Shop", nullptr, L"\u20acuro shop"},
        {L"Troms\u00f8 \u00d8L", nullptr, L"troms\u00f8 \u00d8l"},
        {hundred, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.name));
        const Identified a = ByAExport(Ansi(row.name));
        const std::size_t units = row.name.size();
        // The name's length and 4, then a tail that must stay untouched.
        std::vector<wchar_t> name(row.name.begin(), row.name.end()), identifier(units + 4 + 16, L'#');
        name.push_back(L'\0');
        EXPECT_EQ(ComputeMerchIDW(name.data(), identifier.data()), 0);
        EXPECT_EQ(std::wstring(identifier.data()), FromAnsi(a.identifier));
        EXPECT_EQ(std::wstring(name.data()), FromAnsi(a.nameAfter));
        EXPECT_EQ(std::wstring(identifier.data() + units + 4, 16), std::wstring(16, L'#')) << "written past the buffer";
        if (row.identifier) {
            EXPECT_EQ(std::wstring(identifier.data()), row.identifier);
        }
        if (row.nameAfter) {
            EXPECT_EQ(std::wstring(name.data()), row.nameAfter);
        }

        std::vector<wchar_t> alias(row.name.begin(), row.name.end());
        alias.resize(units + 4, L'\0');
        EXPECT_EQ(ComputeMerchIDW(alias.data(), alias.data()), 0);
        EXPECT_EQ(std::wstring(alias.data()), FromAnsi(a.aliased)) << "identifier and name in one buffer";
    }
    EXPECT_EQ(ComputeMerchIDW(nullptr, nullptr), 0);
}

// A name that the code page cannot hold exactly gets no identifier: no best
// fit ("A" for U+0100), no "?".
TEST(ComputeMerchIDW, NameOutsideTheCodePageGetsNoIdentifier) {
    const std::wstring names[] = {
        L"\u041c\u0430\u0433\u0430\u0437\u0438\u043d",  // Магазин
        L"Caf\u0100",                                     // fits best as "CafA"
        L"Shop \u5e97\u8217",
        L"\U0001F4B3",
    };
    for (const std::wstring& given : names) {
        SCOPED_TRACE(Utf8(given));
        std::vector<wchar_t> name(given.begin(), given.end()), identifier(given.size() + 4 + 16, L'#');
        name.push_back(L'\0');
        ErrCapture capture;
        EXPECT_EQ(ComputeMerchIDW(name.data(), identifier.data()), 0);
        EXPECT_EQ(identifier[0], L'\0') << "the identifier is empty";
        EXPECT_EQ(std::wstring(name.data()), given) << "the name is left as it was";
        EXPECT_EQ(capture.Err(),
                  "Merchant name " + Utf8(given) + " has a character outside the ANSI code page: no identifier.\n");
    }
    // A lone surrogate is no character of the code page either.
    wchar_t name[] = L"Shop\xD800";
    wchar_t identifier[16];
    std::wmemset(identifier, L'#', 16);
    ErrCapture capture;
    EXPECT_EQ(ComputeMerchIDW(name, identifier), 0);
    EXPECT_EQ(identifier[0], L'\0');
    EXPECT_EQ(std::wstring(name), L"Shop\xD800");
    const std::string line = capture.Err();
    EXPECT_EQ(line.rfind("Merchant name Shop", 0), 0u) << line;
    EXPECT_NE(line.find(" has a character outside the ANSI code page: no identifier.\n"), std::string::npos) << line;
}

// ---- MakeKeysW and SubstituteKeysW -----------------------------------------------

class KeyTwins : public testing::Test {
protected:
    void SetUp() override {
        if (const char* tmp = std::getenv("TMP")) savedTmp_ = tmp;
        _putenv("MY_DBGPRINT=");
        tmp_ = scratch_.Path("tmp");
        ASSERT_TRUE(CreateDirectoryA(tmp_.c_str(), nullptr));
        _putenv(("TMP=" + tmp_).c_str());
        record_ = scratch_.Path("record.txt");
        rootBefore_ = wextest::FilesIn("C:");
    }
    void TearDown() override {
        wextest::EndChildrenNamed("makekeys.exe");
        _putenv(("TMP=" + savedTmp_).c_str());
        _putenv("WEXTEST_RECORD=");
        EXPECT_EQ(wextest::FilesIn("C:"), rootBefore_) << "a temporary file was left behind";
    }

    // An install root whose bin folder holds program as makekeys.exe.
    std::wstring InstallRoot(const std::wstring& name, const char* program) {
        const std::wstring root = Wide(scratch_.Root()) + L"\\" + name;
        EXPECT_TRUE(MakeFolder(root));
        EXPECT_TRUE(MakeFolder(root + L"\\bin"));
        EXPECT_TRUE(CopyFileW(Wide(wextest::BesideTest(program)).c_str(), (root + L"\\bin\\makekeys.exe").c_str(), FALSE));
        return root;
    }
    static std::wstring KeyFile(const std::wstring& root, const std::wstring& merchant) {
        return root + L"\\merchants\\" + merchant + L"\\" + merchant + L".key";
    }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::string savedTmp_, tmp_, record_;
    std::set<std::string> rootBefore_;
};

// The recording stand-in shows what the generator was given: the command
// line with the paths in UTF-16, its folder, and the seed file's bytes.
TEST_F(KeyTwins, MakeKeysWHandsTheGeneratorUnicodePathsAndAUtf8Seed) {
    const std::wstring root = InstallRoot(Wide(kShop + " " + kStore), "fakegen.exe");
    _putenv(("WEXTEST_RECORD=" + record_).c_str());
    const std::string merchants[] = {"shop1", kShop, kStore + kCard};
    const std::string seed = kShop + " " + kStore + " " + kCard + " \xC3\xA9 \xE2\x82\xAC";
    for (const std::string& merchant : merchants) {
        SCOPED_TRACE(merchant);
        DeleteFileA(record_.c_str());
        const DWORD start = GetTickCount();
        EXPECT_EQ(MakeKeysW(root.c_str(), Wide(merchant).c_str(), Wide(seed).c_str()), 1);
        EXPECT_GE(GetTickCount() - start, 1500u - 20u) << "the pause";

        const std::string record = WaitForFile(Wide(record_));
        const std::size_t lineEnd = record.find('\n');
        ASSERT_NE(lineEnd, std::string::npos) << record;
        const std::string commandLine = record.substr(0, lineEnd);
        const std::size_t seedStart = commandLine.rfind("-input \"") + 8;
        ASSERT_LT(seedStart, commandLine.size()) << commandLine;
        const std::string seedFile = commandLine.substr(seedStart, commandLine.size() - seedStart - 1);
        EXPECT_EQ(seedFile.rfind(tmp_ + "\\seed", 0), 0u) << seedFile;
        const std::string r = Utf8(root);
        EXPECT_EQ(commandLine, "\"" + r + "\\bin\\makekeys.exe\" -output \"" + r + "\\merchants\\" + merchant + "\\" +
                                   merchant + ".key\" -input \"" + seedFile + "\"");
        EXPECT_EQ(record.substr(lineEnd + 1), r + "\\bin\n" + seed) << "its folder, then the seed's UTF-8 bytes";
        EXPECT_FALSE(wextest::FileExists(seedFile)) << "the seed file is deleted";
    }
    EXPECT_TRUE(wextest::FilesIn(tmp_).empty());
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// The whole road with the stand-in generator: MakeKeysW and SubstituteKeysW
// under a root named in Cyrillic and Japanese write, byte for byte, the key
// file, item file and reginfo.txt that MakeKeys and SubstituteKeys write
// under a plain root.
TEST_F(KeyTwins, KeyRoadUnderAUnicodeRootMatchesTheAExports) {
    const std::wstring plainRoot = InstallRoot(L"plain", "makekeys.exe");
    ASSERT_EQ(MakeKeys(Utf8(plainRoot).c_str(), "shop1", "alpha"), 1);
    const std::string keyA = WaitForFile(KeyFile(plainRoot, L"shop1"));
    ASSERT_EQ(keyA.compare(0, 14, "$MerchantPUK\r\n"), 0) << keyA;
    const std::string itemsBefore = "MERCHANT_ID = shop1-77\r\nPORT = 8443\r\n";
    const std::wstring itemsA = plainRoot + L"\\merchants\\shop1\\merchant.ini";
    WriteBytes(itemsA, itemsBefore);
    char publicA[4096] = "";
    ASSERT_EQ(SubstituteKeys(Utf8(KeyFile(plainRoot, L"shop1")).c_str(), Utf8(itemsA).c_str(), publicA), 1);
    const std::string storedA = ReadBytes(itemsA);
    const std::string regInfoA = ReadBytes(plainRoot + L"\\merchants\\shop1\\reginfo.txt");
    ASSERT_NE(storedA.find("MERCHANT_PRIVATE_KEY={"), std::string::npos) << storedA;

    const std::wstring root = InstallRoot(Wide(kShop + " " + kStore), "makekeys.exe");
    const std::string merchants[] = {"shop1", kShop, kStore + " " + kCard};
    for (const std::string& merchant : merchants) {
        SCOPED_TRACE(merchant);
        const std::wstring m = Wide(merchant);
        EXPECT_EQ(MakeKeysW(root.c_str(), m.c_str(), L"alpha"), 1);
        EXPECT_EQ(WaitForFile(KeyFile(root, m)), keyA);
        const std::wstring items = root + L"\\merchants\\" + m + L"\\merchant.ini";
        WriteBytes(items, itemsBefore);
        std::vector<wchar_t> publicKey(4096, L'#');
        EXPECT_EQ(SubstituteKeysW(KeyFile(root, m).c_str(), items.c_str(), publicKey.data()), 1);
        EXPECT_EQ(std::wstring(publicKey.data()), Wide(publicA));
        EXPECT_EQ(ReadBytes(items), storedA);
        EXPECT_EQ(ReadBytes(root + L"\\merchants\\" + m + L"\\reginfo.txt"), regInfoA);
    }
    EXPECT_TRUE(wextest::FilesIn(tmp_).empty());
    EXPECT_TRUE(boxes_.Boxes().empty());
}

class SubstituteKeysTwin : public testing::Test {
protected:
    void SetUp() override {
        rootBefore_ = wextest::FilesIn("C:");
        ASSERT_TRUE(MakeFolder(folder_));
    }
    void TearDown() override { EXPECT_EQ(wextest::FilesIn("C:"), rootBefore_) << "a temporary file was left behind"; }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::set<std::string> rootBefore_;
    const std::wstring folder_ = Wide(scratch_.Root() + "\\" + kShop + " " + kStore);
    const std::wstring keyFile_ = folder_ + L"\\" + Wide(kShop) + L".key";
    const std::wstring itemFile_ = folder_ + L"\\merchant " + Wide(kCard) + L".ini";
    const std::wstring regInfo_ = folder_ + L"\\reginfo.txt";
};

const char kKeyText[] = "$MerchantPUK\r\nAAA\r\nBBB\r\nEOF\r\n$MerchantPRK\r\nCCC\r\nEOF\r\n";
const char kStoredBlocks[] = "MERCHANT_PUBLIC_KEY={\r\nAAA\r\nBBB\r\n}\r\nMERCHANT_PRIVATE_KEY={\r\nCCC\r\n}\r\n";
const char kRegInfoKey[] = "\r\nPublic Key ={\r\nAAA\r\nBBB\r\n}\r\n";

TEST_F(SubstituteKeysTwin, RegInfoTakesTheItemFilesEncoding) {
    struct Row {
        const char* label;
        std::string key;
        std::string items;
        std::string itemsAfter;
        std::string regInfo;
    } const rows[] = {
        {"marked item file: the mark first, the identifier in UTF-8", kKeyText,
         kMark + "MERCHANT_ID = " + kShop + "-42\r\nX = 1\r\n",
         kMark + "MERCHANT_ID = " + kShop + "-42\r\nX = 1\r\n" + kStoredBlocks,
         kMark + "MERHANT_ID = " + kShop + "-42" + kRegInfoKey},
        {"ANSI item file: no mark, the identifier's code page bytes", kKeyText, "MERCHANT_ID = Caf\xE9-12\r\n",
         std::string("MERCHANT_ID = Caf\xE9-12\r\n") + kStoredBlocks, "MERHANT_ID = Caf\xE9-12" + std::string(kRegInfoKey)},
        {"a marked key file is read as if it had no mark", kMark + kKeyText, "MERCHANT_ID = 7\r\n",
         std::string("MERCHANT_ID = 7\r\n") + kStoredBlocks, "MERHANT_ID = 7" + std::string(kRegInfoKey)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        WriteBytes(keyFile_, row.key);
        WriteBytes(itemFile_, row.items);
        DeleteFileW(regInfo_.c_str());
        std::vector<wchar_t> publicKey(8192, L'#');
        EXPECT_EQ(SubstituteKeysW(keyFile_.c_str(), itemFile_.c_str(), publicKey.data()), 1);
        EXPECT_EQ(std::wstring(publicKey.data()), L"AAA\nBBB\n");
        EXPECT_EQ(ReadBytes(itemFile_), row.itemsAfter);
        EXPECT_EQ(ReadBytes(regInfo_), row.regInfo);
        EXPECT_EQ(ReadBytes(keyFile_), row.key) << "the key file stays";
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// The A export skips a key file's mark too.
TEST_F(SubstituteKeysTwin, AExportReadsAMarkedKeyFile) {
    const std::string key = scratch_.Path("shop1.key"), items = scratch_.Path("merchant.ini");
    WriteBytes(key, kMark + kKeyText);
    WriteBytes(items, "MERCHANT_ID = 7\r\n");
    char publicKey[8192] = "";
    EXPECT_EQ(SubstituteKeys(key.c_str(), items.c_str(), publicKey), 1);
    EXPECT_STREQ(publicKey, "AAA\nBBB\n");
    EXPECT_EQ(ReadBytes(items), std::string("MERCHANT_ID = 7\r\n") + kStoredBlocks);
    EXPECT_EQ(ReadBytes(scratch_.Path("reginfo.txt")), "MERHANT_ID = 7" + std::string(kRegInfoKey));
}

TEST_F(SubstituteKeysTwin, MissingKeyFileNamesItInTheBox) {
    WriteBytes(itemFile_, "MERCHANT_ID = 1\r\n");
    const std::wstring missing = folder_ + L"\\" + Wide(kStore) + L".key";
    std::vector<wchar_t> publicKey(8192, L'#');
    EXPECT_EQ(SubstituteKeysW(missing.c_str(), itemFile_.c_str(), publicKey.data()), 0);
    EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Info", "Unable to open key file : " + Utf8(missing) + "."}}));
    EXPECT_EQ(publicKey[0], L'#') << "the public key buffer is left alone";
    EXPECT_EQ(ReadBytes(itemFile_), "MERCHANT_ID = 1\r\n");
    EXPECT_FALSE(wextest::FileExists(regInfo_));
}

TEST_F(SubstituteKeysTwin, NullArgumentsFailWithoutACrash) {
    WriteBytes(keyFile_, kKeyText);
    WriteBytes(itemFile_, "MERCHANT_ID = 1\r\n");
    std::vector<wchar_t> publicKey(8192, L'#');
    EXPECT_EQ(SubstituteKeysW(nullptr, itemFile_.c_str(), publicKey.data()), 0);
    EXPECT_EQ(SubstituteKeysW(keyFile_.c_str(), nullptr, publicKey.data()), 0);
    EXPECT_EQ(MakeKeysW(nullptr, L"shop1", L"seed"), 0);
    EXPECT_EQ(MakeKeysW(folder_.c_str(), nullptr, L"seed"), 0);
    EXPECT_EQ(MakeKeysW(folder_.c_str(), L"shop1", nullptr), 0);
    EXPECT_EQ(ReadBytes(itemFile_), "MERCHANT_ID = 1\r\n");
    EXPECT_FALSE(wextest::FileExists(regInfo_));
}

}  // namespace
