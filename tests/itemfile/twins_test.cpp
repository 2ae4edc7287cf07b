// The wide twins of the item file exports through the real DLL. A file that
// starts with the UTF-8 byte-order mark holds UTF-8, every other file code
// page 1252 (the tests' prefix): the twins' texts must arrive in the file's
// own bytes, exactly, and come back as the same UTF-16. Exact bytes on disk,
// results, standard error lines and boxes; the A exports next to them where
// the mark concerns them too.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "boxes.h"
#include "capture.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using namespace std::string_literals;
using wextest::Box;
using wextest::ErrCapture;
using wextest::ReadBytes;
using wextest::Utf8;
using wextest::Wide;
using wextest::WriteBytes;

const std::string kMark = "\xEF\xBB\xBF";

// What ReadBytes gives for a file that is not there; as a row's "before" it
// means that the row starts without the file.
const std::string kNoFile = "<missing>";

// The UTF-8 of the texts below, spelled out once.
const std::string kShop = "\xD0\x9C\xD0\xB0\xD0\xB3\xD0\xB0\xD0\xB7\xD0\xB8\xD0\xBD";  // Магазин
const std::string kStore = "\xE5\xBA\x97\xE8\x88\x97";                                 // 店舗
const std::string kCard = "\xF0\x9F\x92\xB3";                                           // 💳 (U+1F4B3)

enum class Op { Find, Get, Set, Add, Delete, Substitute };

const char* OpName(Op op) {
    switch (op) {
    case Op::Find: return "Find";
    case Op::Get: return "Get";
    case Op::Set: return "Set";
    case Op::Add: return "Add";
    case Op::Delete: return "Delete";
    case Op::Substitute: return "Substitute";
    }
    return "?";
}

// A value buffer of the declared 399 units and a tail behind it that no
// export may touch.
constexpr std::size_t kValueUnits = 399;
constexpr std::size_t kTail = 64;

// One call of a twin. name: name or search text; argument: value, filter or
// replacement (null where the export allows it). value receives what
// GetFileItemW wrote (empty when it wrote nothing).
int CallW(Op op, const std::wstring& path, const wchar_t* name, const wchar_t* argument, std::wstring* value = nullptr) {
    const wchar_t* p = path.c_str();
    switch (op) {
    case Op::Find: return FindFileItemW(p, name, argument);
    case Op::Get: {
        wchar_t buffer[kValueUnits + kTail];
        std::wmemset(buffer, L'#', kValueUnits + kTail);
        const int result = GetFileItemW(p, name, buffer);
        EXPECT_EQ(std::wstring(buffer + kValueUnits, kTail), std::wstring(kTail, L'#')) << "written past 399 units";
        const wchar_t* end = std::wmemchr(buffer, L'\0', kValueUnits);
        if (result == 0) {
            EXPECT_EQ(std::wstring(buffer, kValueUnits), std::wstring(kValueUnits, L'#')) << "buffer must stay untouched";
        } else {
            EXPECT_NE(end, nullptr) << "no terminating zero within 399 units";
        }
        if (value) *value = result && end ? std::wstring(buffer, static_cast<std::size_t>(end - buffer)) : std::wstring();
        return result;
    }
    case Op::Set: return SetFileItemW(p, name, argument);
    case Op::Add: return AddFileItemW(p, name, argument);
    case Op::Delete: return DeleteFileItemW(p, name, argument);
    case Op::Substitute: return SubstituteW(p, name, argument);
    }
    return -1;
}

// The same call through the A export with its bytes.
int CallA(Op op, const std::string& path, const char* name, const char* argument, std::string* value = nullptr) {
    const char* p = path.c_str();
    switch (op) {
    case Op::Find: return FindFileItem(p, name, argument);
    case Op::Get: {
        char buffer[400] = "";
        const int result = GetFileItem(p, name, buffer);
        if (value) *value = result ? buffer : "";
        return result;
    }
    case Op::Set: return SetFileItem(p, name, argument);
    case Op::Add: return AddFileItem(p, name, argument);
    case Op::Delete: return DeleteFileItem(p, name, argument);
    case Op::Substitute: return Substitute(p, name, argument);
    }
    return -1;
}

// The A export (bytes as given) or its twin (the same text as UTF-16).
// Texts in UTF-8; an A caller's path is plain ASCII.
int CallBy(bool wide, Op op, const std::wstring& path, const char* name, const char* argument,
           std::string* value = nullptr) {
    if (!wide) return CallA(op, Utf8(path), name, argument, value);
    const std::wstring wideName = Wide(name), wideArgument = argument ? Wide(argument) : std::wstring();
    std::wstring wideValue;
    const int result = CallW(op, path, wideName.c_str(), argument ? wideArgument.c_str() : nullptr, &wideValue);
    if (value) *value = Utf8(wideValue);
    return result;
}

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << Utf8(path);
    return data.ftLastWriteTime;
}

// Dates the file back to 2001, so that a rewrite shows in its last-write time.
void DateBack(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path);
    SYSTEMTIME when{2001, 1, 1, 1, 12, 0, 0, 0};
    FILETIME old{};
    SystemTimeToFileTime(&when, &old);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &old));
    CloseHandle(file);
}

