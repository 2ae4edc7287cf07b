#include "process/pattern.h"

#include <cstring>

#include "frame/ascii.h"

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
    std::size_t selected = 0;
    for (std::size_t i = 0; i < count; ++i) {
        TaskRecord& task = tasks[i];
        if (task.processId == callerId) continue;
        if (MatchPattern(task.windowTitle, "*KILL*")) continue;
        char stem[kProcessNameSize];
        std::memcpy(stem, task.processName, sizeof stem);
        stem[sizeof stem - 1] = '\0';
        if (char* dot = std::strchr(stem, '.')) *dot = '\0';
        if (MatchPattern(stem, pattern.text) || MatchPattern(task.processName, pattern.text) ||
            MatchPattern(task.windowTitle, pattern.text)) {
            task.selected = 1;
            ++selected;
            if (firstOnly) break;
        }
    }
    return selected;
}

}  // namespace process
}  // namespace wex
