#include "fileio/textstream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace wex::fileio {
namespace {

// The first c in [from, end), or null. A word at a time: the C runtime's
// memchr, which this library gets from the system's msvcrt, goes byte by
// byte under Wine.
const char* FindByte(const char* from, const char* end, char c) {
    constexpr std::size_t kOnes = ~std::size_t(0) / 255;
    constexpr std::size_t kHighs = kOnes * 128;
    const std::size_t pattern = kOnes * static_cast<unsigned char>(c);
    while (from < end && (reinterpret_cast<std::uintptr_t>(from) % sizeof(std::size_t)) != 0) {
        if (*from == c) return from;
        ++from;
    }
    for (; end - from >= static_cast<std::ptrdiff_t>(sizeof(std::size_t)); from += sizeof(std::size_t)) {
        std::size_t word;
        std::memcpy(&word, from, sizeof word);
        word ^= pattern;
        if ((word - kOnes) & ~word & kHighs) break;
    }
    for (; from < end; ++from)
        if (*from == c) return from;
    return nullptr;
}

}  // namespace

TextPieceReader::TextPieceReader(ByteSource& source, std::size_t maxPiece)
    : source_(source), maxPiece_(maxPiece), piece_(new char[maxPiece]) {}

char* TextPieceReader::OwnBlock() {
    lent_ = false;
    if (!own_) own_.reset(new char[kTextBlockSize]);
    block_ = own_.get();
    capacity_ = kTextBlockSize;
    return block_;
}

bool TextPieceReader::Fill() {
    if (at_ < end_) return true;
    if (atEnd_) return false;
    at_ = end_ = 0;
    if (!askedToLend_) {
        askedToLend_ = true;
        std::size_t size = 0;
        if (char* lent = source_.Lend(size); lent && size > 0) {
            block_ = lent;
            capacity_ = end_ = size;
            lent_ = true;
            return true;
        }
    }
    char* into = OwnBlock();
    const std::ptrdiff_t n = source_.Read(into, capacity_);
    if (n <= 0) {
        atEnd_ = true;
        failed_ = n < 0;
        return false;
    }
    end_ = static_cast<std::size_t>(n);
    return true;
}

bool TextPieceReader::Next(std::string_view& piece) {
    // A whole line in the block, with no CR in it but one right before its
    // newline, is the piece where it lies.
    if (Fill()) {
        char* from = block_ + at_;
        const std::size_t window = std::min(end_ - at_, maxPiece_ + 1);
        if (const char* newline = FindByte(from, from + window, '\n')) {
            const std::size_t at = static_cast<std::size_t>(newline - from);
            const bool crLf = at > 0 && from[at - 1] == '\r';
            const std::size_t plain = crLf ? at - 1 : at;
            if ((crLf ? at <= maxPiece_ : at < maxPiece_) && !FindByte(from, from + plain, '\r')) {
                if (crLf) from[at - 1] = '\n';
                piece = std::string_view(from, crLf ? at : at + 1);
                at_ += at + 1;
                atLineStart_ = true;
                return true;
            }
        }
    }
    std::size_t length = 0;
    while (length < maxPiece_ && Fill()) {
        const char* from = block_ + at_;
        const std::size_t room = std::min(end_ - at_, maxPiece_ - length);
        const char* newline = FindByte(from, from + room, '\n');
        const std::size_t span = newline ? static_cast<std::size_t>(newline - from) : room;
        const char* cr = FindByte(from, from + span, '\r');
        if (!cr) {
            // Plain bytes up to the newline (taken along) or the room's end.
            const std::size_t take = newline ? span + 1 : span;
            std::memcpy(piece_.get() + length, from, take);
            length += take;
            at_ += take;
            if (newline) break;
            continue;
        }
        const std::size_t plain = static_cast<std::size_t>(cr - from);
        std::memcpy(piece_.get() + length, from, plain);
        length += plain;
        at_ += plain + 1;
        // A CR followed by LF reads as one newline; any other CR stays. The
        // byte after it may lie in the next block.
        if (at_ == end_) {
            OwnBlock()[0] = '\r';
            end_ = 1;
            at_ = 1;
            const std::ptrdiff_t n = atEnd_ ? 0 : source_.Read(block_ + 1, capacity_ - 1);
            if (n < 0) failed_ = true;
            if (n <= 0) atEnd_ = true;
            else end_ += static_cast<std::size_t>(n);
        }
        if (at_ < end_ && block_[at_] == '\n') {
            ++at_;
            piece_[length++] = '\n';
            break;
        }
        piece_[length++] = '\r';
    }
    if (length == 0) return false;
    piece = std::string_view(piece_.get(), length);
    atLineStart_ = piece.back() == '\n';
    return true;
}