bool operator==(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

class ItemTwins : public testing::Test {
protected:
    // The rewrites' temporary files go to the root of the drive.
    void SetUp() override {
        rootBefore_ = wextest::FilesIn("C:");
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    }
    void TearDown() override { EXPECT_EQ(wextest::FilesIn("C:"), rootBefore_) << "a temporary file was left behind"; }

    // A file in a folder named in Cyrillic and Japanese: every path a twin
    // is given needs UTF-16.
    std::wstring File(const std::string& bytes, const std::wstring& name = L"items.ini") {
        const std::wstring path = folder_ + L"\\" + name;
        if (bytes == kNoFile) DeleteFileW(path.c_str());
        else WriteBytes(path, bytes);
        return path;
    }
    // A file in the plain scratch folder, for the A exports.
    std::wstring PlainFile(const std::string& bytes, const char* name = "items.ini") {
        const std::wstring path = Wide(scratch_.Path(name));
        WriteBytes(path, bytes);
        return path;
    }
    // Names of the files beside an item file (a sibling left behind shows).
    std::set<std::wstring> FilesInFolder() const {
        std::set<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder_ + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return names;
    }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::set<std::string> rootBefore_;
    const std::wstring folder_ = Wide(scratch_.Root()) + L"\\\u0424\u0430\u0439\u043b\u044b \u5e97\u8217";
};

// ---- The mark, for the A exports and the twins alike -----------------------

struct Caller {
    bool wide;
};
const Caller kBoth[] = {{false}, {true}};
const char* Label(const Caller& c) { return c.wide ? "W" : "A"; }

TEST_F(ItemTwins, MarkIsNoPartOfTheFirstLine) {
    const std::string marked = kMark + "NAME = v\r\nB = 2\r\n";
    struct Row {
        const char* label;
        Op op;
        const char* name;
        const char* argument;
        int result;
        const char* value;
    } const rows[] = {
        {"the first line's item", Op::Get, "NAME", nullptr, 1, "v"},
        {"found with its value", Op::Find, "NAME", "v", 1, ""},
        {"found with no filter", Op::Find, "NAME", nullptr, 1, ""},
        {"the mark is no part of the name", Op::Get, "\xEF\xBB\xBFNAME", nullptr, 0, ""},
        {"nor of a line to find", Op::Find, "\xEF\xBB\xBFNAME", nullptr, 0, ""},
    };
    for (const Caller& c : kBoth) {
        const std::wstring path = c.wide ? File(marked) : PlainFile(marked);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(Label(c)) + " " + OpName(row.op) + ": " + row.label);
            std::string value;
            EXPECT_EQ(CallBy(c.wide, row.op, path, row.name, row.argument, &value), row.result);
            if (row.op == Op::Get) {
                EXPECT_EQ(value, row.value);
            }
        }
        SCOPED_TRACE(Label(c));
        if (c.wide) {
            wchar_t names[64];
            std::wmemset(names, L'#', 64);
            EXPECT_EQ(GetAllItemNamesW(path.c_str(), names), 2);
            EXPECT_STREQ(names, L"NAME&B&");
        } else {
            char names[64];
            std::memset(names, '#', sizeof names);
            EXPECT_EQ(GetAllItemNames(Utf8(path).c_str(), names), 2);
            EXPECT_STREQ(names, "NAME&B&");
        }
        const std::wstring passwd = c.wide ? File(kMark + "admin:x:0\r\n", L"passwd")
                                            : PlainFile(kMark + "admin:x:0\r\n", "passwd");
        if (c.wide) {
            wchar_t user[80] = L"stale";
            EXPECT_EQ(_GetUserNameW(passwd.c_str(), user), 1);
            EXPECT_STREQ(user, L"admin");
        } else {
            char user[80] = "stale";
            EXPECT_EQ(_GetUserName(Utf8(passwd).c_str(), user), 1);
            EXPECT_STREQ(user, "admin");
        }
        EXPECT_EQ(ReadBytes(path), marked) << "a query changes nothing";
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(ItemTwins, EditsKeepTheMarkFirst) {
    const std::string marked = kMark + "NAME = v\r\nB = 2\r\n";
    struct Row {
        const char* label;
        std::string before;
        Op op;
        const char* name;
        const char* argument;
        int result;
        std::string after;
    } const rows[] = {
        {"set the first line's item", marked, Op::Set, "NAME", "w", 1, kMark + "NAME =w\r\nB = 2\r\n"},
        {"set a new item", marked, Op::Set, "NEW", "1", 1, kMark + "NAME = v\r\nB = 2\r\n\r\nNEW=1\r\n"},
        {"set in a file of the mark alone", kMark, Op::Set, "PORT", "81", 1, kMark + "\r\nPORT=81\r\n"},
        {"add", marked, Op::Add, "C", "3", 1, kMark + "NAME = v\r\nB = 2\r\n\r\nC = 3\r\n"},
        {"delete the first line", marked, Op::Delete, "NAME", nullptr, 1, kMark + "B = 2\r\n"},
        {"delete every line", kMark + "NAME = 1\r\nNAME = 2\r\n", Op::Delete, "NAME", nullptr, 2, kMark},
        {"substitute in the first line", marked, Op::Substitute, "NAME", "N", 1, kMark + "N = v\r\nB = 2\r\n"},
        {"substitute the first line's text away", marked, Op::Substitute, "NAME = v", "", 1, kMark + "\r\nB = 2\r\n"},
        {"a search text with the mark finds nothing", marked, Op::Substitute, "\xEF\xBB\xBFNAME", "X", 1, marked},
    };
    for (const Caller& c : kBoth) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(Label(c)) + " " + row.label);
            const std::wstring path = c.wide ? File(row.before) : PlainFile(row.before);
            ErrCapture capture;
            EXPECT_EQ(CallBy(c.wide, row.op, path, row.name, row.argument), row.result);
            EXPECT_EQ(ReadBytes(path), row.after);
            EXPECT_EQ(capture.Err(), "");
        }
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// The A exports compare and write their bytes as given, whatever the file.
TEST_F(ItemTwins, AExportsPassTheirBytesThrough) {
    struct Row {
        const char* label;
        std::string before;
        Op op;
        const char* name;
        const char* argument;
        int result;
        std::string after;
        const char* value;
    } const rows[] = {
        {"UTF-8 bytes into a marked file", kMark + "NAME = x\r\n", Op::Set, "NAME", "\xD0\x9C", 1,
         kMark + "NAME =\xD0\x9C\r\n", nullptr},
        {"UTF-8 bytes into an ANSI file", "NAME = x\r\n", Op::Set, "NAME", "\xD0\x9C", 1, "NAME =\xD0\x9C\r\n",
         nullptr},
        {"a code page byte into a marked file", kMark + "NAME = \xD0\x9C\r\n", Op::Substitute, "\xD0\x9C", "\xE9", 1,
         kMark + "NAME = \xE9\r\n", nullptr},
        {"a UTF-8 name added to an ANSI file", "A = 1\r\n", Op::Add, "\xC3\xA9", "\x80", 1,
         "A = 1\r\n\r\n\xC3\xA9 = \x80\r\n", nullptr},
        {"a marked file's value comes back as its bytes", kMark + "NAME = \xD0\x9C\r\n", Op::Get, "NAME", nullptr, 1,
         kMark + "NAME = \xD0\x9C\r\n", "\xD0\x9C"},
        {"a marked file's UTF-8 name is found by its bytes", kMark + "\xC3\xA9 = 1\r\n", Op::Get, "\xC3\xA9", nullptr, 1,
         kMark + "\xC3\xA9 = 1\r\n", "1"},
        {"an ANSI file's name by its bytes", "CAF\xC9 = 1\r\n", Op::Get, "CAF\xC9", nullptr, 1, "CAF\xC9 = 1\r\n", "1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string path = Utf8(PlainFile(row.before));
        std::string value;
        ErrCapture capture;
        EXPECT_EQ(CallA(row.op, path, row.name, row.argument, &value), row.result);
        EXPECT_EQ(ReadBytes(path), row.after);
        if (row.value) {
            EXPECT_EQ(value, row.value);
        }
        EXPECT_EQ(capture.Err(), "");
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// ---- What the twins read ------------------------------------------------------

TEST_F(ItemTwins, TwinsReadTextsByTheFilesEncoding) {
    struct Row {
        const char* label;
        std::string bytes;
        std::wstring name;
        int result;
        std::wstring value;
    } const rows[] = {
        {"ANSI: code page 1252 bytes", "CITY = M\xFCnchen\r\n", L"CITY", 1, L"M\u00fcnchen"},
        {"ANSI: the euro sign is byte 0x80", "PRICE = 5 \x80\r\n", L"PRICE", 1, L"5 \u20ac"},
        {"ANSI: a name in the code page", "A = 1\r\nCAF\xC9 = Troms\xF8\r\n", L"CAF\u00c9", 1, L"Troms\u00f8"},
        {"ANSI: the name as code page bytes, not as UTF-8", "CAF\xC3\x89 = 1\r\n", L"CAF\u00c9", 0, L""},
        {"ANSI: UTF-8 bytes without the mark are code page text", "CITY = M\xC3\xBCnchen\r\n", L"CITY", 1,
         L"M\u00c3\u00bcnchen"},
        {"ANSI: two bytes of the mark are two characters", "\xEF\xBBNAME = v\r\n", L"\u00ef\u00bbNAME", 1, L"v"},
        {"UTF-8: Cyrillic, Japanese and a surrogate pair", kMark + "STADT = " + kShop + " " + kStore + " " + kCard + "\r\n",
         L"STADT", 1, L"\u041c\u0430\u0433\u0430\u0437\u0438\u043d \u5e97\u8217 \U0001F4B3"},
        {"UTF-8: a name in Cyrillic", kMark + "A = 1\r\n\xD0\x98\xD0\x9C\xD0\xAF = " + kStore + "\r\n",
         L"\u0418\u041c\u042f", 1, L"\u5e97\u8217"},
        {"UTF-8: a name of a surrogate pair", kMark + kCard + " = 4\r\n", L"\U0001F4B3", 1, L"4"},
        {"UTF-8: a name in the code page, as UTF-8", kMark + "CAF\xC3\x89 = 1\r\n", L"CAF\u00c9", 1, L"1"},
        {"UTF-8: the name as UTF-8, not as code page bytes", kMark + "CAF\xC9 = 1\r\n", L"CAF\u00c9", 0, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::wstring path = File(row.bytes);
        ErrCapture capture;
        std::wstring value;
        EXPECT_EQ(CallW(Op::Get, path, row.name.c_str(), nullptr, &value), row.result);
        EXPECT_EQ(value, row.value);
        EXPECT_EQ(GetFileItemW(path.c_str(), row.name.c_str(), nullptr), row.result);
        EXPECT_EQ(FindFileItemW(path.c_str(), row.name.c_str(), nullptr), row.result);
        if (row.result) {
            EXPECT_EQ(FindFileItemW(path.c_str(), row.name.c_str(), row.value.c_str()), 1) << "by its value";
        }
        EXPECT_EQ(capture.Err(), "");
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(ItemTwins, FindFileItemWFiltersInTheFilesEncoding) {
    const std::string ansi = "PRICE = 5 \x80\r\nCITY = Troms\xF8\r\n";
    const std::string utf8 = kMark + "PRICE = 5 \xE2\x82\xAC\r\nCITY = " + kShop + "\r\n";
    struct Row {
        const std::string* bytes;
        const wchar_t* name;
        const wchar_t* filter;
        int result;
    } const rows[] = {
        {&ansi, L"PRICE", L"5 \u20ac", 1}, {&ansi, L"CITY", L"\u00f8", 1},  {&ansi, L"CITY", L"o", 1},
        {&ansi, L"PRICE", L"\u00f8", 0},   {&utf8, L"PRICE", L"\u20ac", 1}, {&utf8, L"CITY", L"\u0437\u0438", 1},
        {&utf8, L"CITY", L"\u00f8", 0},    {&utf8, L"CITY", L"", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.name) + " / " + Utf8(row.filter) + (row.bytes == &ansi ? " (ANSI)" : " (UTF-8)"));
        const std::wstring path = File(*row.bytes);
        EXPECT_EQ(FindFileItemW(path.c_str(), row.name, row.filter), row.result);
    }
}

TEST_F(ItemTwins, LongValuesStayInTheBuffer) {
    // As the A export: the value of a line cut by the 399-byte line buffer
    // runs to the end of its piece.
    const std::wstring ansi = File("LONG = " + std::string(500, 'v') + "\r\n");
    std::wstring value;
    EXPECT_EQ(CallW(Op::Get, ansi, L"LONG", nullptr, &value), 1);
    EXPECT_EQ(value, std::wstring(399 - 7, L'v'));

    // 300 Cyrillic letters take 600 bytes: whatever piece comes back fits.
    std::string letters;
    for (int i = 0; i < 300; ++i) letters += "\xD0\x96";
    const std::wstring utf8 = File(kMark + "LONG = " + letters + "\r\n");
    EXPECT_EQ(CallW(Op::Get, utf8, L"LONG", nullptr, &value), 1);
    EXPECT_LT(value.size(), kValueUnits);
    EXPECT_EQ(value.find_first_not_of(L'\u0416'), std::wstring::npos) << Utf8(value);
}

TEST_F(ItemTwins, GetAllItemNamesWReadsTheFilesEncoding) {
    struct Row {
        const char* label;
        std::string bytes;
        int count;
        std::wstring names;
    } const rows[] = {
        {"ANSI", "CAF\xC9 = 1\r\nno item\r\nPRICE\x80 = 2\r\n", 2, L"CAF\u00c9&PRICE\u20ac&"},
        {"UTF-8", kMark + "\xD0\x98\xD0\x9C\xD0\xAF = 1\r\n" + kStore + " = 2\r\n" + kCard + "=3\r\n", 3,
         L"\u0418\u041c\u042f&\u5e97\u8217&\U0001F4B3&"},
        {"UTF-8, lines of names only", kMark + "a=\n" + kCard + "=\n=\n", 3,
         L"a&\U0001F4B3&&"},
        {"empty", "", 0, L""},
        {"the mark alone", kMark, 0, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::wstring path = File(row.bytes);
        // The file's size in bytes and 1 suffices; nothing behind it is touched.
        const std::size_t size = row.bytes.size() + 1;
        std::vector<wchar_t> names(size + kTail, L'#');
        EXPECT_EQ(GetAllItemNamesW(path.c_str(), names.data()), row.count);
        EXPECT_EQ(std::wstring(names.data()), row.names);
        EXPECT_EQ(std::wstring(names.data() + size, kTail), std::wstring(kTail, L'#')) << "written past the buffer";
    }
}

TEST_F(ItemTwins, GetUserNameWReadsTheFilesEncoding) {
    struct Row {
        const char* label;
        std::string bytes;
        std::wstring user;
    } const rows[] = {
        {"ANSI", "Jos\xE9:x:0\r\nroot:x:1\r\n", L"Jos\u00e9"},
        {"UTF-8", kMark + "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD:x\r\n", L"\u0418\u0432\u0430\u043d"},
        {"UTF-8, a surrogate pair", kMark + kCard + ":x\r\n", L"\U0001F4B3"},
        {"UTF-8, no colon", kMark + "nobody\r\n", L""},
        {"the mark alone", kMark, L""},
        {"ANSI, 78 characters", std::string(78, 'u') + ":x\r\n", std::wstring(78, L'u')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::wstring path = File(row.bytes, L"passwd");
        wchar_t user[80 + kTail];
        std::wmemset(user, L'#', 80 + kTail);
        EXPECT_EQ(_GetUserNameW(path.c_str(), user), 1);
        EXPECT_EQ(std::wstring(user), row.user);
    }
    // A first line of 100 Cyrillic letters (200 bytes) before the colon:
    // whatever comes back stays within the 80 units.
    std::string letters;
    for (int i = 0; i < 100; ++i) letters += "\xD0\x96";
    const std::wstring path = File(kMark + letters + ":x\r\n", L"passwd");
    wchar_t user[80 + kTail];
    std::wmemset(user, L'#', 80 + kTail);
    EXPECT_EQ(_GetUserNameW(path.c_str(), user), 1);
    EXPECT_NE(std::wmemchr(user, L'\0', 80), nullptr);
    EXPECT_EQ(std::wstring(user + 80, kTail), std::wstring(kTail, L'#')) << "written past 80 units";
}

// ---- What the twins write -----------------------------------------------------

TEST_F(ItemTwins, TwinsWriteTheFilesEncodingExactly) {
    struct Row {
        const char* label;
        std::string before;
        Op op;
        std::wstring name;
        const wchar_t* argument;
        int result;
        std::string after;
    } const rows[] = {
        {"ANSI: the euro sign is byte 0x80", "PRICE = 4\r\n", Op::Set, L"PRICE", L"5 \u20ac", 1, "PRICE =5 \x80\r\n"},
        {"ANSI: o with stroke and e acute", "CITY = x\r\n", Op::Set, L"CITY", L"Troms\u00f8 \u00e9", 1,
         "CITY =Troms\xF8 \xE9\r\n"},
        {"ANSI: a new name in the code page", "A = 1\r\n", Op::Set, L"CAF\u00c9", L"ja", 1,
         "A = 1\r\n\r\nCAF\xC9=ja\r\n"},
        {"ANSI: add", "A = 1\r\n", Op::Add, L"STRASSE", L"Hauptstra\u00dfe", 1,
         "A = 1\r\n\r\nSTRASSE = Hauptstra\xDF" "e\r\n"},
        {"ANSI: a new file is ANSI", kNoFile, Op::Add, L"CAF\u00c9", L"5 \u20ac", 1, "\r\nCAF\xC9 = 5 \x80\r\n"},
        {"ANSI: delete by a code page filter", "CAF\xC9 = \x80 1\r\nCAF\xC9 = 2\r\n", Op::Delete, L"CAF\u00c9", L"\u20ac",
         1, "CAF\xC9 = 2\r\n"},
        {"ANSI: substitute", "CITY = M\xFCnchen\r\n", Op::Substitute, L"\u00fc", L"ue", 1, "CITY = Muenchen\r\n"},
        {"ANSI: UTF-8 bytes without the mark are code page text", "CITY = M\xC3\xBCnchen\r\n", Op::Substitute,
         L"\u00c3\u00bc", L"\u00fc", 1, "CITY = M\xFCnchen\r\n"},
        {"UTF-8: Cyrillic, Japanese and a surrogate pair", kMark + "STADT = x\r\n", Op::Set, L"STADT",
         L"\u041c\u0430\u0433\u0430\u0437\u0438\u043d \u5e97\u8217 \U0001F4B3", 1,
         kMark + "STADT =" + kShop + " " + kStore + " " + kCard + "\r\n"},
        {"UTF-8: a new name", kMark + "A = 1\r\n", Op::Set, L"\u5e97\u8217", L"\U0001F4B3", 1,
         kMark + "A = 1\r\n\r\n" + kStore + "=" + kCard + "\r\n"},
        {"UTF-8: e acute as UTF-8", kMark + "A = 1\r\n", Op::Add, L"\u0418\u041c\u042f", L"\u00e9", 1,
         kMark + "A = 1\r\n\r\n\xD0\x98\xD0\x9C\xD0\xAF = \xC3\xA9\r\n"},
        {"UTF-8: the euro sign as UTF-8", kMark + "PRICE = 4\r\n", Op::Set, L"PRICE", L"5 \u20ac", 1,
         kMark + "PRICE =5 \xE2\x82\xAC\r\n"},
        {"UTF-8: delete by a filter", kMark + "N = \xD0\x96\r\nN = \xD0\x97\r\n", Op::Delete, L"N", L"\u0416", 1,
         kMark + "N = \xD0\x97\r\n"},
        {"UTF-8: substitute", kMark + kShop + " " + kStore + "\r\n", Op::Substitute, L"\u5e97\u8217", L"\U0001F4B3", 1,
         kMark + kShop + " " + kCard + "\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::wstring path = File(row.before);
        ErrCapture capture;
        EXPECT_EQ(CallW(row.op, path, row.name.c_str(), row.argument), row.result);
        EXPECT_EQ(ReadBytes(path), row.after);
        EXPECT_EQ(capture.Err(), "");
        EXPECT_EQ(FilesInFolder(), (std::set<std::wstring>{L"items.ini"})) << "no sibling is left beside the file";
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// A text that the file's encoding cannot hold exactly: no best fit ("A" for
// U+0100), no "?" for what is missing, no lone surrogate. A query or a
// deletion finds nothing; an edit that would write it fails with its line.
TEST_F(ItemTwins, TextsTheEncodingCannotHoldAreNeitherFoundNorWritten) {
    enum class Line { None, Ansi, Surrogate };
    // "?" and "A" stand where a "?" or a best fit would land.
    const std::string ansi = "A = ?1\r\n? = 2\r\n";
    const std::string utf8 = kMark + "A = 1\r\n? = 2\r\n";
    struct Row {
        const char* label;
        std::string before;
        Op op;
        std::wstring name;
        const wchar_t* argument;
        int result;
        Line line;
        // A search text that is absent leaves the bytes as Substitute does,
        // which rewrites the file all the same.
        bool rewritten = false;
    } const rows[] = {
        {"ANSI: find a Cyrillic name", ansi, Op::Find, L"\u0416", nullptr, 0, Line::None},
        {"ANSI: find a name that fits best as A", ansi, Op::Find, L"\u0100", nullptr, 0, Line::None},
        {"ANSI: find with a Cyrillic filter", ansi, Op::Find, L"A", L"\u0416", 0, Line::None},
        {"ANSI: get a Japanese name", ansi, Op::Get, L"\u5e97", nullptr, 0, Line::None},
        {"ANSI: get a fullwidth A", ansi, Op::Get, L"\uff21", nullptr, 0, Line::None},
        {"ANSI: get a surrogate pair", ansi, Op::Get, L"\U0001F4B3", nullptr, 0, Line::None},
        {"ANSI: delete a Cyrillic name", ansi, Op::Delete, L"\u0416", nullptr, 0, Line::None},
        {"ANSI: delete a name that fits best as A", ansi, Op::Delete, L"\u0100", nullptr, 0, Line::None},
        {"ANSI: delete with a Cyrillic filter", ansi, Op::Delete, L"A", L"\u0416", 0, Line::None},
        {"ANSI: substitute a Cyrillic text", ansi, Op::Substitute, L"\u0416", L"x", 1, Line::None},
        {"ANSI: substitute a text that fits best as A", ansi, Op::Substitute, L"\u0100", L"x", 1, Line::None},
        {"ANSI: set a Cyrillic value", ansi, Op::Set, L"A", L"\u041c\u0430\u0433\u0430\u0437\u0438\u043d", 0,
         Line::Ansi},
        {"ANSI: set a value that fits best as A", ansi, Op::Set, L"A", L"\u0100", 0, Line::Ansi},
        {"ANSI: set a Cyrillic name", ansi, Op::Set, L"\u0416", L"1", 0, Line::Ansi},
        {"ANSI: set a lone surrogate", ansi, Op::Set, L"A", L"a\xD800" L"b", 0, Line::Ansi},
        {"ANSI: add a surrogate pair", ansi, Op::Add, L"A", L"\U0001F4B3", 0, Line::Ansi},
        {"ANSI: add a Japanese name", ansi, Op::Add, L"\u5e97", L"1", 0, Line::Ansi},
        {"ANSI: a new file is not made", kNoFile, Op::Add, L"A", L"\u0416", 0, Line::Ansi},
        {"ANSI: substitute by a Cyrillic text", ansi, Op::Substitute, L"A", L"\u0416", 0, Line::Ansi},
        {"ANSI: a search text that is absent writes nothing", ansi, Op::Substitute, L"Z", L"\u0416", 1, Line::None,
         true},
        {"UTF-8: set a lone high surrogate", utf8, Op::Set, L"A", L"a\xD800" L"b", 0, Line::Surrogate},
        {"UTF-8: set a name of a lone low surrogate", utf8, Op::Set, L"\xDC00", L"1", 0, Line::Surrogate},
        {"UTF-8: set a pair in the wrong order", utf8, Op::Set, L"A", L"\xDC00\xD800", 0, Line::Surrogate},
        {"UTF-8: add a lone surrogate", utf8, Op::Add, L"A", L"\xD800", 0, Line::Surrogate},
        {"UTF-8: add a name ending in a high surrogate", utf8, Op::Add, L"x\xDBFF", L"1", 0, Line::Surrogate},
        {"UTF-8: substitute by a lone surrogate", utf8, Op::Substitute, L"A", L"\xDC00x", 0, Line::Surrogate},
        {"UTF-8: substitute a lone surrogate", utf8, Op::Substitute, L"\xD800", L"x", 1, Line::None},
        {"UTF-8: find a lone surrogate", utf8, Op::Find, L"\xD800", nullptr, 0, Line::None},
        {"UTF-8: find with a lone surrogate filter", utf8, Op::Find, L"A", L"\xDC00", 0, Line::None},
        {"UTF-8: get a lone surrogate", utf8, Op::Get, L"\xDFFF", nullptr, 0, Line::None},
        {"UTF-8: delete a lone surrogate", utf8, Op::Delete, L"\xD800", nullptr, 0, Line::None},
        {"UTF-8: delete with a lone surrogate filter", utf8, Op::Delete, L"A", L"\xD800", 0, Line::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::wstring path = File(row.before);
        const bool exists = row.before != kNoFile;
        if (exists) DateBack(path);
        const FILETIME written = exists ? LastWrite(path) : FILETIME{};
        ErrCapture capture;
        EXPECT_EQ(CallW(row.op, path, row.name.c_str(), row.argument), row.result);
        EXPECT_EQ(ReadBytes(path), row.before) << "the file stays as it was";
        if (exists && !row.rewritten) {
            EXPECT_TRUE(LastWrite(path) == written) << "the file was rewritten";
        }
        const std::string start = "File " + Utf8(path) + " left unchanged: ";
        EXPECT_EQ(capture.Err(), row.line == Line::Ansi
                                     ? start + "the ANSI code page cannot hold the text given exactly.\n"
                                 : row.line == Line::Surrogate
                                     ? start + "the text given holds a lone surrogate, which UTF-8 cannot hold.\n"
                                     : "");
        EXPECT_EQ(FilesInFolder(), exists ? std::set<std::wstring>{L"items.ini"} : std::set<std::wstring>{});
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// ---- Paths in any language -------------------------------------------------------

// Names, values and the file's own name in Cyrillic, Japanese and a
// surrogate pair, through every twin on a marked file: each step's exact
// bytes, and the texts back as they were given.
TEST_F(ItemTwins, RoundTripsInAnyLanguage) {
    const std::string names[] = {"PLAIN", kShop, kStore, kCard};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::wstring wideName = Wide(name);
        const std::wstring path = File(kMark + "FIRST = 1\r\n", wideName + L" " + Wide(kCard) + L".ini");
        const std::string value1 = name + " 1 " + kShop, value2 = name + " 2 " + kStore;
        std::string expected = kMark + "FIRST = 1\r\n\r\n" + name + " = " + value1 + "\r\n";
        EXPECT_EQ(AddFileItemW(path.c_str(), wideName.c_str(), Wide(value1).c_str()), 1);
        EXPECT_EQ(ReadBytes(path), expected);
        std::wstring value;
        EXPECT_EQ(CallW(Op::Get, path, wideName.c_str(), nullptr, &value), 1);
        EXPECT_EQ(Utf8(value), value1);

        EXPECT_EQ(SetFileItemW(path.c_str(), wideName.c_str(), Wide(value2).c_str()), 1);
        expected = kMark + "FIRST = 1\r\n\r\n" + name + " =" + value2 + "\r\n";
        EXPECT_EQ(ReadBytes(path), expected);
        EXPECT_EQ(FindFileItemW(path.c_str(), wideName.c_str(), Wide(kStore).c_str()), 1);
        EXPECT_EQ(FindFileItemW(path.c_str(), wideName.c_str(), L" 1 "), 0) << "the old value is gone";

        wchar_t all[256];
        EXPECT_EQ(GetAllItemNamesW(path.c_str(), all), 2);
        EXPECT_EQ(Utf8(all), "FIRST&" + name + "&");

        EXPECT_EQ(SubstituteW(path.c_str(), Wide(kStore).c_str(), Wide(kCard).c_str()), 1);
        expected = kMark + "FIRST = 1\r\n\r\n" + name + " =" + name + " 2 " + kCard + "\r\n";
        if (name == kStore) expected = kMark + "FIRST = 1\r\n\r\n" + kCard + " =" + kCard + " 2 " + kCard + "\r\n";
        EXPECT_EQ(ReadBytes(path), expected);

        const std::wstring copy = folder_ + L"\\" + wideName + L" copy.ini";
        EXPECT_EQ(AppendFileW(path.c_str(), copy.c_str()), 1);
        EXPECT_EQ(ReadBytes(copy), expected);

        const std::wstring nameNow = name == kStore ? Wide(kCard) : wideName;
        EXPECT_EQ(DeleteFileItemW(path.c_str(), nameNow.c_str(), nullptr), 1);
        EXPECT_EQ(ReadBytes(path), kMark + "FIRST = 1\r\n\r\n");
        DeleteFileW(copy.c_str());
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// AppendFileW converts paths only: the content goes over as AppendFile
// copies it, the mark and every other byte included.
TEST_F(ItemTwins, AppendFileWCopiesAsAppendFileDoes) {
    const std::string source = kMark + "x\0y\r\n\x1a" "after\n"s + kShop + "\nlast";
    const std::string destination = "start\x1a\xE9";
    const std::wstring plainSource = Wide(scratch_.Path("source.txt"));
    const std::wstring plainDestination = Wide(scratch_.Path("destination.txt"));
    WriteBytes(plainSource, source);
    WriteBytes(plainDestination, destination);
    ASSERT_EQ(AppendFile(Utf8(plainSource).c_str(), Utf8(plainDestination).c_str()), 1);
    const std::string byA = ReadBytes(plainDestination);
    EXPECT_EQ(byA, destination + kMark + "x\0y\r\n\x1a" "after\r\n"s + kShop + "\r\nlast");

    const std::wstring wideSource = File(source, L"\u0418\u0441\u0442\u043e\u0447\u043d\u0438\u043a.txt");
    const std::wstring wideDestination = File(destination, L"\u5e97\u8217 \U0001F4B3.txt");
    EXPECT_EQ(AppendFileW(wideSource.c_str(), wideDestination.c_str()), 1);
    EXPECT_EQ(ReadBytes(wideDestination), byA);
    EXPECT_EQ(ReadBytes(wideSource), source);

    const std::wstring created = folder_ + L"\\\u041d\u043e\u0432\u044b\u0439.txt";
    EXPECT_EQ(AppendFileW(wideSource.c_str(), created.c_str()), 1);
    EXPECT_EQ(ReadBytes(created), byA.substr(destination.size())) << "a missing destination is created";

    ErrCapture capture;
    EXPECT_EQ(AppendFileW(wideDestination.c_str(), wideDestination.c_str()), 0);
    EXPECT_EQ(capture.Err(), "Could not append file " + Utf8(wideDestination) + " to itself (" +
                                 Utf8(wideDestination) + ").\n");
    EXPECT_EQ(ReadBytes(wideDestination), byA);
}

// The twins' lines show the path as the caller gave it, in UTF-8; the A
// exports' lines show their bytes (code page 1252 here).
TEST_F(ItemTwins, FailureLinesShowThePathAsGiven) {
    const std::wstring missing = folder_ + L"\\\u041d\u0435\u0442 \u5e97 \U0001F4B3.ini";
    const std::string line = "Could not open file " + Utf8(missing) + " for reading.\n";
    const Op failing[] = {Op::Find, Op::Get, Op::Set, Op::Delete, Op::Substitute};
    for (Op op : failing) {
        SCOPED_TRACE(OpName(op));
        ErrCapture capture;
        EXPECT_EQ(CallW(op, missing, L"A", L"1"), 0);
        EXPECT_EQ(capture.Err(), line);
        EXPECT_FALSE(wextest::FileExists(missing));
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
    {
        wchar_t names[16] = L"stale";
        ErrCapture capture;
        EXPECT_EQ(GetAllItemNamesW(missing.c_str(), names), 0);
        EXPECT_EQ(capture.Err(), line);
        EXPECT_STREQ(names, L"");
    }
    EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{Utf8(missing), "Could not open file"}}));
    boxes_.Clear();
    {
        wchar_t user[80] = L"stale";
        ErrCapture capture;
        EXPECT_EQ(_GetUserNameW(missing.c_str(), user), 0);
        EXPECT_EQ(capture.Err(), "Could not open passwd file " + Utf8(missing) + " for reading.\n");
        EXPECT_STREQ(user, L"stale");
    }
    {
        const std::wstring existing = File("A = 1\r\n");
        ErrCapture capture;
        EXPECT_EQ(AppendFileW(missing.c_str(), existing.c_str()), 0);
        EXPECT_EQ(capture.Err(), line);
        EXPECT_EQ(ReadBytes(existing), "A = 1\r\n");
    }
    {
        const std::string ansiMissing = scratch_.Path("Caf\xE9.ini");
        ErrCapture capture;
        EXPECT_EQ(GetFileItem(ansiMissing.c_str(), "A", nullptr), 0);
        EXPECT_EQ(GetFileItemW(Wide(scratch_.Path("Caf\xC3\xA9.ini")).c_str(), L"A", nullptr), 0);
        EXPECT_EQ(capture.Err(), "Could not open file " + ansiMissing + " for reading.\n" + "Could not open file " +
                                     scratch_.Path("Caf\xC3\xA9.ini") + " for reading.\n");
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// Paths past MAX_PATH (260 characters), given without "\\?\": the twins
// reach them all the same.
TEST_F(ItemTwins, PathsLongerThanMaxPath) {
    const std::wstring longFolder = folder_ + L"\\" + std::wstring(120, L'\u0434') + L"\\" + std::wstring(120, L'\u5e97');
    const std::wstring extended = L"\\\\?\\" + longFolder;
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder_ + L"\\" + std::wstring(120, L'\u0434')).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(extended.c_str(), nullptr));
    const std::wstring path = longFolder + L"\\items.ini";
    ASSERT_GT(path.size(), 260u);
    const std::wstring seen = L"\\\\?\\" + path;

    EXPECT_EQ(AddFileItemW(path.c_str(), L"A", L"\u20ac"), 1);
    EXPECT_EQ(ReadBytes(seen), "\r\nA = \x80\r\n");
    EXPECT_EQ(SetFileItemW(path.c_str(), L"A", L"\u00e9"), 1);
    EXPECT_EQ(ReadBytes(seen), "\r\nA =\xE9\r\n");
    std::wstring value;
    EXPECT_EQ(CallW(Op::Get, path, L"A", nullptr, &value), 1);
    EXPECT_EQ(value, L"\u00e9");
    EXPECT_EQ(FindFileItemW(path.c_str(), L"A", L"\u00e9"), 1);
    EXPECT_EQ(SubstituteW(path.c_str(), L"\u00e9", L"\u00f8"), 1);
    EXPECT_EQ(ReadBytes(seen), "\r\nA =\xF8\r\n");
    const std::wstring copy = longFolder + L"\\copy.ini";
    EXPECT_EQ(AppendFileW(path.c_str(), copy.c_str()), 1);
    EXPECT_EQ(ReadBytes(L"\\\\?\\" + copy), "\r\nA =\xF8\r\n");
    EXPECT_EQ(DeleteFileItemW(path.c_str(), L"A", nullptr), 1);
    EXPECT_EQ(ReadBytes(seen), "\r\n");
    wextest::RemoveTree(L"\\\\?\\" + folder_ + L"\\" + std::wstring(120, L'\u0434'));
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(ItemTwins, NullArgumentsFailWithoutACrash) {
    const std::wstring path = File("A = 1\r\n");
    const wchar_t* p = path.c_str();
    wchar_t buffer[400] = L"stale";
    struct Row {
        const char* label;
        int result;
    } const rows[] = {
        {"FindFileItemW path", FindFileItemW(nullptr, L"A", nullptr)},
        {"FindFileItemW name", FindFileItemW(p, nullptr, nullptr)},
        {"GetFileItemW path", GetFileItemW(nullptr, L"A", buffer)},
        {"GetFileItemW name", GetFileItemW(p, nullptr, buffer)},
        {"GetAllItemNamesW names", GetAllItemNamesW(p, nullptr)},
        {"_GetUserNameW path", _GetUserNameW(nullptr, buffer)},
        {"_GetUserNameW user", _GetUserNameW(p, nullptr)},
        {"SetFileItemW path", SetFileItemW(nullptr, L"A", L"1")},
        {"SetFileItemW name", SetFileItemW(p, nullptr, L"1")},
        {"SetFileItemW value", SetFileItemW(p, L"A", nullptr)},
        {"AddFileItemW name", AddFileItemW(p, nullptr, L"1")},
        {"AddFileItemW value", AddFileItemW(p, L"A", nullptr)},
        {"DeleteFileItemW name", DeleteFileItemW(p, nullptr, nullptr)},
        {"SubstituteW search", SubstituteW(p, nullptr, L"x")},
        {"SubstituteW replacement", SubstituteW(p, L"A", nullptr)},
        {"SubstituteW empty search", SubstituteW(p, L"", L"x")},
        {"AppendFileW source", AppendFileW(nullptr, p)},
        {"AppendFileW destination", AppendFileW(p, nullptr)},
    };
    for (const Row& row : rows) EXPECT_EQ(row.result, 0) << row.label;
    EXPECT_STREQ(buffer, L"stale");
    EXPECT_EQ(GetAllItemNamesW(nullptr, buffer), 0);
    EXPECT_STREQ(buffer, L"") << "the names buffer holds the empty text after every failure";
    EXPECT_EQ(ReadBytes(path), "A = 1\r\n");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

}  // namespace
