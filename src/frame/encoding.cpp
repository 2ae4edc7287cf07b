#include "frame/encoding.h"

#include <windows.h>

#include "frame/utf.h"

namespace wex {
namespace {

thread_local CallEncoding t_encoding = CallEncoding::Ansi;

std::u16string_view AsUtf16(std::wstring_view text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "the platform's wide characters are UTF-16 units");
    return std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

std::wstring AsWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

CallEncoding CurrentCallEncoding() { return t_encoding; }

CallEncodingScope::CallEncodingScope(CallEncoding encoding) : previous_(t_encoding) { t_encoding = encoding; }

CallEncodingScope::~CallEncodingScope() { t_encoding = previous_; }

std::wstring FromAnsi(std::string_view bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, &wide[0], length);
    return wide;
}

std::wstring Widen(std::string_view text) {
    if (t_encoding == CallEncoding::Ansi) return FromAnsi(text);
    // A W export's text came from UTF-16 and goes back exactly.
    if (std::optional<std::u16string> wide = utf::Wtf8ToUtf16(text)) return AsWide(*wide);
    return AsWide(utf::Utf8ToUtf16Lossy(text));
}

std::string Narrow(std::wstring_view text) {
    if (t_encoding == CallEncoding::Wtf8) return utf::Utf16ToWtf8(AsUtf16(text));
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, &bytes[0], length, nullptr, nullptr);
    return bytes;
}

std::string ToUtf8(std::string_view text) {
    if (t_encoding == CallEncoding::Wtf8) return utf::Utf8Lossy(text);
    return utf::Utf8Lossy(utf::Utf16ToWtf8(AsUtf16(FromAnsi(text))));
}

std::string FromWide(const wchar_t* text) {
    return utf::Utf16ToWtf8(AsUtf16(text ? std::wstring_view(text) : std::wstring_view()));
}

std::size_t CallLength(std::string_view text) {
    return t_encoding == CallEncoding::Ansi ? text.size() : utf::Utf16Length(text);
}

std::string_view CallPrefix(std::string_view text, std::size_t count) {
    // An A export's limits have always counted and cut bytes.
    if (t_encoding == CallEncoding::Ansi) return text.substr(0, count);
    return utf::Utf16Prefix(text, count);
}

std::optional<std::string> AnsiExactly(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, &usedDefault);
    if (length <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, &bytes[0], length, nullptr, &usedDefault);
    // The way back must give the very same text.
    if (usedDefault || FromAnsi(bytes) != text) return std::nullopt;
    return bytes;
}

}  // namespace wex
