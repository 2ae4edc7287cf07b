// UTF-8 and UTF-16, free of the platform so that it is also built, tested and
// fuzzed natively.
//
// The wide exports take UTF-16 texts, which the platform allows to hold lone
// surrogates (a file name may). Inside the library such a text is kept as
// WTF-8: UTF-8 that also encodes a lone surrogate as its three-byte form, so
// that every UTF-16 text converts to it and back exactly. Where a text leaves
// the library as UTF-8 (a UTF-8 file, the log, a form post), only strict
// UTF-8 is written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wex::utf {

constexpr char32_t kReplacement = 0xFFFD;

// Every UTF-16 text has its WTF-8 form.
std::string Utf16ToWtf8(std::u16string_view text);

// The exact inverse of Utf16ToWtf8; nothing for bytes that are not WTF-8
// (an invalid or overlong sequence, a surrogate pair encoded as two
// three-byte forms, a code point past U+10FFFF).
std::optional<std::u16string> Wtf8ToUtf16(std::string_view text);

// True when the bytes are strict UTF-8: WTF-8 without any surrogate.
bool IsUtf8(std::string_view text);

// Strict UTF-8 from UTF-16; nothing when the text holds a lone surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// Bytes that should be UTF-8, as UTF-8: each byte that starts no valid
// sequence, and each encoded surrogate, becomes U+FFFD. Valid text stays as
// it is.
std::string Utf8Lossy(std::string_view text);

// UTF-16 from bytes that should be UTF-8, with U+FFFD as Utf8Lossy puts it.
std::u16string Utf8ToUtf16Lossy(std::string_view text);

// The number of UTF-16 units that a WTF-8 text takes.
std::size_t Utf16Length(std::string_view wtf8);

// The longest prefix of a WTF-8 text that takes at most units UTF-16 units,
// without cutting a character.
std::string_view Utf16Prefix(std::string_view wtf8, std::size_t units);

// Decodes one code point (a lone surrogate included) from WTF-8 at text[at],
// moving at past it; U+FFFD and one byte on for a byte that starts no
// sequence. at must be below text.size().
char32_t NextCodePoint(std::string_view text, std::size_t& at);

}  // namespace wex::utf
