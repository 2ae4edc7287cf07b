// The wildcard matcher against a plain recursive one, with pattern and text at
// the very end of their allocations so that a read past either terminator is
// caught; and the matching pass against the same reference. With the control
// byte's second bit, the same for the W exports' matcher: the fields are
// read as WTF-8 (a byte that starts no sequence as U+FFFD) and matched as
// UTF-16, under case rules of the fuzzer's own that also change letters
// beyond a to z; on ASCII it must agree with the byte matcher.
//
// Input: a control byte, the pattern, NUL, a process name, NUL, a window
// title. The control byte's low bit asks for the first match only, its
// second bit for the W exports' matcher.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "frame/utf.h"
#include "fuzz/fuzzinput.h"
#include "process/pattern.h"

namespace {

using namespace wex::process;
using namespace wexfuzz;

constexpr std::size_t npos = std::string_view::npos;

// ---- Reference -------------------------------------------------------------

unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }

// The class that opens at pattern[open] against one upper-cased character:
// where the pattern goes on after its "]", or npos when no member matches or
// the class is malformed or left open. Characters are bytes, or code points.
template <class Text, class Char>
std::size_t ClassEnd(const Text& pattern, std::size_t open, Char ch) {
    Char previous = 0;
    std::size_t i = open + 1;
    for (;;) {
        if (i >= pattern.size() || pattern[i] == ']') return npos;
        const Char c = static_cast<Char>(pattern[i]);
        if (c == '-') {
            if (i + 1 >= pattern.size() || pattern[i + 1] == ']') return npos;
            const Char last = static_cast<Char>(pattern[i + 1]);
            if ((previous <= ch && ch <= last) || ch == last) break;
            // The range's end is looked at again as a member of its own.
            previous = last;
            i += 1;
            continue;
        }
        if (c == ch) break;
        previous = c;
        ++i;
    }
    while (i < pattern.size() && pattern[i] != ']') ++i;
    return i < pattern.size() ? i + 1 : npos;
}

// Text holds the characters, already upper-cased; Char is how one compares.
template <class Text, class Char>
class ReferenceMatcher {
public:
    ReferenceMatcher(const Text& text, const Text& pattern)
        : text_(text), pattern_(pattern), known_((text.size() + 1) * (pattern.size() + 1), kUnknown) {}

    bool Matches() { return From(0, 0); }

private:
    static constexpr char kUnknown = 2;

    // Whether text from t matches pattern from p, remembered: stars would
    // otherwise try every split again and again.
    bool From(std::size_t t, std::size_t p) {
        char& known = known_[t * (pattern_.size() + 1) + p];
        if (known == kUnknown) known = Compute(t, p);
        return known != 0;
    }

    bool Compute(std::size_t t, std::size_t p) {
        if (p == pattern_.size()) return t == text_.size();
        const Char element = static_cast<Char>(pattern_[p]);
        if (element == '*') {
            for (std::size_t rest = t; rest <= text_.size(); ++rest)
                if (From(rest, p + 1)) return true;
            return false;
        }
        if (t == text_.size()) return false;
        const Char ch = static_cast<Char>(text_[t]);
        if (element == '?') return From(t + 1, p + 1);
        if (element == '[') {
            const std::size_t after = ClassEnd(pattern_, p, ch);
            return after != npos && From(t + 1, after);
        }
        return element == ch && From(t + 1, p + 1);
    }

    const Text& text_;
    const Text& pattern_;
    std::vector<char> known_;
};

bool Matches(std::string_view text, std::string_view pattern) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
    const std::string whole(pattern);
    return ReferenceMatcher<std::string, unsigned char>(upper, whole).Matches();
}

// ---- The matching pass -----------------------------------------------------

TaskRecord Task(std::uint32_t id, std::string_view name, std::string_view title) {
    TaskRecord task{};
    task.processId = id;
    std::memcpy(task.processName, name.data(), std::min(name.size(), sizeof task.processName - 1));
    std::memcpy(task.windowTitle, title.data(), std::min(title.size(), sizeof task.windowTitle - 1));
    return task;
}

