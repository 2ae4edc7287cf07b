// The UTF-8, WTF-8 and UTF-16 conversions against their own promises and a
// plain reference decoder: every WTF-8 text round-trips, every UTF-16 text
// converts and comes back, what Utf8Lossy gives is strict UTF-8 and leaves
// valid text alone, and prefixes never cut a character.
//
// Input: a control byte (0-63: the units of a prefix; bit 6: the bytes are
// also read as UTF-16 units, little-endian), then the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/utf.h"
#include "fuzz/fuzzinput.h"

namespace {

using namespace wex::utf;
using namespace wexfuzz;

// One sequence of generalised UTF-8 (lone surrogates allowed) at text[i],
// decoded by the book: shortest form, at most U+10FFFF. Its length, or 0.
std::size_t ReferenceSequence(std::string_view text, std::size_t i, char32_t& c) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    c = n == 1 ? b : b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    return c < least[n] || c > 0x10FFFF ? 0 : n;
}

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Whether bytes are WTF-8: every sequence by the book, a pair never as two forms.
bool ReferenceWtf8(std::string_view text) {
    bool afterHigh = false;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c;
        const std::size_t n = ReferenceSequence(text, i, c);
        if (n == 0) return false;
        if (afterHigh && c >= 0xDC00 && c <= 0xDFFF) return false;
        afterHigh = c >= 0xD800 && c <= 0xDBFF;
        i += n;
    }
    return true;
}

// The code points that a lossy decoding shows: U+FFFD for each byte that
// starts no sequence and for each surrogate.
std::u32string ReferenceLossy(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c;
        const std::size_t n = ReferenceSequence(text, i, c);
        out += n == 0 || IsSurrogate(c) ? U'\uFFFD' : c;
        i += n == 0 ? 1 : n;
    }
    return out;
}

std::u32string CodePoints(std::string_view text) {
    std::u32string out;
    for (std::size_t at = 0; at < text.size();) out += NextCodePoint(text, at);
    return out;
}

bool HasLoneSurrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF, low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::size_t units = input.Control() & 63;
    const bool alsoUtf16 = (input.Control() & 64) != 0;
    const std::string_view bytes = input.Rest();

    const std::optional<std::u16string> wide = Wtf8ToUtf16(bytes);
    WEX_FUZZ_CHECK(wide.has_value() == ReferenceWtf8(bytes));
    if (wide) {
        WEX_FUZZ_CHECK(Utf16ToWtf8(*wide) == bytes);
        WEX_FUZZ_CHECK(Utf16Length(bytes) == wide->size());
        const std::string_view prefix = Utf16Prefix(bytes, units);
        WEX_FUZZ_CHECK(Utf16Length(prefix) <= units);
        WEX_FUZZ_CHECK(Wtf8ToUtf16(prefix).has_value());
        WEX_FUZZ_CHECK(prefix.size() == bytes.size() || Utf16Length(prefix) + 2 > units);
    }
    const bool strict = IsUtf8(bytes);
    WEX_FUZZ_CHECK(strict == (wide && !HasLoneSurrogate(*wide)));
    const std::string lossy = Utf8Lossy(bytes);
    WEX_FUZZ_CHECK(IsUtf8(lossy));
    WEX_FUZZ_CHECK(CodePoints(lossy) == ReferenceLossy(bytes));
    WEX_FUZZ_CHECK(!strict || lossy == bytes);
    WEX_FUZZ_CHECK(Wtf8ToUtf16(lossy) == Utf8ToUtf16Lossy(bytes));

    if (alsoUtf16) {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
        const std::string wtf8 = Utf16ToWtf8(text);
        WEX_FUZZ_CHECK(ReferenceWtf8(wtf8));
        WEX_FUZZ_CHECK(Wtf8ToUtf16(wtf8) == text);
        WEX_FUZZ_CHECK(Utf16ToUtf8(text).has_value() == IsUtf8(wtf8));
    }
    return 0;
}
