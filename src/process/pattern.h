// Wildcard patterns over process names and window titles, and the matching
// pass that selects tasks by them. Platform-free.
//
// An A export matches bytes (MatchPattern); a W export matches the UTF-16
// texts by the same rules over characters, with letter case ignored by the
// platform's rules (MatchWidePattern), which come in through an UpperCase
// function so that the matching itself needs no platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// ---- The W exports' matching ----------------------------------------------

// Upper-cases a UTF-16 text in place, keeping its length: the platform's case
// rules in the library, any rules a test chooses.
using UpperCase = void (*)(char16_t* text, std::size_t length);

// MatchPattern's rules over the characters of UTF-16 texts: a surrogate pair
// is one character for "?" and in classes (a lone surrogate one of its own),
// classes and ranges compare code points, and the text is upper-cased by
// upper before comparison while the pattern is taken as it stands.
int MatchWidePattern(std::u16string_view text, std::u16string_view pattern, UpperCase upper);

// A W export's pattern as its matching pass uses it: at most 79 UTF-16
// units, upper-cased by upper (a longer pattern is refused, as above).
struct WidePattern {
    std::u16string text;
    UpperCase upper;
    bool usable;
};
WidePattern PrepareWidePattern(std::u16string_view pattern, UpperCase upper);

// The matching pass of a W export, whose task records hold WTF-8
// (frame/utf.h); the same steps as SelectMatches above.
std::size_t SelectMatches(TaskRecord* tasks, std::size_t count, const WidePattern& pattern,
                          std::uint32_t callerId, bool firstOnly);

}  // namespace process
}  // namespace wex
