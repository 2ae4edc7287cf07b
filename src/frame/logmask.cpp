#include "frame/logmask.h"

#include <algorithm>
#include <vector>

#include "frame/ascii.h"
#include "frame/logtext.h"

namespace wex {
namespace {

// The end of the character that starts at text[at]: a UTF-8 lead byte with
// the (at most three) continuation bytes after it, or any other byte on its
// own. Bytes that are no UTF-8 still make characters, so that every text
// splits, and a wildcard is always a character of its own.
std::size_t CharEnd(std::string_view text, std::size_t at) {
    if (static_cast<unsigned char>(text[at]) < 0xC0) return at + 1;
    const std::size_t end = std::min(text.size(), at + 4);
    ++at;
    while (at < end && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    return at;
}

bool SameChar(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(static_cast<unsigned char>(a[i])) != AsciiUpper(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

std::string AsciiUppercase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)));
    return upper;
}

std::string_view TrimmedOf(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Item names that hold one of these, in any letter case, are hidden: a few
// values too many (a public key) rather than one too few.
constexpr std::string_view kHiddenWords[] = {"PASSWORD", "PASSWD",  "PWD",        "SECRET",
                                             "TOKEN",    "PRIVATE", "CREDENTIAL", "KEY"};

// Splits text at each "\n" (the line ends stay with their lines).
std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
}

std::string MaskRuns(std::string_view text, const std::set<std::string>& needles) {
    if (needles.empty() || text.empty()) return std::string(text);
    std::vector<bool> covered(text.size(), false);
    bool any = false;
    for (const std::string& needle : needles) {
        if (needle.size() > text.size()) continue;
        for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) {
            for (std::size_t i = at; i < at + needle.size(); ++i) covered[i] = true;
            any = true;
        }
    }
    if (!any) return std::string(text);
    std::string masked;
    masked.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!covered[i]) {
            masked += text[i];
        } else if (i == 0 || !covered[i - 1]) {
            masked += kMaskText;
        }
    }
    return masked;
}

}  // namespace

std::string HiddenValueText(std::size_t bytes) { return "<hidden, " + std::to_string(bytes) + " bytes>"; }

bool NameMatches(std::string_view pattern, std::string_view name) {
    constexpr std::size_t kNoStar = std::string_view::npos;
    std::size_t p = 0, n = 0;
    // Where the last "*" was seen, and where in the name its run ends so far:
    // on a mismatch that run takes one character more and matching resumes.
    std::size_t starPattern = kNoStar, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starName = n;
            continue;
        }
        if (p < pattern.size()) {
            const std::size_t patternEnd = CharEnd(pattern, p);
            const std::size_t nameEnd = CharEnd(name, n);
            if (pattern[p] == '?' || SameChar(pattern.substr(p, patternEnd - p), name.substr(n, nameEnd - n))) {
                p = patternEnd;
                n = nameEnd;
                continue;
            }
        }
        if (starPattern == kNoStar) return false;
        starName = CharEnd(name, starName);
        n = starName;
        p = starPattern;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

HiddenNames::HiddenNames(std::string_view patterns) {
    for (std::size_t at = 0; at <= patterns.size();) {
        std::size_t end = patterns.find(';', at);
        if (end == std::string_view::npos) end = patterns.size();
        const std::string_view pattern = TrimmedOf(patterns.substr(at, end - at), " \t");
        if (!pattern.empty()) patterns_.emplace_back(pattern);
        at = end + 1;
    }
}

bool HiddenNames::Hides(std::string_view name) const {
    const std::string upper = AsciiUppercase(name);
    for (std::string_view word : kHiddenWords) {
        if (upper.find(word) != std::string::npos) return true;
    }
    for (const std::string& pattern : patterns_) {
        if (NameMatches(pattern, name)) return true;
    }
    return false;
}

std::string FormEncoded(std::string_view bytes, FormStyle style) {
    const char* const hex = style == FormStyle::Library ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size());
    for (char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool kept = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '*' || byte == '-' || byte == '.' || byte == '_';
        if (kept) {
            encoded += c;
        } else if (byte == ' ' && style == FormStyle::Library) {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 15];
        }
    }
    return encoded;
}

void MaskedTexts::AddForms(std::string_view text, std::string_view bytes) {
    for (std::string form :
         {std::string(text), FormEncoded(bytes, FormStyle::Library), FormEncoded(bytes, FormStyle::Other)}) {
        if (form.empty()) continue;
        escaped_.insert(LogEscape(form));
        plain_.insert(std::move(form));
    }
}

void MaskedTexts::Add(std::string_view text, std::string_view otherBytes) {
    if (text.empty()) return;
    AddForms(text, text);
    if (!otherBytes.empty() && otherBytes != text) AddForms(text, otherBytes);
}

void MaskedTexts::AddBlock(std::string_view block, std::string_view otherBytes) {
    Add(block, otherBytes);
    const std::vector<std::string_view> lines = LinesOf(block);
    std::vector<std::string_view> otherLines = LinesOf(otherBytes);
    // Line ends are the same byte in both: a line of one is the line of the other.
    if (otherLines.size() != lines.size()) otherLines.assign(lines.size(), std::string_view());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i], other = otherLines[i];
        for (std::string_view* text : {&line, &other}) {
            while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->remove_suffix(1);
        }
        const std::string_view frame = TrimmedOf(line, " \t");
        if (frame.empty() || frame == "{" || frame == "}") continue;
        Add(line, other);
        // What an item name listing shows of a key line that holds a "=".
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::size_t otherEquals = other.find('=');
        const std::string_view otherName =
            otherEquals == std::string_view::npos ? std::string_view() : TrimmedOf(other.substr(0, otherEquals), " \r\n");
        Add(TrimmedOf(line.substr(0, equals), " \r\n"), otherName);
    }
}

std::string MaskedTexts::Mask(std::string_view text) const { return MaskRuns(text, plain_); }

std::string MaskedTexts::MaskEscaped(std::string_view line) const { return MaskRuns(line, escaped_); }

bool MaskedTexts::Holds(std::string_view text) const {
    for (const std::string& needle : plain_) {
        if (text.find(needle) != std::string_view::npos) return true;
    }
    return false;
}

std::string_view HiddenItemScanner::NameOf(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::string_view();
    std::string_view name = line.substr(0, equals);
    while (!name.empty() && (name.front() == '\n' || name.front() == '\r' || name.front() == ' ')) name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    // Empty, but not null: the line has a "=".
    return name.empty() ? line.substr(equals, 0) : name;
}

std::string_view HiddenItemScanner::ValueOf(std::string_view line) {
    std::string_view value = line.substr(line.find('=') + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    if (!value.empty() && value.back() == '\n') value.remove_suffix(1);
    return value;
}

void HiddenItemScanner::BlockLine(std::string_view line, std::vector<Found>& found) {
    const std::size_t first = line.find_first_not_of(' ');
    if (first != std::string_view::npos && line[first] == '}') {
        block_ += '}';
        End(found);
        return;
    }
    block_.append(line);
}

void HiddenItemScanner::End(std::vector<Found>& found) {
    if (!inBlock_) return;
    inBlock_ = false;
    found.push_back({std::move(block_), true});
    block_.clear();
}

}  // namespace wex
