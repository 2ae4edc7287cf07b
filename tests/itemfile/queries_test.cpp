// Item file queries through the real DLL, on real files.
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

class ItemQueries : public testing::Test {
protected:
    std::string File(const std::string& bytes, const char* name = "items.ini") {
        std::string path = scratch_.Path(name);
        WriteBytes(path, bytes);
        return path;
    }
    std::string Missing() const { return scratch_.Path("missing.ini"); }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
};

struct GetRow {
    const char* bytes;
    const char* name;
    int result;
    const char* value;
};

TEST_F(ItemQueries, GetFileItemTakesTheFirstItemLine) {
    const GetRow rows[] = {
        {"OLD_MERCHANT_ID = 7\r\nMERCHANT_ID = 8\r\n", "MERCHANT_ID", 1, "7"},
        {"MERCHANT_ID_X MERCHANT_ID = 5\r\n", "MERCHANT_ID", 0, nullptr},
        {"NAME\t= 5\r\nNAME   =5\r\n", "NAME", 1, "5"},
        {"A = NAME=3\r\n", "A", 1, "NAME=3"},
        {"NAME = value  \r\n", "NAME", 1, "value  "},
        {"NAME =\r\n", "NAME", 1, ""},
        {"X = 1\r\nNAME = abc", "NAME", 1, "abc"},
        {"NAME = first\nNAME = second\n", "NAME", 1, "first"},
        {"NAME = 100%d%s\r\n", "NAME", 1, "100%d%s"},
        {"", "NAME", 0, nullptr},
        {"name = lower\r\n", "NAME", 0, nullptr},
        {"  = x\r\n", "", 1, "x"},
        // A lone CR is kept by the text mode; only CR LF is a line end.
        {"NAME = a\rb\r\n", "NAME", 1, "a\rb"},
    };
    for (const GetRow& row : rows) {
        SCOPED_TRACE(row.bytes);
        std::string path = File(row.bytes);
        char value[400];
        std::memset(value, '#', sizeof value);
        value[sizeof value - 1] = '\0';
        ASSERT_EQ(GetFileItem(path.c_str(), row.name, value), row.result);
        if (row.value) EXPECT_STREQ(value, row.value);
        else EXPECT_EQ(std::string(value), std::string(399, '#')) << "buffer must stay untouched";
        EXPECT_EQ(GetFileItem(path.c_str(), row.name, nullptr), row.result);
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(ItemQueries, FindFileItemSearchesTheValuePartOfEveryItemLine) {
    std::string path = File("OTHER = abc\r\nNAME = abc\r\nNAME = second xyz\r\nNAME_NO = abc\r\n");
    struct Row {
        const char* name;
        const char* filter;
        int result;
    } rows[] = {
        {"NAME", nullptr, 1}, {"NAME", "", 1},        {"NAME", "abc", 1},     {"NAME", " ab", 1},
        {"NAME", "= abc", 0}, {"NAME", "xyz", 1},     {"NAME", "\n", 1},      {"NAME", "nothing", 0},
        {"MISSING", nullptr, 0}, {"OTHER", "abc", 1}, {"OTHER", "second", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " / " + (row.filter ? row.filter : "(null)"));
        EXPECT_EQ(FindFileItem(path.c_str(), row.name, row.filter), row.result);
    }
}

TEST_F(ItemQueries, OverLongLineIsReadInPieces) {
    // 450 characters, then the item: the second 399-character piece starts
    // mid-line and is examined as a line of its own.
    std::string path = File(std::string(450, 'x') + "NAME = x\r\n");
    char value[400] = "";
    EXPECT_EQ(GetFileItem(path.c_str(), "NAME", value), 1);
    EXPECT_STREQ(value, "x");
    EXPECT_EQ(FindFileItem(path.c_str(), "NAME", "x"), 1);

    // The value of an item line cut by the buffer runs to the end of its piece.
    std::string longValue(500, 'v');
    path = File("LONG = " + longValue + "\r\n");
    std::memset(value, 0, sizeof value);
    EXPECT_EQ(GetFileItem(path.c_str(), "LONG", value), 1);
    EXPECT_EQ(std::string(value), std::string(399 - 7, 'v'));
}

TEST_F(ItemQueries, GetAllItemNamesJoinsNamesWithAmpersands) {
    struct Row {
        const char* bytes;
        int count;
        const char* names;
    } rows[] = {
        {"A = 1\r\n  B=2\r\nno separator here\r\nC  = x=y\r\n", 3, "A&B&C&"},
        {"", 0, ""},
        {"A = 1\r\nA = 2\r\n= lone\r\n", 3, "A&A&&"},
        {"MERCHANT_PUBLIC_KEY ={\r\nQUJD==\r\n}\r\n", 2, "MERCHANT_PUBLIC_KEY&QUJD&"},
        {"x&y = 1\r\n", 1, "x&y&"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        std::string path = File(row.bytes);
        char names[256];
        std::memset(names, '#', sizeof names);
        EXPECT_EQ(GetAllItemNames(path.c_str(), names), row.count);
        EXPECT_STREQ(names, row.names);
    }
}

TEST_F(ItemQueries, GetUserNameReadsTheFirstField) {
    struct Row {
        const char* bytes;
        const char* user;
    } rows[] = {
        {"admin:x:0\r\nroot:x:1\r\n", "admin"},
        {"", ""},
        {"no colon here\r\n", ""},
        {":x\r\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        std::string path = File(row.bytes, "passwd");
        char user[80] = "stale";
        EXPECT_EQ(_GetUserName(path.c_str(), user), 1);
        EXPECT_STREQ(user, row.user);
    }
    // The colon must lie within the first 79 characters.
    char user[80] = "stale";
    std::string path = File(std::string(78, 'u') + ":x\r\n", "passwd");
    EXPECT_EQ(_GetUserName(path.c_str(), user), 1);
    EXPECT_EQ(std::string(user), std::string(78, 'u'));
    path = File(std::string(79, 'u') + ":x\r\n", "passwd");
    EXPECT_EQ(_GetUserName(path.c_str(), user), 1);
    EXPECT_STREQ(user, "");
}

// NUL and Ctrl-Z are ordinary bytes to the queries: no line is merged or
// lost, and the lines after a Ctrl-Z are seen.
TEST_F(ItemQueries, NulAndCtrlZAreOrdinaryBytes) {
    using namespace std::string_literals;
    std::string path = File("A = 1\r\nB = x\0y\r\nPORT = 80\0tail\r\nC\0D = 2\r\n\x1a" "E = 5\r\n"s);
    char value[400];
    std::memset(value, '#', sizeof value);
    EXPECT_EQ(GetFileItem(path.c_str(), "PORT", value), 1);
    EXPECT_EQ(std::string(value, 8), "80\0tail\0"s);
    EXPECT_EQ(GetFileItem(path.c_str(), "E", value), 1);
    EXPECT_STREQ(value, "5");
    EXPECT_EQ(FindFileItem(path.c_str(), "D", "2"), 1);
    EXPECT_EQ(FindFileItem(path.c_str(), "B", "xy"), 0) << "no match across a NUL";

    char names[256];
    std::memset(names, '#', sizeof names);
    EXPECT_EQ(GetAllItemNames(path.c_str(), names), 5);
    const std::string joined = "A&B&PORT&C\0D&\x1a" "E&\0"s;
    EXPECT_EQ(std::string(names, joined.size()), joined);
}

TEST_F(ItemQueries, EmptyResultsAreCopiedSafely) {
    char value[400];
    std::memset(value, '#', sizeof value);
    std::string path = File("X = 1\r\nNAME=");
    EXPECT_EQ(GetFileItem(path.c_str(), "NAME", value), 1);
    EXPECT_EQ(value[0], '\0');
    EXPECT_EQ(value[1], '#') << "only the terminating zero is written";

    char user[80];
    std::memset(user, '#', sizeof user);
    path = File("", "passwd");
    EXPECT_EQ(_GetUserName(path.c_str(), user), 1);
    EXPECT_EQ(user[0], '\0');
    EXPECT_EQ(user[1], '#');
}

TEST_F(ItemQueries, MissingFileReportsOnItsChannels) {
    std::string missing = Missing();
    const std::string line = "Could not open file " + missing + " for reading.\n";
    char buffer[400] = "untouched";
    {
        wextest::StdCapture capture;
        EXPECT_EQ(FindFileItem(missing.c_str(), "A", nullptr), 0);
        EXPECT_EQ(GetFileItem(missing.c_str(), "A", buffer), 0);
        EXPECT_EQ(capture.Err(), line + line);
        EXPECT_EQ(capture.Out(), "");
    }
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_TRUE(boxes_.Boxes().empty());

    {
        wextest::StdCapture capture;
        EXPECT_EQ(GetAllItemNames(missing.c_str(), buffer), 0);
        EXPECT_EQ(capture.Err(), line);
    }
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{missing, "Could not open file"}}));

    boxes_.Clear();
    std::strcpy(buffer, "untouched");
    {
        wextest::StdCapture capture;
        EXPECT_EQ(_GetUserName(missing.c_str(), buffer), 0);
        EXPECT_EQ(capture.Err(), "Could not open passwd file " + missing + " for reading.\n");
    }
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// A source whose reading breaks off half-way: a named pipe whose server
// writes some item lines and then disconnects, so that the reader's next
// read fails (a file on a failing disk or a lost network share does the
// same, which the tests cannot make).
class BrokenOffSource {
public:
    BrokenOffSource() {
        static int count = 0;
        name_ = "\\\\.\\pipe\\wextest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
        pipe_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1 << 16, 1 << 16,
                                 0, nullptr);
        if (pipe_ != INVALID_HANDLE_VALUE) server_ = CreateThread(nullptr, 0, Serve, this, 0, nullptr);
    }
    ~BrokenOffSource() {
        if (server_) {
            WaitForSingleObject(server_, 10000);
            CloseHandle(server_);
        }
        if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    }
    const std::string& Path() const { return name_; }
    bool Ready() const { return server_ != nullptr; }

private:
    static DWORD WINAPI Serve(void* self) {
        HANDLE pipe = static_cast<BrokenOffSource*>(self)->pipe_;
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 1;
        const std::string lines = "A = 1\r\nB = 2\r\nC = 3\r\n";
        DWORD written = 0;
        WriteFile(pipe, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
        FlushFileBuffers(pipe);  // until the reader has taken them
        DisconnectNamedPipe(pipe);
        return 0;
    }

    std::string name_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE server_ = nullptr;
};

// A read that fails half-way is a failure with its line, not a short file.
TEST_F(ItemQueries, ReadFailingHalfWayIsAFailure) {
    struct Row {
        const char* label;
        int (*query)(const char* path, char* buffer);
        int result;
        bool line;
    } rows[] = {
        {"GetFileItem of a missing item", [](const char* p, char* b) { return GetFileItem(p, "Z", b); }, 0, true},
        {"FindFileItem of a missing item", [](const char* p, char*) { return FindFileItem(p, "Z", nullptr); }, 0,
         true},
        {"GetAllItemNames", [](const char* p, char* b) { return GetAllItemNames(p, b); }, 0, true},
        // What was found before the failure is found.
        {"GetFileItem of an item read before", [](const char* p, char* b) { return GetFileItem(p, "B", b); }, 1,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        BrokenOffSource source;
        ASSERT_TRUE(source.Ready());
        char buffer[400] = "untouched";
        wextest::StdCapture capture;
        EXPECT_EQ(row.query(source.Path().c_str(), buffer), row.result);
        EXPECT_EQ(capture.Err(), row.line ? "Could not read file " + source.Path() + " to its end.\n" : "");
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(ItemQueries, PercentInThePathIsWrittenLiterally) {
    std::string missing = scratch_.Path("100%d%s.ini");
    wextest::StdCapture capture;
    EXPECT_EQ(GetFileItem(missing.c_str(), "A", nullptr), 0);
    EXPECT_EQ(capture.Err(), "Could not open file " + missing + " for reading.\n");
}

TEST_F(ItemQueries, NullArgumentsFailWithoutACrash) {
    std::string path = File("A = 1\r\n");
    char buffer[400] = "";
    EXPECT_EQ(FindFileItem(nullptr, "A", nullptr), 0);
    EXPECT_EQ(FindFileItem(path.c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(GetFileItem(nullptr, "A", buffer), 0);
    EXPECT_EQ(GetFileItem(path.c_str(), nullptr, buffer), 0);
    EXPECT_EQ(GetAllItemNames(path.c_str(), nullptr), 0);
    std::strcpy(buffer, "stale");
    EXPECT_EQ(GetAllItemNames(nullptr, buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(_GetUserName(nullptr, buffer), 0);
    EXPECT_EQ(_GetUserName(path.c_str(), nullptr), 0);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

}  // namespace