bool TextPieceReader::SkipToLineOf(std::string_view needle, std::string_view& passed) {
    passed = std::string_view();
    if (!atLineStart_ || needle.empty() || needle.find_first_of("\r\n") != std::string_view::npos) return false;
    if (!Fill() || !lent_) return false;
    const char* from = block_ + at_;
    const std::string_view rest(from, end_ - at_);
    const auto hit =
        std::search(rest.begin(), rest.end(), std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    std::size_t lineStart = rest.size();
    if (hit != rest.end()) {
        lineStart = static_cast<std::size_t>(hit - rest.begin());
        while (lineStart > 0 && rest[lineStart - 1] != '\n') --lineStart;
    }
    passed = rest.substr(0, lineStart);
    at_ += lineStart;
    return true;
}

bool TextPieceReader::TakeMark(std::string_view mark) {
    if (!Fill()) return false;
    // A source that reads a few bytes at a time may not have handed out the
    // whole mark yet.
    while (end_ - at_ < mark.size() && !lent_ && !atEnd_ && at_ == 0 &&
           mark.substr(0, end_) == std::string_view(block_, end_)) {
        const std::ptrdiff_t n = source_.Read(block_ + end_, capacity_ - end_);
        if (n < 0) failed_ = true;
        if (n <= 0) atEnd_ = true;
        else end_ += static_cast<std::size_t>(n);
    }
    if (std::string_view(block_ + at_, std::min(end_ - at_, mark.size())) != mark) return false;
    at_ += mark.size();
    return true;
}

EditRefusal CannotHold(FileEncoding encoding) {
    return encoding == FileEncoding::Utf8 ? EditRefusal::NotInUtf8 : EditRefusal::NotInAnsiCodePage;
}

FileEncoding TakeEncoding(TextPieceReader& pieces) {
    return pieces.TakeMark(kUtf8Mark) ? FileEncoding::Utf8 : FileEncoding::Ansi;
}

bool ApplyEdit(TextPieceReader& pieces, PieceEdit& edit, TextWriter& out) {
    const FileEncoding encoding = TakeEncoding(pieces);
    if (encoding == FileEncoding::Utf8) out.WriteRaw(kUtf8Mark);
    if (!edit.Begin(encoding)) return false;
    const std::string_view needle = edit.Needle();
    for (std::string_view passed, piece;;) {
        if (pieces.SkipToLineOf(needle, passed)) out.WriteRaw(passed);
        if (!pieces.Next(piece)) break;
        if (!edit.Piece(piece, out)) return false;
    }
    edit.End(out);
    return true;
}

TextWriter::TextWriter(ByteSink& sink) : sink_(sink), block_(new char[kWriteBlockSize]) {}

void TextWriter::Put(const char* bytes, std::size_t size) {
    while (size > 0) {
        if (used_ == kWriteBlockSize) Flush();
        const std::size_t take = std::min(size, kWriteBlockSize - used_);
        std::memcpy(block_.get() + used_, bytes, take);
        used_ += take;
        bytes += take;
        size -= take;
    }
}

void TextWriter::Write(std::string_view text) {
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) {
            Put(text.data(), text.size());
            return;
        }
        Put(text.data(), newline);
        Put("\r\n", 2);
        text.remove_prefix(newline + 1);
    }
}

void TextWriter::WriteRaw(std::string_view raw) {
    if (raw.empty()) return;
    std::size_t run = 0;
    for (std::size_t at = 0;; ++at) {
        const char* newline = FindByte(raw.data() + at, raw.data() + raw.size(), '\n');
        if (!newline) break;
        at = static_cast<std::size_t>(newline - raw.data());
        if (at > 0 && raw[at - 1] == '\r') continue;
        Put(raw.data() + run, at - run);
        Put("\r", 1);
        run = at;
    }
    const std::size_t rest = raw.size() - run;
    // A long stretch that needs no CR goes to the sink as it stands.
    if (rest < kWriteBlockSize / 4 || !Flush()) {
        Put(raw.data() + run, rest);
    } else if (!sink_.Write(raw.data() + run, rest)) {
        failed_ = true;
    }
}

bool TextWriter::Flush() {
    if (used_ > 0 && !sink_.Write(block_.get(), used_)) failed_ = true;
    used_ = 0;
    return !failed_;
}

std::ptrdiff_t MemorySource::Read(char* into, std::size_t size) {
    const std::size_t take = std::min(size, bytes_.size());
    std::memcpy(into, bytes_.data(), take);
    bytes_.remove_prefix(take);
    return static_cast<std::ptrdiff_t>(take);
}

}  // namespace wex::fileio
