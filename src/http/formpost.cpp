#include "http/formpost.h"

#include <cstdint>
#include <new>

#include "frame/utf.h"

namespace wex::http {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The blanks atoi skips: space, tab, line feed, vertical tab, form feed, CR.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsKept(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(static_cast<char>(c)) || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

// The length of the UTF-8 sequence that lead begins; 0 for a byte that
// begins none.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Whether second may follow lead: the ranges that keep out overlong forms,
// surrogates and code points past U+10FFFF.
bool SecondByteFits(unsigned char lead, unsigned char second) {
    switch (lead) {
    case 0xE0: return second >= 0xA0 && second <= 0xBF;
    case 0xED: return second >= 0x80 && second <= 0x9F;
    case 0xF0: return second >= 0x90 && second <= 0xBF;
    case 0xF4: return second >= 0x80 && second <= 0x8F;
    default: return second >= 0x80 && second <= 0xBF;
    }
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

unsigned short PortFromText(const char* text) {
    while (IsBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    // Only the low 16 bits are kept, so the value is taken modulo 2^16 as it
    // is read: no overflow, however many digits there are.
    std::uint16_t value = 0;
    for (; IsDigit(*text); ++text) value = static_cast<std::uint16_t>(value * 10u + static_cast<unsigned>(*text - '0'));
    return static_cast<unsigned short>(negative ? static_cast<std::uint16_t>(0u - value) : value);
}

bool IsDottedHost(const char* host) {
    std::size_t length = std::strlen(host);
    return length > 0 && IsDigit(host[length - 1]);
}

bool IsSuccessStatus(const char* firstLine) { return std::strstr(firstLine, " 200 ") != nullptr; }

bool PathFits(const char* path) { return std::strlen(path) <= kMaxPathLength; }

std::size_t UnfinishedUtf8Tail(std::string_view text) {
    // The last byte that is no continuation byte, among the last three.
    std::size_t lead = text.size();
    while (lead > 0 && text.size() - lead < 3 && IsContinuation(static_cast<unsigned char>(text[lead - 1]))) --lead;
    if (lead == 0) return 0;
    --lead;
    const std::size_t tail = text.size() - lead;
    const unsigned char first = static_cast<unsigned char>(text[lead]);
    if (IsContinuation(first) || SequenceLength(first) <= tail) return 0;
    if (tail >= 2 && !SecondByteFits(first, static_cast<unsigned char>(text[lead + 1]))) return 0;
    return utf::IsUtf8(text.substr(0, lead)) ? tail : 0;
}

std::string PercentEncodeNonAscii(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

std::unique_ptr<char[]> EncodeFormText(std::string_view text) {
    // Every byte takes at most three; 3 x (n + 1) bytes, as long as that
    // size can be expressed at all.
    if (text.size() >= SIZE_MAX / 3 - 1) return nullptr;
    std::unique_ptr<char[]> encoded(new (std::nothrow) char[3 * (text.size() + 1)]);
    if (!encoded) return nullptr;
    static const char kHex[] = "0123456789abcdef";
    char* out = encoded.get();
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (IsKept(byte)) {
            *out++ = c;
        } else if (byte == ' ') {
            *out++ = '+';
        } else {
            *out++ = '%';
            *out++ = kHex[byte >> 4];
            *out++ = kHex[byte & 15];
        }
    }
    *out = '\0';
    return encoded;
}

}  // namespace wex::http
