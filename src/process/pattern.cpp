#include "process/pattern.h"

#include <cstring>
#include <optional>
#include <utility>

#include "frame/ascii.h"
#include "frame/utf.h"

namespace wex {
namespace process {
namespace {

// One class against one (upper-cased) text character; p points just after
// the "[". Returns the pattern position after the closing "]" when a member
// matches, null when none does or the class is malformed or left open.
const unsigned char* MatchClass(const unsigned char* p, unsigned char ch) {
    unsigned char previous = 0;
    for (;;) {
        const unsigned char c = *p;
        if (c == '\0' || c == ']') return nullptr;
        if (c == '-') {
            const unsigned char end = p[1];
            if (end == '\0' || end == ']') return nullptr;
            if ((previous <= ch && ch <= end) || ch == end) {
                p += 2;
                break;
            }
            // The range's end becomes the previous member and is scanned
            // again as a member of its own (it may start another range).
            previous = end;
            ++p;
            continue;
        }
        if (c == ch) {
            ++p;
            break;
        }
        previous = c;
        ++p;
    }
    while (*p != ']') {
        if (*p == '\0') return nullptr;
        ++p;
    }
    return p + 1;
}

// The matching pass's walk: the caller's own process is never selected;
// selects decides for every other task (and skips a protected one).
template <class Selects>
std::size_t SelectBy(TaskRecord* tasks, std::size_t count, std::uint32_t callerId, bool firstOnly,
                     Selects selects) {
    std::size_t selected = 0;
    for (std::size_t i = 0; i < count; ++i) {
        TaskRecord& task = tasks[i];
        if (task.processId == callerId || !selects(task)) continue;
        task.selected = 1;
        ++selected;
        if (firstOnly) break;
    }
    return selected;
}

}  // namespace

int MatchPattern(const char* text, const char* pattern) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern);
    // Every element but "*" takes exactly one text character, so on a
    // mismatch it is enough to let the latest star take one more character
    // and retry; earlier stars never need to give back.
    const unsigned char* starPattern = nullptr;
    const unsigned char* starText = nullptr;
    for (;;) {
        if (*p == '*') {
            while (*p == '*') ++p;
            starPattern = p;
            starText = s;
            continue;
        }
        const unsigned char* next = nullptr;
        if (*p == '\0') {
            if (*s == '\0') return 1;
        } else if (*s != '\0') {
            if (*p == '?') next = p + 1;
            else if (*p == '[') next = MatchClass(p + 1, AsciiUpper(*s));
            else if (AsciiUpper(*s) == *p) next = p + 1;
        }
        if (next) {
            p = next;
            ++s;
            continue;
        }
        if (!starPattern || *starText == '\0') return 0;
        s = ++starText;
        p = starPattern;
    }
}

Pattern PreparePattern(const char* pattern) {
    Pattern prepared{};
    const std::size_t length = BoundedLength(pattern, kPatternSize);
    prepared.usable = length < kPatternSize;
    if (!prepared.usable) return prepared;
    for (std::size_t i = 0; i < length; ++i)
        prepared.text[i] = static_cast<char>(AsciiUpper(static_cast<unsigned char>(pattern[i])));
    return prepared;
}

std::size_t SelectMatches(TaskRecord* tasks, std::size_t count, const Pattern& pattern,
                          std::uint32_t callerId, bool firstOnly) {
    if (!pattern.usable) return 0;
    return SelectBy(tasks, count, callerId, firstOnly, [&](const TaskRecord& task) {
        if (MatchPattern(task.windowTitle, "*KILL*")) return false;
        char stem[sizeof task.processName];
        std::memcpy(stem, task.processName, sizeof stem);
        stem[sizeof stem - 1] = '\0';
        if (char* dot = std::strchr(stem, '.')) *dot = '\0';
        return MatchPattern(stem, pattern.text) || MatchPattern(task.processName, pattern.text) ||
               MatchPattern(task.windowTitle, pattern.text);
    });
}