std::vector<bool> ReferenceSelection(const std::vector<TaskRecord>& tasks, std::string_view pattern,
                                     std::uint32_t callerId, bool firstOnly) {
    std::vector<bool> selected(tasks.size(), false);
    if (pattern.size() >= 80) return selected;
    std::string prepared(pattern);
    for (char& c : prepared) c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        const std::string_view name = tasks[i].processName, title = tasks[i].windowTitle;
        if (tasks[i].processId == callerId || Matches(title, "*KILL*")) continue;
        const std::string_view stem = name.substr(0, name.find('.'));
        if (Matches(stem, prepared) || Matches(name, prepared) || Matches(title, prepared)) {
            selected[i] = true;
            if (firstOnly) break;
        }
    }
    return selected;
}

void CheckMatch(std::string_view text, std::string_view pattern) {
    std::unique_ptr<char[]> textCopy = CopyAtAllocationEnd(text);
    std::unique_ptr<char[]> patternCopy = CopyAtAllocationEnd(pattern);
    WEX_FUZZ_CHECK(MatchPattern(textCopy.get(), patternCopy.get()) == (Matches(text, pattern) ? 1 : 0));
}

// ---- The W exports' matcher -------------------------------------------------

// Case rules of the fuzzer's own, unit for unit: a to z, the Latin-1
// letters, Cyrillic and Greek, and one that maps a unit below 0x80 to one
// above it (the Kelvin sign's way, in reverse), so that the text's case
// matters beyond a to z.
char16_t FuzzUpperUnit(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x430 && c <= 0x44F) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2))
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if (c == u'~') return 0x212A;
    return c;
}

void FuzzUpper(char16_t* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) text[i] = FuzzUpperUnit(text[i]);
}

// The field's bytes as WTF-8, a byte that starts no sequence as U+FFFD.
std::u16string FromField(std::string_view field) {
    std::u16string units;
    for (std::size_t at = 0; at < field.size();) {
        char32_t c = wex::utf::NextCodePoint(field, at);
        if (c >= 0x10000) {
            c -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (c >> 10));
            units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    }
    return units;
}

// The characters of UTF-16 text, decoded by a loop of the reference's own.
std::u32string Characters(const std::u16string& units) {
    std::u32string characters;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            characters += 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else {
            characters += u;
        }
    }
    return characters;
}

std::u16string Uppered(std::u16string text) {
    for (char16_t& c : text) c = FuzzUpperUnit(c);
    return text;
}

bool WideMatches(const std::u16string& text, const std::u16string& pattern) {
    const std::u32string upper = Characters(Uppered(text)), whole = Characters(pattern);
    return ReferenceMatcher<std::u32string, char32_t>(upper, whole).Matches();
}

void CheckWideMatch(const std::u16string& text, const std::u16string& pattern) {
    WEX_FUZZ_CHECK(MatchWidePattern(text, pattern, FuzzUpper) == (WideMatches(text, pattern) ? 1 : 0));
    // Text the byte matcher can hold, under rules that agree on it: one answer.
    bool ascii = true;
    for (char16_t c : text) ascii = ascii && c < 0x80 && c != u'~';
    for (char16_t c : pattern) ascii = ascii && c < 0x80;
    if (!ascii) return;
    const std::string bytesText(text.begin(), text.end()), bytesPattern(pattern.begin(), pattern.end());
    WEX_FUZZ_CHECK(MatchWidePattern(text, pattern, FuzzUpper) == MatchPattern(bytesText.c_str(), bytesPattern.c_str()));
}

// A record as a W export's task list holds it: WTF-8, within the name's 79
// and the title's 255 units.
TaskRecord WideTask(std::uint32_t id, const std::u16string& name, const std::u16string& title) {
    const std::string n = wex::utf::Utf16ToWtf8(name.substr(0, 79)), t = wex::utf::Utf16ToWtf8(title.substr(0, 255));
    return Task(id, n, t);
}

