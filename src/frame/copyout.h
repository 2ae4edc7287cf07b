// The one copy of a result text into a caller's buffer. Free of the platform,
// so that it is also built and tested natively.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace wex {

// At most capacity - 1 bytes of text (NULs included), then the terminating
// zero. An empty text may have no storage at all: nothing is copied from it.
// A capacity of 0 leaves no room even for the zero: nothing is written.
inline void CopyOut(std::string_view text, char* out, std::size_t capacity) {
    if (capacity == 0) return;
    const std::size_t length = std::min(text.size(), capacity - 1);
    if (length > 0) std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

// The same for UTF-16 units, never ending in the first half of a pair whose
// second half was cut.
inline void CopyOut(std::u16string_view text, char16_t* out, std::size_t capacity) {
    if (capacity == 0) return;
    std::size_t length = std::min(text.size(), capacity - 1);
    if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
    if (length > 0) std::memcpy(out, text.data(), length * sizeof(char16_t));
    out[length] = u'\0';
}

}  // namespace wex
