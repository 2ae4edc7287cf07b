// The wildcard matcher against a plain recursive one, with pattern and text at
// the very end of their allocations so that a read past either terminator is
// caught; and the matching pass against the same reference.
//
// Input: a control byte, the pattern, NUL, a process name, NUL, a window
// title. The control byte's low bit asks for the first match only.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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
// the class is malformed or left open.
std::size_t ClassEnd(std::string_view pattern, std::size_t open, unsigned char ch) {
    unsigned char previous = 0;
    std::size_t i = open + 1;
    for (;;) {
        if (i >= pattern.size() || pattern[i] == ']') return npos;
        const unsigned char c = static_cast<unsigned char>(pattern[i]);
        if (c == '-') {
            if (i + 1 >= pattern.size() || pattern[i + 1] == ']') return npos;
            const unsigned char last = static_cast<unsigned char>(pattern[i + 1]);
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

class ReferenceMatcher {
public:
    ReferenceMatcher(std::string_view text, std::string_view pattern)
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
        const char element = pattern_[p];
        if (element == '*') {
            for (std::size_t rest = t; rest <= text_.size(); ++rest)
                if (From(rest, p + 1)) return true;
            return false;
        }
        if (t == text_.size()) return false;
        const unsigned char ch = Upper(static_cast<unsigned char>(text_[t]));
        if (element == '?') return From(t + 1, p + 1);
        if (element == '[') {
            const std::size_t after = ClassEnd(pattern_, p, ch);
            return after != npos && From(t + 1, after);
        }
        return static_cast<unsigned char>(element) == ch && From(t + 1, p + 1);
    }

    std::string_view text_, pattern_;
    std::vector<char> known_;
};

bool Matches(std::string_view text, std::string_view pattern) { return ReferenceMatcher(text, pattern).Matches(); }

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const bool firstOnly = input.Control() & 1;
    // The pass's own bounds: patterns of up to 79 characters (a little more,
    // to see longer ones refused), names of 79 and titles of 255.
    const std::string_view pattern = input.Field().substr(0, 100);
    const std::string_view name = input.Field().substr(0, 300);
    const std::string_view title = input.Field().substr(0, 300);

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
