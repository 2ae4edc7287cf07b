#include "http/formpost.h"

#include <cstdint>
#include <new>

namespace wex::http {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The blanks atoi skips: space, tab, line feed, vertical tab, form feed, CR.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsKept(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(static_cast<char>(c)) || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

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
