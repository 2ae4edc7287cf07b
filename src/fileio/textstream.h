// The platform's text mode, done by the library itself: on reading, CR LF
// becomes one newline and a lone CR stays; on writing, every newline becomes
// CR LF. Unlike the C runtime's text mode, a Ctrl-Z (0x1A) is an ordinary byte
// and a NUL never ends a piece: every byte of a file is seen and written back.
// Free of the platform, so that it is also built and fuzzed natively.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace wex::fileio {

// Text files are byte files. One that starts with the UTF-8 byte-order mark
// holds UTF-8 text, and the mark is no part of its first line; every other
// file holds the ANSI code page.
enum class FileEncoding { Ansi, Utf8 };
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// A caller's text as each kind of file holds it: nothing for an encoding
// that cannot hold it exactly.
class FileText {
public:
    // The same bytes in either file: an A export's text.
    FileText(std::string_view bytes) : ansi_(bytes), utf8_(bytes) {}
    FileText(const char* bytes) : FileText(std::string_view(bytes)) {}
    FileText(std::optional<std::string> ansi, std::optional<std::string> utf8)
        : ansi_(std::move(ansi)), utf8_(std::move(utf8)) {}

    const std::optional<std::string>& In(FileEncoding encoding) const {
        return encoding == FileEncoding::Utf8 ? utf8_ : ansi_;
    }

private:
    std::optional<std::string> ansi_, utf8_;
};

// Why an edit left a file as it was.
enum class EditRefusal {
    LoneCr,             // a dropped line would take bytes of a line after it
    NotInAnsiCodePage,  // the text to write has no exact form in the ANSI code page
    NotInUtf8,          // the text to write holds a lone surrogate
    NothingToChange,    // what the edit looks for cannot occur in the file
};
EditRefusal CannotHold(FileEncoding encoding);

// Where the raw bytes come from: fills at most size bytes and returns how many
// it stored, 0 at the end, or -1 after a read error.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::ptrdiff_t Read(char* into, std::size_t size) = 0;
    // A source that holds all the bytes still to come in memory may lend
    // them instead: their buffer, which the reader may change, and their
    // size. Read then gives only the end or the read error that followed.
    virtual char* Lend(std::size_t& size) {
        size = 0;
        return nullptr;
    }
};

// Where the raw bytes go: false when they could not all be written.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const char* bytes, std::size_t size) = 0;
};

// Reads a text-mode stream in pieces the way fgets with a buffer of
// maxPiece + 1 bytes does: at most maxPiece characters, ending after a
// newline when one comes first. The raw bytes are taken in large blocks, or
// all at once from a source that lends them; a piece that lies whole in the
// block is handed out where it lies (its CR LF made one newline in place).
class TextPieceReader {
public:
    TextPieceReader(ByteSource& source, std::size_t maxPiece);

    // The next piece, or false at the end of the stream (or after a read
    // error). The view stays valid until the next call.
    bool Next(std::string_view& piece);

    // True when a read error ended the stream early.
    bool Failed() const { return failed_; }

    // Passes over the raw bytes before the line in which needle next occurs
    // (to the end when it occurs no more) and gives them in passed, as the
    // source holds them: where the source lent all its bytes and the reader
    // stands at the start of a line. A needle with a CR or LF, or an empty
    // one, is never passed to. False, with nothing passed, where the reader
    // cannot skip; the pieces it gives afterwards are the same either way.
    bool SkipToLineOf(std::string_view needle, std::string_view& passed);

    // Before the first piece: passes over mark when the stream starts with
    // it, and says whether it did.
    bool TakeMark(std::string_view mark);

private:
    // Makes at least one unread byte available; false at the end.
    bool Fill();

    // The block's own buffer, once the reader reads into it.
    char* OwnBlock();

    ByteSource& source_;
    std::size_t maxPiece_;
    std::unique_ptr<char[]> own_;
    char* block_ = nullptr;  // own_, or the bytes the source lent
    std::size_t capacity_ = 0;
    std::size_t at_ = 0, end_ = 0;
    std::unique_ptr<char[]> piece_;
    bool askedToLend_ = false;
    bool lent_ = false;         // block_ holds all the bytes that are left
    bool atLineStart_ = true;
    bool atEnd_ = false;
    bool failed_ = false;
};

// Writes text with every newline as CR LF, through one block buffer of
// kWriteBlockSize bytes; long stretches of unchanged text go to the sink
// as they stand (WriteRaw).
class TextWriter {
public:
    explicit TextWriter(ByteSink& sink);
    ~TextWriter() = default;
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void Write(std::string_view text);
    // Writes bytes that a text file held (from the start of a line) as the
    // text mode writes what it read from them: a CR goes before every LF
    // that has none, all else is written as it stands.
    void WriteRaw(std::string_view raw);
    // Hands everything buffered to the sink; false when any write failed.
    bool Flush();
    bool Failed() const { return failed_; }

private:
    void Put(const char* bytes, std::size_t size);

    ByteSink& sink_;
    std::unique_ptr<char[]> block_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

// Raw blocks are read this large from a source that does not lend its bytes.
constexpr std::size_t kTextBlockSize = 64 * 1024;
constexpr std::size_t kWriteBlockSize = 64 * 1024;

// An edit of a text file's content, fed its pieces in order.
class PieceEdit {
public:
    virtual ~PieceEdit() = default;
    // Called once, before the first piece, with the file's encoding. False
    // refuses the whole edit.
    virtual bool Begin(FileEncoding) { return true; }
    // Writes what replaces the piece. False refuses the whole edit: the file
    // is then left as it was.
    virtual bool Piece(std::string_view piece, TextWriter& out) = 0;
    // Writes what follows the last piece.
    virtual void End(TextWriter&) {}
    // A text that every piece the edit changes contains, or nothing: the
    // pieces without it may go by unseen, written as they are.
    virtual std::string_view Needle() const { return {}; }
    // Why the edit refused, once it has.
    virtual EditRefusal Refusal() const { return EditRefusal::LoneCr; }
};

// Passes over a UTF-8 mark at the start of the stream: the file's encoding.
FileEncoding TakeEncoding(TextPieceReader& pieces);

// Feeds the reader's pieces to edit and its output to out, passing over the
// lines that cannot hold the edit's needle where the reader can. A UTF-8 mark
// at the start is written first, as it stands, and tells the edit the file's
// encoding. False when the edit refused.
bool ApplyEdit(TextPieceReader& pieces, PieceEdit& edit, TextWriter& out);

// A source over bytes in memory (tests, fuzzing).
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::ptrdiff_t Read(char* into, std::size_t size) override;

private:
    std::string_view bytes_;
};

}  // namespace wex::fileio
