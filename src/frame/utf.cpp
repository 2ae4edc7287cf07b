#include "frame/utf.h"

namespace wex::utf {
namespace {

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

// One sequence of generalised UTF-8 (surrogates allowed, nothing overlong,
// nothing past U+10FFFF) at text[at]: its code point and length, or false.
bool Decode(std::string_view text, std::size_t at, char32_t& c, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        c = lead;
        length = 1;
        return true;
    }
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return false;
    }
    if (text.size() - at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(i);
        if (i == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return false;
        c = (c << 6) | (next & 0x3F);
    }
    return true;
}

}  // namespace

std::string Utf16ToWtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        AppendCodePoint(out, c);
    }
    return out;
}

std::optional<std::u16string> Wtf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool afterHigh = false;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        char32_t c;
        if (!Decode(text, at, c, length)) return std::nullopt;
        // A pair has one four-byte form only.
        if (afterHigh && IsLowSurrogate(c)) return std::nullopt;
        afterHigh = IsHighSurrogate(c);
        AppendUtf16(out, c);
    }
    return out;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        char32_t c;
        if (!Decode(text, at, c, length) || IsSurrogate(c)) return false;
    }
    return true;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) {
    std::string out = Utf16ToWtf8(text);
    if (!IsUtf8(out)) return std::nullopt;
    return out;
}

std::string Utf8Lossy(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = NextCodePoint(text, at);
        AppendCodePoint(out, IsSurrogate(c) ? kReplacement : c);
    }
    return out;
}

std::u16string Utf8ToUtf16Lossy(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = NextCodePoint(text, at);
        AppendUtf16(out, IsSurrogate(c) ? kReplacement : c);
    }
    return out;
}

std::size_t Utf16Length(std::string_view wtf8) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < wtf8.size();) units += NextCodePoint(wtf8, at) >= 0x10000 ? 2 : 1;
    return units;
}

std::string_view Utf16Prefix(std::string_view wtf8, std::size_t units) {
    std::size_t at = 0;
    while (at < wtf8.size()) {
        std::size_t next = at;
        const std::size_t take = NextCodePoint(wtf8, next) >= 0x10000 ? 2 : 1;
        if (take > units) break;
        units -= take;
        at = next;
    }
    return wtf8.substr(0, at);
}

char32_t NextCodePoint(std::string_view text, std::size_t& at) {
    char32_t c;
    std::size_t length;
    if (Decode(text, at, c, length)) {
        at += length;
        return c;
    }
    ++at;
    return kReplacement;
}

}  // namespace wex::utf
