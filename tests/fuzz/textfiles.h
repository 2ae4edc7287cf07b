// Item and key files as their fuzz targets see them: the reference text mode
// (the whole file translated at once, then cut into pieces), the item-line
// test by plain loops, and the byte source and sink the cores are fed from.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzinput.h"
#include "fileio/textstream.h"

namespace wexfuzz {

inline std::string Translated(std::string_view raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            text += '\n';
            ++i;
        } else {
            text += raw[i];
        }
    }
    return text;
}

inline std::string OnDisk(std::string_view text) {
    std::string raw;
    for (char c : text) {
        if (c == '\n') raw += '\r';
        raw += c;
    }
    return raw;
}

inline std::vector<std::string> Cut(std::string_view text, std::size_t maxPiece) {
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        piece += c;
        if (c == '\n' || piece.size() == maxPiece) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

// Where the "=" of an item line for name stands, or npos.
inline std::size_t EqualsOfItemLine(std::string_view piece, std::string_view name) {
    const std::size_t at = FirstOccurrence(piece, name);
    if (at == std::string_view::npos) return std::string_view::npos;
    std::size_t i = at + name.size();
    while (i < piece.size() && piece[i] == ' ') ++i;
    return i < piece.size() && piece[i] == '=' ? i : std::string_view::npos;
}

// True when a lone CR in the dropped text has more than CRs after it (the
// piece's own final newline aside): a further line would go with it.
inline bool LeavesLineBehindLoneCr(std::string_view dropped) {
    if (!dropped.empty() && dropped.back() == '\n') dropped.remove_suffix(1);
    bool sawCr = false;
    for (char c : dropped) {
        if (c == '\r') sawCr = true;
        else if (sawCr) return true;
    }
    return false;
}

// Hands out at most `chunk` bytes per read, so that CR LF pairs and pieces
// straddle the reader's blocks; then the end, or a read error. With lend, it
// lends all its bytes at once instead, in a buffer of its own (as a whole
// file read into memory is lent).
class ChunkedSource : public wex::fileio::ByteSource {
public:
    ChunkedSource(std::string_view bytes, std::size_t chunk, bool failAtEnd, bool lend = false)
        : bytes_(bytes), chunk_(chunk), failAtEnd_(failAtEnd), lend_(lend) {}
    std::ptrdiff_t Read(char* into, std::size_t size) override {
        if (bytes_.empty()) return failAtEnd_ ? -1 : 0;
        const std::size_t take = std::min({size, chunk_, bytes_.size()});
        std::memcpy(into, bytes_.data(), take);
        bytes_.remove_prefix(take);
        return static_cast<std::ptrdiff_t>(take);
    }
    char* Lend(std::size_t& size) override {
        size = 0;
        if (!lend_ || bytes_.empty()) return nullptr;
        lent_.assign(bytes_.begin(), bytes_.end());
        bytes_ = std::string_view();
        size = lent_.size();
        return &lent_[0];
    }

private:
    std::string_view bytes_;
    std::size_t chunk_;
    bool failAtEnd_;
    bool lend_;
    std::string lent_;
};

class StringSink : public wex::fileio::ByteSink {
public:
    bool Write(const char* bytes, std::size_t size) override {
        written.append(bytes, size);
        return true;
    }
    std::string written;
};

// Read sizes for ChunkedSource: a whole block, and sizes that split often.
inline std::size_t ChunkFor(unsigned selector) {
    static const std::size_t kChunks[] = {wex::fileio::kTextBlockSize, 1, 2, 3, 5, 16, 399, 400};
    return kChunks[selector & 7];
}

}  // namespace wexfuzz
