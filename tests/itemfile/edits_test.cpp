// Item file edits through the real DLL: exact bytes on disk, results, error
// lines, and no temporary file left in the root of the drive on any path.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "boxes.h"
#include "capture.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

struct EditRow {
    const char* before;
    const char* name;
    const char* argument;  // value, filter or replacement
    int result;
    const char* after;
};

using wextest::ReadBytes;
using wextest::WriteBytes;

class ItemEdits : public testing::Test {
protected:
    // The C runtime names its temporary files in the root of the current drive.
    void SetUp() override { rootBefore_ = wextest::FilesIn("C:"); }
    void TearDown() override {
        EXPECT_EQ(wextest::FilesIn("C:"), rootBefore_) << "a temporary file was left behind";
        EXPECT_TRUE(boxes_.Boxes().empty()) << "no edit shows a message box";
    }

    std::string File(const std::string& bytes, const char* name = "items.ini") {
        std::string path = scratch_.Path(name);
        WriteBytes(path, bytes);
        return path;
    }

    // Each row: a fresh file with the bytes before, one edit, the bytes after.
    template <class Row, size_t N>
    void CheckEdits(int(WEXCALL* edit)(const char*, const char*, const char*), const Row (&rows)[N]) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string("before '") + row.before + "', '" + row.name + "', '" +
                         (row.argument ? row.argument : "(null)") + "'");
            std::string path = File(row.before);
            EXPECT_EQ(edit(path.c_str(), row.name, row.argument), row.result);
            EXPECT_EQ(ReadBytes(path), row.after);
        }
    }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::set<std::string> rootBefore_;
};

TEST_F(ItemEdits, SetFileItemRewritesEveryItemLineOrAppends) {
    const EditRow rows[] = {
        {"PORT = 80\n", "PORT", "81", 1, "PORT =81\r\n"},
        {"  PORT=80\r\n", "PORT", "81", 1, "  PORT=81\r\n"},
        {"OLD_PORT = 1\r\nX = 2\r\nPORT = 3\r\n", "PORT", "81", 1, "OLD_PORT =81\r\nX = 2\r\nPORT =81\r\n"},
        {"X = 1\r\n", "PORT", "81", 1, "X = 1\r\n\r\nPORT=81\r\n"},
        {"", "PORT", "81", 1, "\r\nPORT=81\r\n"},
        {"X = 1", "PORT", "81", 1, "X = 1\r\nPORT=81\r\n"},
        {"PORT = 80\r\n", "PORT", "100%d", 1, "PORT =100%d\r\n"},
        {"PORT = 80\r\n", "PORT", "", 1, "PORT =\r\n"},
        {"KEY ={\r\nbody = x\r\n}\r\n", "KEY", "{", 1, "KEY ={\r\nbody = x\r\n}\r\n"},
    };
    CheckEdits(SetFileItem, rows);
}

TEST_F(ItemEdits, DeleteFileItemDropsMatchingItemLinesOnly) {
    const EditRow rows[] = {
        {"A = 1\r\nA = 2\r\n", "A", "1", 1, "A = 2\r\n"},
        {"A = 1\r\nA = 2\r\n", "A", nullptr, 2, ""},
        {"A = 1\r\nA = 2\r\n", "A", "=", 2, ""},
        {"A = 1\r\nA = 2\r\n", "A", "", 2, ""},
        {"A = 1\nB = 2\n", "C", nullptr, 0, "A = 1\r\nB = 2\r\n"},
        {"K ={\r\nbody\r\n}\r\nX = 1\r\n", "K", nullptr, 1, "body\r\n}\r\nX = 1\r\n"},
        {"OLD_A = 1\r\nA = 1\r\n", "A", "1", 2, ""},
    };
    CheckEdits(DeleteFileItem, rows);
}

TEST_F(ItemEdits, SubstituteReplacesWithoutRescanning) {
    const EditRow rows[] = {
        {"abab\n", "ab", "b", 1, "bb\r\n"},
        {"aaa\r\n", "aa", "X", 1, "Xa\r\n"},
        {"aa\r\n", "a", "aa", 1, "aaaa\r\n"},
        {"", "a", "b", 1, ""},
        {"path=C:\\old\\x\r\nold\r\n", "old", "new%s", 1, "path=C:\\new%s\\x\r\nnew%s\r\n"},
        {"keep\r\n", "keep", "", 1, "\r\n"},
    };
    CheckEdits(Substitute, rows);
}

