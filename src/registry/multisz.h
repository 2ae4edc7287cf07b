// The bytes of a REG_MULTI_SZ value built from a "+"-separated list. Free of
// the platform, so that it is also built and tested natively.
#pragma once

#include <cstddef>
#include <string_view>

namespace wex::registry {

// At most this many pieces of a list are stored.
constexpr int MAX_STRINGS = 10;
// Zero bytes written after the last piece; two of them belong to the value.
constexpr std::size_t kClosingZeros = 6;

struct MultiSz {
    std::size_t dataSize = 0;   // the value's size: the pieces with their zeros, + 2
    int pieces = 0;             // pieces stored
    bool reachedLimit = false;  // the MAX_STRINGS-th piece was stored
};

// How a piece counts against the limit: the characters its caller counts
// (bytes for an A export, UTF-16 units for a W export).
using PieceLength = std::size_t (*)(std::string_view piece);

// Splits list in place with the C library's tokenizer ("+" the only
// separator: runs of "+" separate like one, no piece is empty) and lays each
// piece out in out with its zero byte, then kClosingZeros zero bytes. From
// the MAX_STRINGS-th piece on, the rest is dropped. When the stored pieces
// with their zeros and the closing zeros would take more than limit
// characters (each piece counted by length, each zero as one), or more than
// outSize bytes, returns false with list and out untouched.
bool BuildMultiSz(char* list, unsigned char* out, std::size_t outSize, std::size_t limit, PieceLength length,
                  MultiSz& result);

// The same with the limit counted in bytes: outSize.
bool BuildMultiSz(char* list, unsigned char* out, std::size_t outSize, MultiSz& result);

// A W export's list is split on its WTF-8 copy (frame/utf.h); this carries
// the split back into the caller's UTF-16 text: each "+" whose byte became a
// zero in split becomes a zero unit. split is that copy after the split, of
// the text list held when the copy was made.
void CarrySplit(std::string_view split, char16_t* list);

}  // namespace wex::registry
