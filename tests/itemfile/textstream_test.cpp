// The library's own text mode: how raw bytes become pieces and how pieces
// become bytes again. Built natively under the sanitizers, and for Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frame/copyout.h"
#include "itemfile/itemline.h"
#include "itemfile/itemtext.h"
#include "fileio/textstream.h"

namespace {

using namespace wex::itemfile;
using namespace wex::fileio;
using namespace std::string_literals;

// Hands out at most `step` bytes a read, so that CR LF pairs and pieces fall
// across the reader's block edges.
class TrickleSource : public ByteSource {
public:
    TrickleSource(std::string bytes, std::size_t step) : bytes_(std::move(bytes)), step_(step) {}
    std::ptrdiff_t Read(char* into, std::size_t size) override {
        const std::size_t take = std::min({size, step_, bytes_.size() - at_});
        std::memcpy(into, bytes_.data() + at_, take);
        at_ += take;
        return static_cast<std::ptrdiff_t>(take);
    }

private:
    std::string bytes_;
    std::size_t step_;
    std::size_t at_ = 0;
};

class StringSink : public ByteSink {
public:
    bool Write(const char* bytes, std::size_t size) override {
        if (failAfter_ == 0) return false;
        --failAfter_;
        text.append(bytes, size);
        return true;
    }
    std::string text;
    int failAfter_ = 1 << 30;
};

// Lends all its bytes at once, as a whole file read into memory is lent;
// then the end, or a read error.
class LendingSource : public ByteSource {
public:
    explicit LendingSource(std::string bytes, bool failAtEnd = false)
        : bytes_(std::move(bytes)), failAtEnd_(failAtEnd) {}
    std::ptrdiff_t Read(char*, std::size_t) override { return failAtEnd_ ? -1 : 0; }
    char* Lend(std::size_t& size) override {
        size = lent_ ? 0 : bytes_.size();
        lent_ = true;
        return size ? &bytes_[0] : nullptr;
    }

private:
    std::string bytes_;
    bool failAtEnd_;
    bool lent_ = false;
};

std::vector<std::string> Pieces(ByteSource& source, std::size_t maxPiece) {
    TextPieceReader reader(source, maxPiece);
    std::vector<std::string> pieces;
    for (std::string_view piece; reader.Next(piece);) pieces.emplace_back(piece);
    return pieces;
}

using Strings = std::vector<std::string>;

TEST(TextPieceReader, TextModeWithoutTheCtrlZStop) {
    struct Row {
        const char* label;
        std::string bytes;
        std::size_t maxPiece;
        Strings pieces;
    } rows[] = {
        {"CR LF reads as one newline", "A = 1\r\nB = 2\r\n", 399, {"A = 1\n", "B = 2\n"}},
        {"bare newlines", "A\nB", 399, {"A\n", "B"}},
        {"a lone CR stays inside its line", "a\rb\r\n", 399, {"a\rb\n"}},
        {"CR CR LF: a lone CR, then a newline", "x\r\r\ny", 399, {"x\r\n", "y"}},
        {"a CR at the very end stays", "x\r", 399, {"x\r"}},
        {"Ctrl-Z is an ordinary byte", "A\r\n\x1a" "B\r\nC\x1a\r\n", 399, {"A\n", "\x1a" "B\n", "C\x1a\n"}},
        {"NUL is an ordinary byte", "x\0y\r\n\0\0\r\n"s, 399, {"x\0y\n"s, "\0\0\n"s}},
        {"pieces of at most the limit", "abcdefg\r\n", 3, {"abc", "def", "g\n"}},
        {"CR LF right after a full piece", "abc\r\ndef", 3, {"abc", "\n", "def"}},
        {"CR LF counts as one character", "ab\r\ncd", 3, {"ab\n", "cd"}},
        {"empty file", "", 399, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        for (std::size_t step : {std::size_t{1}, std::size_t{2}, std::size_t{1} << 20}) {
            SCOPED_TRACE(step);
            TrickleSource source(row.bytes, step);
            EXPECT_EQ(Pieces(source, row.maxPiece), row.pieces);
        }
        LendingSource lent(row.bytes);
        EXPECT_EQ(Pieces(lent, row.maxPiece), row.pieces) << "lent at once";
    }
}

TEST(TextPieceReader, CrLfAcrossTheReadersBlockEdge) {
    // The block holds 64 KiB: its last byte is a CR whose LF comes with the
    // next read, once as CR LF and once as a lone CR.
    const std::string lead(kTextBlockSize - 1, 'a');
    for (const std::string& tail : {"\r\nz"s, "\rz"s}) {
        const std::string bytes = lead + tail;
        MemorySource source(bytes);
        std::string joined;
        for (const std::string& piece : Pieces(source, 399)) joined += piece;
        EXPECT_EQ(joined, lead + (tail[1] == '\n' ? "\nz" : "\rz"));
    }
}

TEST(TextPieceReader, ReadErrorEndsTheStreamAndIsReported) {
    class FailingSource : public ByteSource {
    public:
        std::ptrdiff_t Read(char* into, std::size_t) override {
            if (calls_++ > 0) return -1;
            std::memcpy(into, "A = 1\r\nB", 8);
            return 8;
        }
        int calls_ = 0;
    } source;
    TextPieceReader reader(source, 399);
    std::string_view piece;
    ASSERT_TRUE(reader.Next(piece));
    EXPECT_EQ(piece, "A = 1\n");
    ASSERT_TRUE(reader.Next(piece));
    EXPECT_EQ(piece, "B");
    EXPECT_FALSE(reader.Next(piece));
    EXPECT_TRUE(reader.Failed());
}

// Passing over lines: the reader skips to the line of the needle's next
// occurrence where it holds the whole file, and the writer writes the lines
// passed as the text mode writes what it read from them. The output is the
// same as piece by piece, byte for byte.
TEST(ApplyEdit, PassingOverLinesWritesWhatPieceByPieceWrites) {
    struct Row {
        const char* label;
        std::string bytes;
        const char* search;
        std::string written;
    } rows[] = {
        {"CR LF lines pass as they stand", "A = 1\r\nB = 2\r\nX = 3\r\nC\r\n", "X", "A = 1\r\nB = 2\r\nY = 3\r\nC\r\n"},
        {"LF lines gain their CR", "a\nb\r\nc\nX\n", "X", "a\r\nb\r\nc\r\nY\r\n"},
        {"an empty LF line first", "\n\nX", "X", "\r\n\r\nY"},
        {"lone CRs stay, CR CR LF keeps one", "a\rb\r\r\nX\r", "X", "a\rb\r\r\nY\r"},
        {"no occurrence: everything passes", "a\nb\r\nc", "X", "a\r\nb\r\nc"},
        {"NUL and Ctrl-Z pass", "a\0\x1a\nX\n"s, "X", "a\0\x1a\r\nY\r\n"s},
        {"a needle with a newline is never passed to", "a\nb\n", "a\n", "Yb\r\n"},
        // The occurrence in the line's second piece, and one that straddles
        // the first piece's end: only the whole pieces are searched.
        {"long line", std::string(398, 'p') + "X" + "Xq\n", "X", std::string(398, 'p') + "Y" + "Yq\r\n"},
        {"straddling the cut stays", std::string(398, 'p') + "XX\nXX\n", "XX",
         std::string(398, 'p') + "XX\r\nY\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        for (bool lend : {false, true}) {
            SCOPED_TRACE(lend ? "lent" : "read");
            TrickleSource read(row.bytes, 3);
            LendingSource lent(row.bytes);
            TextPieceReader pieces(lend ? static_cast<ByteSource&>(lent) : read, 399);
            SubstituteEdit edit(row.search, "Y");
            StringSink sink;
            TextWriter out(sink);
            ASSERT_TRUE(ApplyEdit(pieces, edit, out));
            ASSERT_TRUE(out.Flush());
            EXPECT_EQ(sink.text, row.written);
        }
    }
}

TEST(ApplyEdit, QueriesFindTheSameLinesWhenTheyPassOverOthers) {
    const std::string bytes = "XA_ = 1\r\nA\r\nB = 2\nA_X A = 3\r\nA = 4\r\n";
    for (bool lend : {false, true}) {
        SCOPED_TRACE(lend ? "lent" : "read");
        TrickleSource read(bytes, 5), readAgain(bytes, 5);
        LendingSource lent(bytes), lentAgain(bytes);
        TextPieceReader forValue(lend ? static_cast<ByteSource&>(lent) : read, 399);
        TextPieceReader forFind(lend ? static_cast<ByteSource&>(lentAgain) : readAgain, 399);
        EXPECT_EQ(ItemValueIn(forValue, "A"), std::optional<std::string>("4"));
        EXPECT_TRUE(FindItemIn(forFind, "B", "2"));
    }
    // A read error after lent bytes still shows.
    LendingSource failing("A = 1\r\n", true);
    TextPieceReader pieces(failing, 399);
    EXPECT_EQ(ItemValueIn(pieces, "Z"), std::nullopt);
    EXPECT_TRUE(pieces.Failed());
}

TEST(TextWriter, RawBytesAreWrittenAsTheTextModeWritesWhatItReadFromThem) {
    struct Row {
        std::string raw, written;
    } rows[] = {
        {"a\r\nb", "a\r\nb"},        {"a\nb", "a\r\nb"},   {"\n", "\r\n"}, {"a\r\r\nb\r", "a\r\r\nb\r"},
        {"\r\n\n\r", "\r\n\r\n\r"}, {"", ""},
        // A long stretch goes to the sink as it stands, after what was buffered.
        {std::string(kWriteBlockSize, 'x') + "\r\n", std::string(kWriteBlockSize, 'x') + "\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.raw.substr(0, 20));
        StringSink sink;
        TextWriter out(sink);
        out.Write("first\n");
        out.WriteRaw(row.raw);
        out.Write("last\n");
        ASSERT_TRUE(out.Flush());
        EXPECT_EQ(sink.text, "first\r\n" + row.written + "last\r\n");
    }
}

TEST(TextWriter, EveryNewlineBecomesCrLf) {
    StringSink sink;
    TextWriter out(sink);
    out.Write("a\nb\rc\0\n"s);
    out.Write(std::string(kTextBlockSize, 'x'));
    out.Write("\n");
    ASSERT_TRUE(out.Flush());
    EXPECT_EQ(sink.text, "a\r\nb\rc\0\r\n"s + std::string(kTextBlockSize, 'x') + "\r\n");

    StringSink failing;
    failing.failAfter_ = 0;
    TextWriter broken(failing);
    broken.Write("a\n");
    EXPECT_FALSE(broken.Flush());
    EXPECT_TRUE(broken.Failed());
}

// Each row: the raw bytes of a file, one edit, the raw bytes it writes (or
// refused: nothing may be written back).
struct EditRow {
    const char* label;
    std::string before;
    char edit;  // 'S' set, 'D' delete, 'R' replace
    const char* name;
    const char* argument;
    bool accepted;
    std::string after;
};

TEST(PieceEdits, EveryByteTheEditDoesNotChangeIsKept) {
    const std::string nul = "A = 1\r\nB = x\0y\r\nPORT = 80\0tail\r\nC\0D = 2\r\nE = 5\r\n"s;
    const std::string lone = "A = 1\rPORT = 80\rB = 2\rE = 5\r";
    const EditRow rows[] = {
        {"NUL bytes around the item", nul, 'S', "PORT", "81", true,
         "A = 1\r\nB = x\0y\r\nPORT =81\r\nC\0D = 2\r\nE = 5\r\n"s},
        {"NUL bytes: delete", nul, 'D', "PORT", "", true, "A = 1\r\nB = x\0y\r\nC\0D = 2\r\nE = 5\r\n"s},
        {"NUL bytes: replace", nul, 'R', "x", "X", true, "A = 1\r\nB = X\0y\r\nPORT = 80\0tail\r\nC\0D = 2\r\nE = 5\r\n"s},
        {"Ctrl-Z before the item", "A = 1\r\n\x1a" "B = 2\r\nPORT = 80\r\nE = 5\r\n", 'S', "PORT", "81", true,
         "A = 1\r\n\x1a" "B = 2\r\nPORT =81\r\nE = 5\r\n"},
        {"lone-CR lines: set refused", lone, 'S', "PORT", "81", false, ""},
        {"lone-CR lines: delete refused", lone, 'D', "PORT", "", false, ""},
        {"lone-CR lines: replace is no drop", lone, 'R', "80", "81", true, "A = 1\rPORT = 81\rB = 2\rE = 5\r"},
        {"a CR before the name stays with the kept text", "A\rPORT = 80\r\n", 'S', "PORT", "81", true,
         "A\rPORT =81\r\n"},
        {"a stray CR before CR LF goes with its value", "PORT = 80\r\r\nX = 1\r\n", 'S', "PORT", "81", true,
         "PORT =81\r\nX = 1\r\n"},
        {"a lone CR in a line that is not dropped", "A = 1\rB = 2\r\nPORT = 3\r\n", 'D', "PORT", "", true,
         "A = 1\rB = 2\r\n"},
    };
    for (const EditRow& row : rows) {
        SCOPED_TRACE(row.label);
        SetItemEdit set(row.name, row.argument);
        DeleteItemsEdit drop(row.name, row.argument);
        SubstituteEdit replace(row.name, row.argument);
        PieceEdit& edit = row.edit == 'S' ? static_cast<PieceEdit&>(set)
                          : row.edit == 'D' ? static_cast<PieceEdit&>(drop)
                                            : static_cast<PieceEdit&>(replace);
        MemorySource source(row.before);
        TextPieceReader pieces(source, 399);
        StringSink sink;
        TextWriter out(sink);
        const bool accepted = ApplyEdit(pieces, edit, out);
        EXPECT_EQ(accepted, row.accepted);
        if (accepted) {
            out.Flush();
            EXPECT_EQ(sink.text, row.after);
        }
    }
}

// Each row: a file's raw bytes, one edit whose texts the file's encoding may
// not hold (nothing in that encoding), and what the edit writes, or why it
// refuses (then nothing may be written back).
struct EncodedEditRow {
    const char* label;
    std::string before;
    char edit;  // 'S' set, 'D' delete, 'R' replace
    FileText name, argument;
    bool accepted;
    std::string after;
    EditRefusal refusal = EditRefusal::LoneCr;
};

TEST(PieceEdits, TheMarkStaysFirstAndEachFileGetsItsOwnEncoding) {
    const std::string mark = "\xEF\xBB\xBF";
    const std::string marked = mark + "PORT = 80\r\nNAME = x\r\n";
    const std::string plain = "PORT = 80\r\nNAME = x\r\n";
    // "é" as each kind of file holds it; none means the encoding cannot.
    const FileText eAcute("\xE9", "\xC3\xA9");
    const FileText onlyUtf8(std::nullopt, "\xD0\x9C");
    const FileText onlyAnsi("\x80", std::nullopt);
    const EncodedEditRow rows[] = {
        {"set the first line of a marked file", marked, 'S', "PORT", "81", true, mark + "PORT =81\r\nNAME = x\r\n"},
        {"the mark is no part of the first name", marked, 'D', "PORT", "", true, mark + "NAME = x\r\n"},
        {"a new item in a marked file", mark, 'S', "A", "1", true, mark + "\r\nA=1\r\n"},
        {"UTF-8 text into a marked file", marked, 'S', "NAME", eAcute, true, mark + "PORT = 80\r\nNAME =\xC3\xA9\r\n"},
        {"the code page's text into a plain file", plain, 'S', "NAME", eAcute, true, "PORT = 80\r\nNAME =\xE9\r\n"},
        {"a value the code page lacks", plain, 'S', "NAME", onlyUtf8, false, "",
         EditRefusal::NotInAnsiCodePage},
        {"a name the code page lacks", plain, 'S', onlyUtf8, "1", false, "", EditRefusal::NotInAnsiCodePage},
        {"a value UTF-8 cannot hold", marked, 'S', "NAME", onlyAnsi, false, "", EditRefusal::NotInUtf8},
        {"deleting a name the file cannot hold", plain, 'D', onlyUtf8, "", false, "",
         EditRefusal::NothingToChange},
        {"deleting with a filter the file cannot hold", marked, 'D', "NAME", onlyAnsi, false, "",
         EditRefusal::NothingToChange},
        {"replacing a text the file cannot hold", plain, 'R', onlyUtf8, "y", false, "",
         EditRefusal::NothingToChange},
        {"a replacement the file cannot hold, where the text occurs", plain, 'R', "x", onlyUtf8, false, "",
         EditRefusal::NotInAnsiCodePage},
        {"a replacement the file cannot hold, where it does not", plain, 'R', "zz", onlyUtf8, true, plain},
        {"a mark later in the file is text", "A = 1\r\n" + mark + "B = 2\r\n", 'S', "B", "3", true,
         "A = 1\r\n" + mark + "B =3\r\n"},
    };
    for (const EncodedEditRow& row : rows) {
        SCOPED_TRACE(row.label);
        SetItemEdit set(row.name, row.argument);
        DeleteItemsEdit drop(row.name, row.argument);
        SubstituteEdit replace(row.name, row.argument);
        PieceEdit& edit = row.edit == 'S' ? static_cast<PieceEdit&>(set)
                          : row.edit == 'D' ? static_cast<PieceEdit&>(drop)
                                            : static_cast<PieceEdit&>(replace);
        // A source that hands out its first bytes one at a time must give
        // the mark whole too.
        TrickleSource source(row.before, 1);
        TextPieceReader pieces(source, 399);
        StringSink sink;
        TextWriter out(sink);
        const bool accepted = ApplyEdit(pieces, edit, out);
        ASSERT_EQ(accepted, row.accepted);
        if (accepted) {
            out.Flush();
            EXPECT_EQ(sink.text, row.after);
        } else {
            EXPECT_EQ(edit.Refusal(), row.refusal);
        }
    }
}

TEST(PieceQueries, TheMarkIsPassedOverWhereverTheBytesComeFrom) {
    const std::string marked = "\xEF\xBB\xBFNAME = v\r\n";
    struct Row {
        const char* label;
        std::string bytes;
        FileEncoding encoding;
        std::string names;
    };
    const Row rows[] = {
        {"marked", marked, FileEncoding::Utf8, "NAME&"},
        {"only the mark", "\xEF\xBB\xBF", FileEncoding::Utf8, ""},
        {"two bytes of it", "\xEF\xBB", FileEncoding::Ansi, "\xEF\xBB"},
        {"plain", "NAME = v\r\n", FileEncoding::Ansi, "NAME&"},
        {"empty", "", FileEncoding::Ansi, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        for (int kind = 0; kind < 3; ++kind) {
            SCOPED_TRACE(kind);
            MemorySource whole(row.bytes);
            TrickleSource trickle(row.bytes, 1);
            LendingSource lending(row.bytes);
            ByteSource& source = kind == 0 ? static_cast<ByteSource&>(whole)
                                 : kind == 1 ? static_cast<ByteSource&>(trickle)
                                             : static_cast<ByteSource&>(lending);
            TextPieceReader pieces(source, 399);
            EXPECT_EQ(TakeEncoding(pieces), row.encoding);
            std::string names;
            for (std::string_view piece; pieces.Next(piece);) {
                std::string_view name;
                names += NameBeforeEquals(piece, name) ? std::string(name) + "&" : std::string(piece);
            }
            EXPECT_EQ(names, row.names);
        }
    }
}

TEST(PieceQueries, NulIsAnOrdinaryByte) {
    const std::string bytes = "A = 1\r\nB = x\0y\r\nPORT = 80\0tail\r\nC\0D = 2\r\nE = 5\r\n"s;
    MemorySource forValue(bytes);
    TextPieceReader valuePieces(forValue, 399);
    EXPECT_EQ(ItemValueIn(valuePieces, "PORT"), "80\0tail"s);
    MemorySource forNames(bytes);
    TextPieceReader namePieces(forNames, 399);
    ItemNames names = AllNamesIn(namePieces);
    EXPECT_EQ(names.count, 5);
    EXPECT_EQ(names.joined, "A&B&PORT&C\0D&E&"s);
    MemorySource forFind(bytes);
    TextPieceReader findPieces(forFind, 399);
    EXPECT_TRUE(FindItemIn(findPieces, "D", "2"));
}

TEST(CopyOut, BoundedAndSafeForEmptyTexts) {
    char out[8];
    std::memset(out, '#', sizeof out);
    wex::CopyOut(std::string_view(), out, sizeof out);  // a view with no storage at all
    EXPECT_EQ(out[0], '\0');
    wex::CopyOut("abcdefghij", out, 5);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(out[5], '#');
    wex::CopyOut("a\0b"s, out, sizeof out);
    EXPECT_EQ(std::string(out, 4), "a\0b\0"s);
}

// Only the bytes inside the capacity change: with none at all, not even the
// terminating zero is written (before the buffer or anywhere else).
TEST(CopyOut, WritesNothingOutsideTheCapacity) {
    struct Row {
        std::string_view text;
        std::size_t capacity;
        std::string written;
    } const rows[] = {
        {"abc", 0, ""},
        {std::string_view(), 0, ""},
        {"abc", 1, "\0"s},
        {"", 1, "\0"s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << '"' << row.text << "\" capacity " << row.capacity);
        char buffer[12];
        std::memset(buffer, '#', sizeof buffer);
        wex::CopyOut(row.text, buffer + 4, row.capacity);
        EXPECT_EQ(std::string(buffer, sizeof buffer),
                  std::string(4, '#') + row.written + std::string(8 - row.written.size(), '#'));
    }
}

}  // namespace
