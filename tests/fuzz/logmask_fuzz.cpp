// The log's masks against small references of their own: whole-name
// wildcard matching against a table of every pattern prefix against every
// name prefix, the hidden names against the words and patterns taken apart
// here, the form encoding against URLEncode's, and masking against marking
// every byte that an occurrence of a masked form covers. Whatever the texts,
// no masked text without a "*" of its own survives masking, and the values
// found in lines that pass through unseen come from their lines.
//
// Input: a control byte (bits 0-2: how many masked texts follow, bit 3: the
// first one is a key block), then NUL-separated fields: a pattern list, a
// name, the masked texts, and the text to mask (the rest).
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "frame/logmask.h"
#include "frame/logtext.h"
#include "fuzz/fuzzinput.h"
#include "http/formpost.h"

namespace {

unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }

// Characters as the masks count them: a byte from 0xC0 up with the up to
// three continuation bytes after it, or any other byte alone.
std::vector<std::string_view> Characters(std::string_view text) {
    std::vector<std::string_view> characters;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 1;
        if (static_cast<unsigned char>(text[i]) >= 0xC0) {
            while (length < 4 && i + length < text.size() &&
                   static_cast<unsigned char>(text[i + length]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + length]) < 0xC0)
                ++length;
        }
        characters.push_back(text.substr(i, length));
        i += length;
    }
    return characters;
}

bool SameCharacter(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// matches[i][j]: the first i pattern characters match the first j name characters.
bool ReferenceMatch(std::string_view pattern, std::string_view name) {
    const std::vector<std::string_view> p = Characters(pattern), n = Characters(name);
    std::vector<std::vector<bool>> matches(p.size() + 1, std::vector<bool>(n.size() + 1, false));
    matches[0][0] = true;
    for (std::size_t i = 1; i <= p.size(); ++i) {
        for (std::size_t j = 0; j <= n.size(); ++j) {
            if (p[i - 1] == "*") {
                matches[i][j] = matches[i - 1][j] || (j > 0 && matches[i][j - 1]);
            } else if (j > 0) {
                matches[i][j] = matches[i - 1][j - 1] && (p[i - 1] == "?" || SameCharacter(p[i - 1], n[j - 1]));
            }
        }
    }
    return matches[p.size()][n.size()];
}

bool ReferenceHides(std::string_view patterns, std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
    for (const char* word : {"PASSWORD", "PASSWD", "PWD", "SECRET", "TOKEN", "PRIVATE", "CREDENTIAL", "KEY"})
        if (wexfuzz::Contains(upper, word)) return true;
    std::string pattern;
    for (std::size_t i = 0; i <= patterns.size(); ++i) {
        if (i < patterns.size() && patterns[i] != ';') {
            pattern += patterns[i];
            continue;
        }
        while (!pattern.empty() && (pattern.back() == ' ' || pattern.back() == '\t')) pattern.pop_back();
        std::size_t first = 0;
        while (first < pattern.size() && (pattern[first] == ' ' || pattern[first] == '\t')) ++first;
        if (first < pattern.size() && ReferenceMatch(std::string_view(pattern).substr(first), name)) return true;
        pattern.clear();
    }
    return false;
}

std::string ReferenceMask(std::string_view text, const std::set<std::string>& needles) {
    std::vector<bool> covered(text.size(), false);
    for (const std::string& needle : needles) {
        if (needle.empty()) continue;
        for (std::size_t at = wexfuzz::FirstOccurrence(text, needle); at != std::string_view::npos;
             at = wexfuzz::FirstOccurrence(text, needle, at + 1))
            for (std::size_t i = 0; i < needle.size(); ++i) covered[at + i] = true;
    }
    std::string masked;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!covered[i]) masked += text[i];
        else if (i == 0 || !covered[i - 1]) masked += "***";
    }
    return masked;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wexfuzz::FuzzInput input(data, size);
    const std::string_view patterns = input.Field();
    const std::string_view name = input.Field();
    std::vector<std::string_view> secrets;
    for (unsigned i = 0; i < (input.Control() & 7u); ++i) secrets.push_back(input.Field());
    const bool block = (input.Control() & 8u) != 0;
    const std::string_view text = input.Rest();

    // Each pattern as a whole, and the list with the default words.
    if (patterns.size() * name.size() <= 200000) {
        WEX_FUZZ_CHECK(wex::NameMatches(patterns, name) == ReferenceMatch(patterns, name));
        WEX_FUZZ_CHECK(wex::HiddenNames(patterns).Hides(name) == ReferenceHides(patterns, name));
    }

    WEX_FUZZ_CHECK(wex::FormEncoded(text, wex::FormStyle::Library) == wex::http::EncodeFormText(text).get());

    wex::MaskedTexts masks;
    std::set<std::string> needles;
    for (std::size_t i = 0; i < secrets.size(); ++i) {
        if (i == 0 && block) {
            masks.AddBlock(secrets[0]);
            if (!secrets[0].empty()) WEX_FUZZ_CHECK(masks.Mask(secrets[0]) == "***");
            continue;
        }
        masks.Add(secrets[i]);
        if (secrets[i].empty()) continue;
        needles.insert(std::string(secrets[i]));
        needles.insert(wex::FormEncoded(secrets[i], wex::FormStyle::Library));
        needles.insert(wex::FormEncoded(secrets[i], wex::FormStyle::Other));
    }
    const std::string masked = masks.Mask(text);
    if (!block) WEX_FUZZ_CHECK(masked == ReferenceMask(text, needles));
    const std::string line = wex::LogEscape(text);
    const std::string maskedLine = masks.MaskEscaped(line);
    bool starred = false;
    for (std::size_t i = 0; i < secrets.size(); ++i) {
        const std::string_view secret = secrets[i];
        if (secret.find('*') != std::string_view::npos) starred = true;
        if (secret.empty() || secret.find('*') != std::string_view::npos || (i == 0 && block)) continue;
        WEX_FUZZ_CHECK(!wexfuzz::Contains(masked, secret));
        WEX_FUZZ_CHECK(!wexfuzz::Contains(maskedLine, wex::LogEscape(secret)));
    }
    // "***" stands for what it covers, so only texts without stars show
    // whether anything was masked.
    if (!starred) WEX_FUZZ_CHECK(masks.Holds(text) == (masked != text));

    // The text's lines passing through unseen: each value found is a hidden
    // item's value, taken from its own line.
    const wex::HiddenNames names(patterns);
    wex::HiddenItemScanner scanner;
    std::vector<wex::HiddenItemScanner::Found> found;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(at, next - at);
        const std::size_t before = found.size();
        scanner.Line(line, [&](std::string_view name) { return names.Hides(name); }, found);
        for (std::size_t i = before; i < found.size(); ++i) {
            if (!found[i].block) WEX_FUZZ_CHECK(wexfuzz::Contains(line, found[i].text) && !found[i].text.empty());
        }
        at = next;
    }
    scanner.End(found);
    for (const auto& f : found) {
        if (f.block) WEX_FUZZ_CHECK(f.text.rfind("{\n", 0) == 0);
    }
    return 0;
}
