// What the installer log never holds in clear, kept free of the platform so
// that it is also built, tested and fuzzed natively: which item names have
// hidden values, and the texts that are masked wherever they turn up. Texts
// here are in the log's own encoding, UTF-8, so that a text given to an A
// export and the same text given to its W twin are one and the same.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace wex {

// A hidden item's value in its own call line: "<hidden, N bytes>".
std::string HiddenValueText(std::size_t bytes);

// What a masked text becomes in a log line.
constexpr std::string_view kMaskText = "***";

// Whether name matches pattern as a whole: "*" stands for any run of
// characters (none included), "?" for exactly one character (one UTF-8
// sequence), every other character for itself, A to Z and a to z alike.
bool NameMatches(std::string_view pattern, std::string_view name);

// The item names whose values the log hides: each name that holds one of
// PASSWORD, PASSWD, PWD, SECRET, TOKEN, PRIVATE, CREDENTIAL or KEY in any
// letter case, and each name that matches one of the extra patterns.
class HiddenNames {
public:
    // patterns: ";"-separated, each without the spaces and tabs around it;
    // empty ones count for nothing.
    explicit HiddenNames(std::string_view patterns = {});

    bool Hides(std::string_view name) const;

private:
    std::vector<std::string> patterns_;
};

// The form encoding that URLEncode gives a text's bytes (letters, digits and
// "*-._" kept, a space as "+", every other byte "%xx" in lowercase), or the
// same with uppercase digits and "%20" for a space as other encoders write it.
enum class FormStyle { Library, Other };
std::string FormEncoded(std::string_view bytes, FormStyle style);

// The texts that are masked wherever they occur in a log line, with the
// forms in which they may turn up there.
class MaskedTexts {
public:
    // Masks text from now on, its form encodings and those of otherBytes (the
    // same text as an A export holds it, in the ANSI code page) included. The
    // empty text is not masked.
    void Add(std::string_view text, std::string_view otherBytes = {});
    // Masks a key block as a whole and each of its key lines: without its
    // line end, and as much of it as can pass for an item's name (the text
    // before its first "=", without the spaces around it). Lines that are
    // only "{" or "}" are the block's frame, not key text. otherBytes: the
    // block as an A export holds it.
    void AddBlock(std::string_view block, std::string_view otherBytes = {});

    // A text as the log may show it: each run of bytes that an occurrence of
    // a masked text covers becomes "***", the rest stays.
    std::string Mask(std::string_view text) const;
    // The same for a line whose texts were already escaped for the log
    // (LogEscape): it looks for the masked texts' escaped forms.
    std::string MaskEscaped(std::string_view line) const;
    // True when the text holds a masked text.
    bool Holds(std::string_view text) const;

    bool Empty() const { return plain_.empty(); }

private:
    void AddForms(std::string_view text, std::string_view bytes);

    std::set<std::string> plain_;
    std::set<std::string> escaped_;
};

// Follows the lines of an item file that pass through the library unseen
// (appended from one file to another) and finds the values that the log is to
// mask: the value of each line whose item name, as an item name listing
// shows it (the text before its first "=", without the spaces around it),
// is hidden, and the key block that follows such a name when its value opens
// a brace block. Lines come as the library reads them, in pieces, each piece
// a line of its own.
class HiddenItemScanner {
public:
    struct Found {
        std::string text;
        bool block = false;  // a key block: "{\n", its lines, "}"
    };

    // hides(name): whether the log hides the values of the item called name.
    template <class Hides>
    void Line(std::string_view line, Hides&& hides, std::vector<Found>& found) {
        if (inBlock_) return BlockLine(line, found);
        const std::string_view name = NameOf(line);
        if (name.data() == nullptr || !hides(name)) return;
        const std::string_view value = ValueOf(line);
        if (value == "{") {
            inBlock_ = true;
            block_ = "{\n";
        } else if (!value.empty()) {
            found.push_back({std::string(value), false});
        }
    }
    // The end of the lines: a block that never closed counts as it stands.
    void End(std::vector<Found>& found);

private:
    // The name of an item line, or a null view for a line without "=".
    static std::string_view NameOf(std::string_view line);
    static std::string_view ValueOf(std::string_view line);
    void BlockLine(std::string_view line, std::vector<Found>& found);

    bool inBlock_ = false;
    std::string block_;
};

}  // namespace wex