TEST_F(ItemEdits, OverLongLineSurvivesInPieces) {
    // The first piece ends after 399 characters: an occurrence that straddles
    // the cut stays, one that lies inside the second piece is replaced.
    std::string line = std::string(398, 'a') + "XY" + "bbXYcc";
    std::string path = File(line + "\n");
    EXPECT_EQ(Substitute(path.c_str(), "XY", "-"), 1);
    EXPECT_EQ(ReadBytes(path), std::string(398, 'a') + "XY" + "bb-cc\r\n");

    // An item line longer than the buffer: only the piece with the name is
    // rewritten; the rest stays as a line of its own.
    path = File("NAME = " + std::string(500, 'v') + "\r\nZ = 1\r\n");
    EXPECT_EQ(SetFileItem(path.c_str(), "NAME", "short"), 1);
    EXPECT_EQ(ReadBytes(path), "NAME =short\r\n" + std::string(500 - (399 - 7), 'v') + "\r\nZ = 1\r\n");
}

TEST_F(ItemEdits, AddFileItemAppendsWithoutLooking) {
    std::string path = scratch_.Path("new.ini");
    EXPECT_EQ(AddFileItem(path.c_str(), "PORT", "81"), 1);
    EXPECT_EQ(ReadBytes(path), "\r\nPORT = 81\r\n");
    EXPECT_EQ(AddFileItem(path.c_str(), "PORT", "9%s"), 1);
    EXPECT_EQ(ReadBytes(path), "\r\nPORT = 81\r\n\r\nPORT = 9%s\r\n");
    char value[400] = "";
    EXPECT_EQ(GetFileItem(path.c_str(), "PORT", value), 1);
    EXPECT_STREQ(value, "81");
}

TEST_F(ItemEdits, AppendFileAddsTheSourceAfterTheLastByte) {
    std::string source = File("one\r\ntwo", "source.txt");
    std::string destination = scratch_.Path("destination.txt");
    EXPECT_EQ(AppendFile(source.c_str(), destination.c_str()), 1);
    EXPECT_EQ(ReadBytes(destination), "one\r\ntwo");
    EXPECT_EQ(AppendFile(source.c_str(), destination.c_str()), 1);
    EXPECT_EQ(ReadBytes(destination), "one\r\ntwoone\r\ntwo");
    EXPECT_EQ(ReadBytes(source), "one\r\ntwo");

    std::string longLine = std::string(1000, 'L') + "\n";
    source = File(longLine, "long.txt");
    destination = File("", "long-copy.txt");
    EXPECT_EQ(AppendFile(source.c_str(), destination.c_str()), 1);
    EXPECT_EQ(ReadBytes(destination), std::string(1000, 'L') + "\r\n");
}

TEST_F(ItemEdits, FailuresReportTheirLineAndTouchNothing) {
    std::string missing = scratch_.Path("missing.ini");
    std::string readLine = "Could not open file " + missing + " for reading.\n";
    std::string existing = File("A = 1\r\n");
    {
        wextest::StdCapture capture;
        EXPECT_EQ(SetFileItem(missing.c_str(), "A", "2"), 0);
        EXPECT_EQ(DeleteFileItem(missing.c_str(), "A", nullptr), 0);
        EXPECT_EQ(Substitute(missing.c_str(), "A", "B"), 0);
        EXPECT_EQ(capture.Err(), readLine + readLine + readLine);
    }
    EXPECT_FALSE(wextest::FileExists(missing));

    {
        wextest::StdCapture capture;
        EXPECT_EQ(AppendFile(missing.c_str(), existing.c_str()), 0);
        EXPECT_EQ(capture.Err(), readLine);
    }
    EXPECT_EQ(ReadBytes(existing), "A = 1\r\n");

    // A destination that cannot be opened for appending: a directory.
    {
        wextest::StdCapture capture;
        EXPECT_EQ(AppendFile(existing.c_str(), scratch_.Root().c_str()), 0);
        EXPECT_EQ(capture.Err(), "could not open file " + scratch_.Root() + " for reading .\n");
    }
    {
        wextest::StdCapture capture;
        EXPECT_EQ(AddFileItem(scratch_.Root().c_str(), "A", "1"), 0);
        EXPECT_EQ(capture.Err(), "Could not open file " + scratch_.Root() + " for reading.\n");
    }
}

// A target that another process holds open (here a reader that lets others
// read only) cannot be replaced: the replace is retried for a while, then
// the edit fails with its line and the target keeps its content.
TEST_F(ItemEdits, LockedTargetIsNotReplacedAndTheEditFails) {
    std::string path = File("A = 1\r\n");
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    {
        wextest::StdCapture capture;
        EXPECT_EQ(SetFileItem(path.c_str(), "A", "2"), 0);
        EXPECT_EQ(DeleteFileItem(path.c_str(), "A", nullptr), 0);
        EXPECT_EQ(Substitute(path.c_str(), "A", "B"), 0);
        const std::string line = "File " + path + " left unchanged: it could not be replaced.\n";
        EXPECT_EQ(capture.Err(), line + line + line);
    }
    CloseHandle(lock);
    EXPECT_EQ(ReadBytes(path), "A = 1\r\n");
}