namespace {

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The characters of a UTF-16 text: a pair as its code point, a lone
// surrogate as itself.
std::u32string CodePoints(std::u16string_view text) {
    std::u32string characters;
    characters.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        characters += c;
    }
    return characters;
}

// MatchClass over characters: p[at] is the first member after the "[".
// Where the pattern goes on after the closing "]" when a member matches;
// kNoMatch when none does or the class is malformed or left open.
std::size_t MatchWideClass(std::u32string_view p, std::size_t at, char32_t ch) {
    char32_t previous = 0;
    for (;;) {
        if (at >= p.size() || p[at] == U']') return kNoMatch;
        const char32_t c = p[at];
        if (c == U'-') {
            if (at + 1 >= p.size() || p[at + 1] == U']') return kNoMatch;
            const char32_t end = p[at + 1];
            if ((previous <= ch && ch <= end) || ch == end) {
                at += 2;
                break;
            }
            previous = end;
            ++at;
            continue;
        }
        if (c == ch) {
            ++at;
            break;
        }
        previous = c;
        ++at;
    }
    while (at < p.size() && p[at] != U']') ++at;
    return at < p.size() ? at + 1 : kNoMatch;
}

// MatchPattern's walk over characters; the text is upper-cased already.
int MatchCharacters(std::u32string_view s, std::u32string_view p) {
    std::size_t si = 0, pi = 0;
    std::size_t starPattern = kNoMatch, starText = 0;
    for (;;) {
        if (pi < p.size() && p[pi] == U'*') {
            while (pi < p.size() && p[pi] == U'*') ++pi;
            starPattern = pi;
            starText = si;
            continue;
        }
        std::size_t next = kNoMatch;
        if (pi == p.size()) {
            if (si == s.size()) return 1;
        } else if (si < s.size()) {
            if (p[pi] == U'?') next = pi + 1;
            else if (p[pi] == U'[') next = MatchWideClass(p, pi + 1, s[si]);
            else if (s[si] == p[pi]) next = pi + 1;
        }
        if (next != kNoMatch) {
            pi = next;
            ++si;
            continue;
        }
        if (starPattern == kNoMatch || starText == s.size()) return 0;
        si = ++starText;
        pi = starPattern;
    }
}

std::u16string FromRecord(const char* text) {
    const std::string_view wtf8(text);
    if (std::optional<std::u16string> wide = utf::Wtf8ToUtf16(wtf8)) return *std::move(wide);
    return utf::Utf8ToUtf16Lossy(wtf8);
}

}  // namespace

int MatchWidePattern(std::u16string_view text, std::u16string_view pattern, UpperCase upper) {
    std::u16string upperText(text);
    if (!upperText.empty()) upper(&upperText[0], upperText.size());
    return MatchCharacters(CodePoints(upperText), CodePoints(pattern));
}

WidePattern PrepareWidePattern(std::u16string_view pattern, UpperCase upper) {
    WidePattern prepared{std::u16string(), upper, pattern.size() < kPatternSize};
    if (!prepared.usable) return prepared;
    prepared.text = pattern;
    if (!prepared.text.empty()) upper(&prepared.text[0], prepared.text.size());
    return prepared;
}

std::size_t SelectMatches(TaskRecord* tasks, std::size_t count, const WidePattern& pattern,
                          std::uint32_t callerId, bool firstOnly) {
    if (!pattern.usable) return 0;
    return SelectBy(tasks, count, callerId, firstOnly, [&](const TaskRecord& task) {
        const std::u16string title = FromRecord(task.windowTitle);
        if (MatchWidePattern(title, u"*KILL*", pattern.upper)) return false;
        const std::u16string name = FromRecord(task.processName);
        const std::u16string stem = name.substr(0, name.find(u'.'));
        return MatchWidePattern(stem, pattern.text, pattern.upper) ||
               MatchWidePattern(name, pattern.text, pattern.upper) ||
               MatchWidePattern(title, pattern.text, pattern.upper);
    });
}

}  // namespace process
}  // namespace wex
