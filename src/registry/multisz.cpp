#include "registry/multisz.h"

#include <cstring>

namespace wex::registry {
namespace {

std::size_t Bytes(std::string_view piece) { return piece.size(); }

struct Sizes {
    std::size_t characters = 0;  // as length counts them
    std::size_t bytes = 0;
};

// What the stored pieces take with their zeros, read without splitting the
// list.
Sizes PiecesSize(const char* list, PieceLength length) {
    Sizes total;
    int count = 0;
    for (const char* p = list; *p && count < MAX_STRINGS;) {
        p += std::strspn(p, "+");
        const std::size_t bytes = std::strcspn(p, "+");
        if (bytes == 0) break;
        total.characters += length(std::string_view(p, bytes)) + 1;
        total.bytes += bytes + 1;
        ++count;
        p += bytes;
    }
    return total;
}

}  // namespace

bool BuildMultiSz(char* list, unsigned char* out, std::size_t outSize, std::size_t limit, PieceLength length,
                  MultiSz& result) {
    result = MultiSz{};
    const Sizes needed = PiecesSize(list, length ? length : Bytes);
    if (needed.characters + kClosingZeros > limit || needed.bytes + kClosingZeros > outSize) return false;

    std::size_t total = 0;
    for (char* piece = std::strtok(list, "+"); piece;) {
        std::size_t bytes = std::strlen(piece);
        std::memcpy(out + total, piece, bytes + 1);
        total += bytes + 1;
        ++result.pieces;
        // The next piece is fetched before the count is tested, as the
        // tokenizer goes: with more than ten pieces the "+" after the tenth
        // becomes a zero too.
        piece = std::strtok(nullptr, "+");
        if (result.pieces == MAX_STRINGS) {
            result.reachedLimit = true;
            break;
        }
    }
    std::memset(out + total, 0, kClosingZeros);
    result.dataSize = total + 2;
    return true;
}

bool BuildMultiSz(char* list, unsigned char* out, std::size_t outSize, MultiSz& result) {
    return BuildMultiSz(list, out, outSize, outSize, Bytes, result);
}

void CarrySplit(std::string_view split, char16_t* list) {
    // Each character of list took as many bytes in its WTF-8 copy as
    // frame/utf.cpp gives it: a pair four, a lone surrogate three.
    std::size_t at = 0;
    for (std::size_t i = 0; list[i] != u'\0' && at < split.size();) {
        const char16_t unit = list[i];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && list[i + 1] >= 0xDC00 && list[i + 1] <= 0xDFFF;
        const std::size_t bytes = pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        if (unit == u'+' && split[at] == '\0') list[i] = u'\0';
        i += pair ? 2 : 1;
        at += bytes;
    }
}

}  // namespace wex::registry