// Bytes that the C runtime's text mode loses (NUL, Ctrl-Z) and files whose
// lines end in a lone CR. Every row holds exact bytes before and after.
struct HostileRow {
    const char* label;
    std::string before;
    int (WEXCALL* edit)(const char*, const char*, const char*);
    const char* name;
    const char* argument;
    int result;
    std::string after;
    bool refusedLine = false;  // the "left unchanged" line on standard error
};

TEST_F(ItemEdits, EveryByteThatAnEditDoesNotChangeIsKept) {
    using namespace std::string_literals;
    const std::string nul = "A = 1\r\nB = x\0y\r\nPORT = 80\0tail\r\nC\0D = 2\r\nE = 5\r\n"s;
    const std::string ctrlZ = "A = 1\r\n\x1a" "B = 2\r\nPORT = 80\r\nE = 5\r\n";
    const std::string lone = "A = 1\rPORT = 80\rB = 2\rE = 5\r";
    const HostileRow rows[] = {
        {"NUL: set", nul, SetFileItem, "PORT", "81", 1, "A = 1\r\nB = x\0y\r\nPORT =81\r\nC\0D = 2\r\nE = 5\r\n"s},
        {"NUL: delete", nul, DeleteFileItem, "PORT", nullptr, 1, "A = 1\r\nB = x\0y\r\nC\0D = 2\r\nE = 5\r\n"s},
        {"NUL: a name after a NUL", nul, DeleteFileItem, "D", nullptr, 1,
         "A = 1\r\nB = x\0y\r\nPORT = 80\0tail\r\nE = 5\r\n"s},
        {"NUL: substitute", nul, Substitute, "tail", "end", 1,
         "A = 1\r\nB = x\0y\r\nPORT = 80\0end\r\nC\0D = 2\r\nE = 5\r\n"s},
        {"Ctrl-Z: set", ctrlZ, SetFileItem, "PORT", "81", 1, "A = 1\r\n\x1a" "B = 2\r\nPORT =81\r\nE = 5\r\n"},
        {"Ctrl-Z: delete", ctrlZ, DeleteFileItem, "E", nullptr, 1, "A = 1\r\n\x1a" "B = 2\r\nPORT = 80\r\n"},
        {"Ctrl-Z: substitute", ctrlZ, Substitute, "2", "3", 1, "A = 1\r\n\x1a" "B = 3\r\nPORT = 80\r\nE = 5\r\n"},
        {"lone CR: delete refused", lone, DeleteFileItem, "PORT", nullptr, 0, lone, true},
        {"lone CR: set refused", lone, SetFileItem, "PORT", "81", 0, lone, true},
        {"lone CR: substitute drops nothing", lone, Substitute, "80", "81", 1, "A = 1\rPORT = 81\rB = 2\rE = 5\r"},
        {"lone CR in the kept text before the name", "A\rPORT = 80\r\n", SetFileItem, "PORT", "81", 1,
         "A\rPORT =81\r\n"},
        {"stray CR at the end of the old value", "PORT = 80\r\r\nX = 1\r\n", SetFileItem, "PORT", "81", 1,
         "PORT =81\r\nX = 1\r\n"},
    };
    for (const HostileRow& row : rows) {
        SCOPED_TRACE(row.label);
        std::string path = File(row.before);
        wextest::StdCapture capture;
        EXPECT_EQ(row.edit(path.c_str(), row.name, row.argument), row.result);
        EXPECT_EQ(ReadBytes(path), row.after);
        EXPECT_EQ(capture.Err(), row.refusedLine ? "File " + path +
                                                       " left unchanged: the edit would remove a line that ends in "
                                                       "a lone carriage return.\n"
                                                 : "");
        EXPECT_EQ(wextest::FilesIn(scratch_.Root()), (std::set<std::string>{"items.ini"}))
            << "no sibling is left beside the target";
    }
}

TEST_F(ItemEdits, BinaryNoiseSurvivesARewrite) {
    // Only the text mode's line ends change: a bare LF gains its CR.
    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < (1 << 20); ++i) {
        state = state * 1103515245u + 12345u;
        noise.push_back(static_cast<char>(state >> 23));
    }
    std::string expected;
    for (std::size_t i = 0; i < noise.size(); ++i) {
        if (noise[i] == '\n' && (i == 0 || noise[i - 1] != '\r')) expected.push_back('\r');
        expected.push_back(noise[i]);
    }
    std::string path = File(noise);
    EXPECT_EQ(Substitute(path.c_str(), "no such text in it at all", "x"), 1);
    EXPECT_TRUE(ReadBytes(path) == expected) << "the rewritten noise differs";
}

