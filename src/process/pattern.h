// Wildcard patterns over process names and window titles, and the matching
// pass that selects tasks by them. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>

#include "process/tasks.h"

namespace wex {
namespace process {

// 1 when the whole text matches the whole pattern. Text characters are
// upper-cased (a to z only) before comparison; pattern characters are taken
// as they stand. Elements: "*" any run, "?" any one character, "[...]" a
// class with ranges ("a-z"), anything else itself. A class that the end of
// the pattern reaches before its "]" never matches.
int MatchPattern(const char* text, const char* pattern);

// The caller's pattern as the matching pass uses it: at most 79 characters,
// upper-cased (a to z only).
constexpr std::size_t kPatternSize = 80;
struct Pattern {
    char text[kPatternSize];
    // False when the caller's pattern was longer than 79 characters. Such a
    // pattern is refused rather than shortened: a shortened pattern could
    // select a process the caller never named.
    bool usable;
};
Pattern PreparePattern(const char* pattern);

// The matching pass over tasks[0..count): skips the caller's own process and
// tasks whose title contains "KILL" (any case), then selects a task whose
// stem (name up to its first "."), whole name or title matches. Sets the
// selected flag of every match (of the first one only when firstOnly) and
// returns the number selected. A refused pattern selects nothing.
std::size_t SelectMatches(TaskRecord* tasks, std::size_t count, const Pattern& pattern,
                          std::uint32_t callerId, bool firstOnly);

}  // namespace process
}  // namespace wex
