#include "registry/multisz.h"

#include <cstring>

namespace wex::registry {
namespace {

// The bytes the stored pieces take with their zeros, read without
// splitting the list.
std::size_t PiecesSize(const char* list) {
    std::size_t total = 0;
    int count = 0;
    for (const char* p = list; *p && count < MAX_STRINGS;) {
        p += std::strspn(p, "+");
        std::size_t length = std::strcspn(p, "+");
        if (length == 0) break;
        total += length + 1;
        ++count;
        p += length;
    }
    return total;
}

}  // namespace

bool BuildMultiSz(char* list, unsigned char* out, std::size_t outSize, MultiSz& result) {
    result = MultiSz{};
    if (PiecesSize(list) + kClosingZeros > outSize) return false;

    std::size_t total = 0;
    for (char* piece = std::strtok(list, "+"); piece;) {
        std::size_t length = std::strlen(piece);
        std::memcpy(out + total, piece, length + 1);
        total += length + 1;
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

}  // namespace wex::registry
