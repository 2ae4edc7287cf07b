#include "fileio/textstream.h"

#include <algorithm>
#include <cstring>

namespace wex::fileio {

TextPieceReader::TextPieceReader(ByteSource& source, std::size_t maxPiece)
    : source_(source),
      maxPiece_(maxPiece),
      block_(new char[kTextBlockSize]),
      piece_(new char[maxPiece]) {}

bool TextPieceReader::Fill() {
    if (at_ < end_) return true;
    if (atEnd_) return false;
    at_ = end_ = 0;
    const std::ptrdiff_t n = source_.Read(block_.get(), kTextBlockSize);
    if (n <= 0) {
        atEnd_ = true;
        failed_ = n < 0;
        return false;
    }
    end_ = static_cast<std::size_t>(n);
    return true;
}

bool TextPieceReader::Next(std::string_view& piece) {
    std::size_t length = 0;
    while (length < maxPiece_ && Fill()) {
        const char* from = block_.get() + at_;
        const std::size_t room = std::min(end_ - at_, maxPiece_ - length);
        const char* newline = static_cast<const char*>(std::memchr(from, '\n', room));
        const std::size_t span = newline ? static_cast<std::size_t>(newline - from) : room;
        const char* cr = static_cast<const char*>(std::memchr(from, '\r', span));
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
            block_[0] = '\r';
            end_ = 1;
            at_ = 1;
            const std::ptrdiff_t n = atEnd_ ? 0 : source_.Read(block_.get() + 1, kTextBlockSize - 1);
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
    return true;
}

TextWriter::TextWriter(ByteSink& sink) : sink_(sink), block_(new char[kTextBlockSize]) {}

void TextWriter::Put(const char* bytes, std::size_t size) {
    while (size > 0) {
        if (used_ == kTextBlockSize) Flush();
        const std::size_t take = std::min(size, kTextBlockSize - used_);
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
