// How the installer log writes what it quotes, kept free of the platform so
// that it is also built and tested natively. Every event is one line: no
// byte of a quoted text may end or break it.
#pragma once

#include <string>
#include <string_view>

namespace wex {

// The text with newline, carriage return and tab as \n, \r and \t, every
// other control byte (below 32, and 127) as \xNN, a double quote as \"; all
// other bytes, backslashes included, as they are.
std::string LogEscape(std::string_view text);

// "\"" + LogEscape(text) + "\"".
std::string LogQuote(std::string_view text);

// A text without its final newline, escaped: a line that the library wrote to
// standard error or standard output, as the log shows it.
std::string LogLineText(std::string_view line);

// One export call as the log shows it: Name(arguments) -> result, then the
// text each output buffer received, quoted. Texts come as the log shows them
// (UTF-8, masked texts as "***"); the lengths of secrets and hidden values
// are those of the texts as the call holds them.
class CallText {
public:
    explicit CallText(std::string_view name);

    // A text argument, quoted, or null.
    void Text(const char* text);
    // A text argument shown only as its length: "<N bytes>", or null.
    void Secret(const char* text);
    // A hidden item's value: "<hidden, N bytes>", or null.
    void Hidden(const char* text);
    void Number(long long value);
    // An output buffer: "buf", or null.
    void Buffer(const void* buffer);
    // The text an output buffer received, shown after the result.
    void Output(std::string_view text);
    // The same for a hidden item's value: "<hidden, N bytes>".
    void HiddenOutput(std::string_view text);

    std::string Line(int result) const;

private:
    void Next();

    std::string arguments_;
    std::string outputs_;
    bool first_ = true;
};

}  // namespace wex
