// The encoding of the texts inside the library.
//
// Every export comes as an A export, whose texts are 8-bit strings in the
// ANSI code page, and as its W twin, whose texts are UTF-16. Inside the
// library a text stays in the encoding of the export that was called: an A
// export's bytes as the caller gave them, a W export's UTF-16 as WTF-8
// (frame/utf.h), so that both run one implementation on std::string. A text
// is converted where it leaves for somewhere with an encoding of its own:
//   - the platform, whose W functions take UTF-16 (Widen; the A functions
//     would convert from the ANSI code page exactly as Widen does for an A
//     export);
//   - the installer log, which is UTF-8 (ToUtf8);
//   - a file, in the file's own encoding (the item file family decides);
//   - the caller's output buffers (CopyOut in frame/export.h).
// Standard error and standard output lines are written in the call's
// encoding as they are: the ANSI code page for an A export, UTF-8 for a W
// export.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wex {

enum class CallEncoding {
    Ansi,  // an A export, and the entry routine
    Wtf8,  // a W export
};

// The encoding of the export running on this thread (Ansi outside any).
CallEncoding CurrentCallEncoding();

// Sets the thread's call encoding for its lifetime.
class CallEncodingScope {
public:
    explicit CallEncodingScope(CallEncoding encoding);
    ~CallEncodingScope();
    CallEncodingScope(const CallEncodingScope&) = delete;
    CallEncodingScope& operator=(const CallEncodingScope&) = delete;

private:
    CallEncoding previous_;
};

// A call's text as UTF-16, for the platform's W functions.
std::wstring Widen(std::string_view text);

// A text from the platform in the call's encoding. For an A export a
// character that the ANSI code page lacks becomes what the platform's A
// functions would have given (its best fit, or "?").
std::string Narrow(std::wstring_view text);

// A call's text as UTF-8, for the log: what it cannot show (a lone
// surrogate) becomes U+FFFD.
std::string ToUtf8(std::string_view text);

// A UTF-16 text as the library keeps a W export's text.
std::string FromWide(const wchar_t* text);

// The length of a call's text as its caller counts characters: bytes for an
// A export, UTF-16 units for a W export. Every length limit counts so.
std::size_t CallLength(std::string_view text);

// The longest prefix of at most count characters, counted as CallLength
// counts them: for a W export one that cuts no character in two, for an A
// export the first count bytes, as its limits have always cut.
std::string_view CallPrefix(std::string_view text, std::size_t count);

// The text in the ANSI code page, only when every character has its exact
// byte or bytes there (no best fit, no "?").
std::optional<std::string> AnsiExactly(std::wstring_view text);

// Bytes in the ANSI code page as UTF-16.
std::wstring FromAnsi(std::string_view bytes);

}  // namespace wex