TEST_F(ItemEdits, AddedItemAfterCtrlZIsReadable) {
    std::string path = File("A = 1\r\n\x1a");
    EXPECT_EQ(AddFileItem(path.c_str(), "PORT", "81"), 1);
    EXPECT_EQ(ReadBytes(path), "A = 1\r\n\x1a\r\nPORT = 81\r\n");
    char value[400] = "";
    EXPECT_EQ(GetFileItem(path.c_str(), "PORT", value), 1);
    EXPECT_STREQ(value, "81");
}

TEST_F(ItemEdits, AppendFileKeepsEveryByteAndRefusesItself) {
    using namespace std::string_literals;
    std::string source = File("x\0y\r\n\x1a" "after\nlast"s, "source.txt");
    std::string destination = File("start\x1a", "destination.txt");
    EXPECT_EQ(AppendFile(source.c_str(), destination.c_str()), 1);
    EXPECT_EQ(ReadBytes(destination), "start\x1ax\0y\r\n\x1a" "after\r\nlast"s);

    const std::string before = ReadBytes(destination);
    const std::string sameFile = scratch_.Root() + "\\.\\destination.txt";
    for (const std::string& spelling : {destination, sameFile}) {
        SCOPED_TRACE(spelling);
        wextest::StdCapture capture;
        EXPECT_EQ(AppendFile(destination.c_str(), spelling.c_str()), 0);
        EXPECT_EQ(capture.Err(), "Could not append file " + destination + " to itself (" + spelling + ").\n");
        EXPECT_EQ(ReadBytes(destination), before);
    }
}

TEST_F(ItemEdits, RewriteKeepsTheTargetsAttributes) {
    std::string path = File("A = 1\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(SetFileItem(path.c_str(), "A", "2"), 1);
    EXPECT_EQ(ReadBytes(path), "A =2\r\n");
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Ended rewrites leave siblings named after the target, ".wexlib-new-" and
// a number (an older version of the library left one fixed name, read-only
// at times): the next rewrite of the target removes them all, but a live
// writer's sibling, which is open, stays, and the rewrite takes the next
// free name beside it.
TEST_F(ItemEdits, SiblingsOfEndedRewritesAreRemovedAndALiveOneStays) {
    std::string path = File("A = 1\r\n");
    WriteBytes(path + ".wexlib-new", "half of an old rewrite");
    SetFileAttributesA((path + ".wexlib-new").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(path + ".wexlib-new-2", "half of another");
    WriteBytes(path + ".wexlib-new-7", "");
    const std::string live = path + ".wexlib-new-1";
    HANDLE writer = CreateFileA(live.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    WriteBytes(scratch_.Path("other.ini.wexlib-new-1"), "another target's");
    EXPECT_EQ(SetFileItem(path.c_str(), "A", "2"), 1);
    EXPECT_EQ(ReadBytes(path), "A =2\r\n");
    EXPECT_EQ(wextest::FilesIn(scratch_.Root()),
              (std::set<std::string>{"items.ini", "items.ini.wexlib-new-1", "other.ini.wexlib-new-1"}));
    CloseHandle(writer);
    // The live writer has ended without putting its content in place.
    EXPECT_EQ(DeleteFileItem(path.c_str(), "A", nullptr), 1);
    EXPECT_EQ(ReadBytes(path), "");
    EXPECT_EQ(wextest::FilesIn(scratch_.Root()), (std::set<std::string>{"items.ini", "other.ini.wexlib-new-1"}));
}

TEST_F(ItemEdits, BadArgumentsFailAndLeaveTheFile) {
    std::string path = File("A = 1\r\n");
    EXPECT_EQ(SetFileItem(nullptr, "A", "1"), 0);
    EXPECT_EQ(SetFileItem(path.c_str(), nullptr, "1"), 0);
    EXPECT_EQ(SetFileItem(path.c_str(), "A", nullptr), 0);
    EXPECT_EQ(AddFileItem(path.c_str(), nullptr, "1"), 0);
    EXPECT_EQ(AddFileItem(path.c_str(), "A", nullptr), 0);
    EXPECT_EQ(DeleteFileItem(path.c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(Substitute(path.c_str(), nullptr, "x"), 0);
    EXPECT_EQ(Substitute(path.c_str(), "A", nullptr), 0);
    EXPECT_EQ(Substitute(path.c_str(), "", "x"), 0);
    EXPECT_EQ(AppendFile(nullptr, path.c_str()), 0);
    EXPECT_EQ(AppendFile(path.c_str(), nullptr), 0);
    EXPECT_EQ(ReadBytes(path), "A = 1\r\n");
}

}  // namespace
