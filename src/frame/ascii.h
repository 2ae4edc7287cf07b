// Byte-level text helpers that several cores share: the C library's case
// rules in the "C" locale (only A to Z and a to z change) and a length that
// never reads past a limit. Free of the platform.
#pragma once

#include <cstddef>

namespace wex {

constexpr unsigned char AsciiUpper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

constexpr unsigned char AsciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Equal zero-terminated texts, A to Z counting as a to z.
inline bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const unsigned char x = AsciiLower(static_cast<unsigned char>(*a));
        if (x != AsciiLower(static_cast<unsigned char>(*b))) return false;
        if (x == '\0') return true;
    }
}

// The length of text, or limit when no zero comes within its first limit
// bytes; never reads past them.
inline std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

}  // namespace wex
