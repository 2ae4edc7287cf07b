// The pattern matcher and the matching pass (platform-free; also run natively
// under the sanitizers).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "process/pattern.h"

namespace {

using wex::process::MatchPattern;
using wex::process::Pattern;
using wex::process::PreparePattern;
using wex::process::SelectMatches;
using wex::process::TaskRecord;

struct MatchRow {
    const char* pattern;
    const char* text;
    int result;
};

void ExpectMatches(const std::vector<MatchRow>& rows) {
    for (const MatchRow& row : rows) {
        SCOPED_TRACE(std::string("pattern \"") + row.pattern + "\" text \"" + row.text + "\"");
        // Exact-size copies, so that the sanitizers catch a read past either end.
        std::vector<char> pattern(row.pattern, row.pattern + std::strlen(row.pattern) + 1);
        std::vector<char> text(row.text, row.text + std::strlen(row.text) + 1);
        EXPECT_EQ(MatchPattern(text.data(), pattern.data()), row.result);
    }
}

TEST(PatternMatcher, BasicElements) {
    ExpectMatches({
        {"", "", 1},          {"", "A", 0},          {"*", "", 1},          {"?", "", 0},
        {"A*B", "AXXB", 1},   {"A*B", "AXXBC", 0},   {"ABC", "abc", 1},     {"abc", "abc", 0},
        {"A?C", "abc", 1},    {"A?C", "AC", 0},      {"ABC", "AB", 0},      {"AB", "ABC", 0},
        {"*.EXE", "notepad.exe", 1}, {"*.EXE", "notepad.ex", 0},
    });
}

TEST(PatternMatcher, Stars) {
    ExpectMatches({
        {"**", "", 1},           {"A**B", "AB", 1},       {"*A*", "XYZ", 0},      {"*A*", "XAZ", 1},
        {"*AB", "AAB", 1},       {"*AB*AB", "ABXABAB", 1}, {"*A?", "AAA", 1},     {"*?*?", "A", 0},
        {"A*", "A", 1},          {"*KILL*", "Please kill me", 1}, {"*KILL*", "Kil l", 0},
        // Many stars against a long text: answered at once, not by trying every split.
        {"*A*A*A*A*A*A*A*A*A*A*A*A*A*A*A*A*B", std::string(200, 'a').c_str(), 0},
    });
}

TEST(PatternMatcher, Classes) {
    ExpectMatches({
        {"[A-M]*", "CALC", 1}, {"[A-M]*", "NOTE", 0}, {"[-C]", "A", 1},  {"[-C]", "D", 0},
        {"[A-]", "A", 1},      {"[A-]", "B", 0},      {"[]", "A", 0},    {"[]", "", 0},
        {"[ABC]", "b", 1},     {"[ABC]", "D", 0},     {"[A-C]", "", 0},  {"[AC-E]X", "dx", 1},
        // The range end is compared too when the previous member lies above it.
        {"[Z-B]", "B", 1},     {"[Z-B]", "C", 0},
        // After a failed range its end starts the next one: "-" to "Z" holds M.
        {"[A--Z]", "M", 1},    {"[A--Z]", "!", 0},
        // Members are taken as they stand: a lower-case member never matches.
        {"[a-z]", "m", 0},     {"[*?]", "?", 1},      {"[*?]", "X", 0},
        {"[[]", "[", 1},       {"[A-C][X-Z]", "BY", 1}, {"*[0-9]", "APP7", 1},
        {"[A-C]]", "A]", 1},
    });
}

TEST(PatternMatcher, ClassLeftOpenNeverMatches) {
    ExpectMatches({
        {"[A", "A", 0},   {"[AB", "B", 0},   {"[A-", "A", 0},  {"[A-C", "B", 0},
        {"[", "", 0},     {"[", "X", 0},     {"*[A", "XA", 0}, {"A[B", "AB", 0},
    });
}

TEST(PatternPreparation, UpperCasesAndRefusesLongPatterns) {
    Pattern p = PreparePattern("wex-Win.exe[a-z]?*");
    EXPECT_TRUE(p.usable);
    EXPECT_STREQ(p.text, "WEX-WIN.EXE[A-Z]?*");
    // Only a to z change case.
    EXPECT_STREQ(PreparePattern("\xe4x").text, "\xe4X");

    std::string longest(79, '*');
    EXPECT_TRUE(PreparePattern(longest.c_str()).usable);
    std::string tooLong(80, '*');
    Pattern refused = PreparePattern(tooLong.c_str());
    EXPECT_FALSE(refused.usable);
    TaskRecord task{};
    task.processId = 8;
    std::strcpy(task.processName, "a.exe");
    EXPECT_EQ(SelectMatches(&task, 1, refused, 4, false), 0u);
    EXPECT_EQ(task.selected, 0u);
}

TaskRecord Task(std::uint32_t id, const char* name, const char* title = "") {
    TaskRecord task{};
    task.processId = id;
    std::strcpy(task.processName, name);
    std::strcpy(task.windowTitle, title);
    return task;
}

class MatchingPass : public testing::Test {
protected:
    static constexpr std::uint32_t kCaller = 400;
    std::vector<TaskRecord> tasks_ = {
        Task(100, "system.exe"),
        Task(kCaller, "wexhost.exe", "Setup"),
        Task(200, "notepad.exe", "Untitled - Notepad"),
        Task(300, "notepad.exe", "Kill switch"),
        Task(500, "my.server.exe", "Server console"),
        Task(600, "notepad.exe"),
        Task(700, ""),
    };

    std::vector<std::uint32_t> Select(const char* pattern, bool firstOnly = false) {
        for (TaskRecord& t : tasks_) t.selected = 0;
        SelectMatches(tasks_.data(), tasks_.size(), PreparePattern(pattern), kCaller, firstOnly);
        std::vector<std::uint32_t> ids;
        for (const TaskRecord& t : tasks_)
            if (t.selected) ids.push_back(t.processId);
        return ids;
    }
};

TEST_F(MatchingPass, SelectsByStemNameOrTitle) {
    using Ids = std::vector<std::uint32_t>;
    struct Row {
        const char* pattern;
        Ids ids;
    } rows[] = {
        {"notepad", {200, 600}},          {"NOTEPAD.EXE", {200, 600}},  {"untitled - notepad", {200}},
        {"note*", {200, 600}},            {"n?tepad", {200, 600}},      {"notepad.*", {200, 600}},
        {"my", {500}},                    {"my.server.exe", {500}},     {"my.server", {}},
        {"server console", {500}},        {"*", {100, 200, 500, 600, 700}},
        {"wexhost", {}},                  {"setup", {}},                {"kill switch", {}},
        {"", {100, 600, 700}},            {"nothing", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        EXPECT_EQ(Select(row.pattern), row.ids);
    }
}

TEST_F(MatchingPass, FirstOnlyStopsAtTheFirstMatch) {
    EXPECT_EQ(Select("notepad", true), (std::vector<std::uint32_t>{200}));
    EXPECT_EQ(Select("*", true), (std::vector<std::uint32_t>{100}));
}

}  // namespace
