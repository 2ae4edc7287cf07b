// The bytes of a REG_MULTI_SZ value built from a "+"-separated list. Free of
// the platform, so that it is also built and tested natively.
#pragma once

#include <cstddef>

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

// Splits list in place with the C library's tokenizer ("+" the only
// separator: runs of "+" separate like one, no piece is empty) and lays each
// piece out in out with its zero byte, then kClosingZeros zero bytes. From
// the MAX_STRINGS-th piece on, the rest is dropped. When the result would
// not fit outSize bytes, returns false with list and out untouched.
bool BuildMultiSz(char* list, unsigned char* out, std::size_t outSize, MultiSz& result);

}  // namespace wex::registry