std::vector<bool> WideReferenceSelection(const std::vector<TaskRecord>& tasks, const std::u16string& pattern,
                                         std::uint32_t callerId, bool firstOnly) {
    std::vector<bool> selected(tasks.size(), false);
    if (pattern.size() >= 80) return selected;
    const std::u16string prepared = Uppered(pattern);
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        const std::u16string name = *wex::utf::Wtf8ToUtf16(tasks[i].processName);
        const std::u16string title = *wex::utf::Wtf8ToUtf16(tasks[i].windowTitle);
        if (tasks[i].processId == callerId || WideMatches(title, u"*KILL*")) continue;
        const std::u16string stem = name.substr(0, name.find(u'.'));
        if (WideMatches(stem, prepared) || WideMatches(name, prepared) || WideMatches(title, prepared)) {
            selected[i] = true;
            if (firstOnly) break;
        }
    }
    return selected;
}

void CheckWide(std::string_view patternField, std::string_view nameField, std::string_view titleField,
               bool firstOnly) {
    const std::u16string pattern = FromField(patternField), name = FromField(nameField),
                         title = FromField(titleField);
    CheckWideMatch(name, pattern);
    CheckWideMatch(title, pattern);
    CheckWideMatch(pattern, name);

    const WidePattern prepared = PrepareWidePattern(pattern, FuzzUpper);
    WEX_FUZZ_CHECK(prepared.usable == (pattern.size() < 80));
    if (prepared.usable) WEX_FUZZ_CHECK(prepared.text == Uppered(pattern));

    constexpr std::uint32_t kCaller = 3;
    std::vector<TaskRecord> tasks = {WideTask(1, name, title), WideTask(2, title, name),
                                     WideTask(kCaller, name, title), WideTask(4, name, u"")};
    const std::vector<bool> expected = WideReferenceSelection(tasks, pattern, kCaller, firstOnly);
    const std::size_t count = SelectMatches(tasks.data(), tasks.size(), prepared, kCaller, firstOnly);
    std::size_t expectedCount = 0;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        WEX_FUZZ_CHECK((tasks[i].selected != 0) == expected[i]);
        expectedCount += expected[i];
    }
    WEX_FUZZ_CHECK(count == expectedCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const bool firstOnly = input.Control() & 1;
    // The pass's own bounds: patterns of up to 79 characters (a little more,
    // to see longer ones refused), names of 79 and titles of 255.
    const std::string_view pattern = input.Field().substr(0, 100);
    const std::string_view name = input.Field().substr(0, 300);
    const std::string_view title = input.Field().substr(0, 300);
    if (input.Control() & 2) {
        CheckWide(pattern, name, title, firstOnly);
        return 0;
    }

    CheckMatch(name, pattern);
    CheckMatch(title, pattern);
    CheckMatch(pattern, name);

    const Pattern prepared = PreparePattern(CopyAtAllocationEnd(pattern).get());
    WEX_FUZZ_CHECK(prepared.usable == (pattern.size() < 80));
    if (prepared.usable) {
        for (std::size_t i = 0; i < pattern.size(); ++i)
            WEX_FUZZ_CHECK(static_cast<unsigned char>(prepared.text[i]) ==
                           Upper(static_cast<unsigned char>(pattern[i])));
        WEX_FUZZ_CHECK(prepared.text[pattern.size()] == '\0');
    }

    constexpr std::uint32_t kCaller = 3;
    std::vector<TaskRecord> tasks = {Task(1, name, title), Task(2, title, name), Task(kCaller, name, title),
                                     Task(4, name, "")};
    const std::vector<bool> expected = ReferenceSelection(tasks, pattern, kCaller, firstOnly);
    const std::size_t count = SelectMatches(tasks.data(), tasks.size(), prepared, kCaller, firstOnly);
    std::size_t expectedCount = 0;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        WEX_FUZZ_CHECK((tasks[i].selected != 0) == expected[i]);
        expectedCount += expected[i];
    }
    WEX_FUZZ_CHECK(count == expectedCount);
    return 0;
}
