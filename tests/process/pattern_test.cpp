// The pattern matcher and the matching pass (platform-free; also run natively
// under the sanitizers).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/utf.h"
#include "process/pattern.h"

namespace {

using wex::process::MatchPattern;
using wex::process::MatchWidePattern;
using wex::process::PrepareWidePattern;
using wex::process::WidePattern;
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

// ---- The W exports' matcher ------------------------------------------------

// Stands in for the platform's case rules: a to z, and the Cyrillic a to ya
// and yo, unit for unit.
void TestUpper(char16_t* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        char16_t& c = text[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
        else if (c >= 0x430 && c <= 0x44F) c = static_cast<char16_t>(c - 0x20);
        else if (c == 0x451) c = 0x401;
    }
}

std::string Shown(const std::u16string& text) { return wex::utf::Utf16ToWtf8(text); }

struct WideRow {
    std::u16string pattern;
    std::u16string text;
    int result;
};

void ExpectWideMatches(const std::vector<WideRow>& rows) {
    for (const WideRow& row : rows) {
        SCOPED_TRACE("pattern \"" + Shown(row.pattern) + "\" text \"" + Shown(row.text) + "\"");
        EXPECT_EQ(MatchWidePattern(row.text, row.pattern, TestUpper), row.result);
    }
}

// On texts of ASCII letters both matchers give the same answers.
TEST(WidePatternMatcher, AgreesWithTheByteMatcherOnAscii) {
    const std::vector<MatchRow> rows = {
        {"", "", 1},          {"", "A", 0},           {"*", "", 1},            {"?", "", 0},
        {"A*B", "AXXB", 1},   {"A*B", "AXXBC", 0},    {"[A-M]*", "CALC", 1},   {"[A-M]*", "NOTE", 0},
        {"[-C]", "A", 1},     {"[-C]", "D", 0},       {"[A-]", "A", 1},        {"[A-]", "B", 0},
        {"[]", "A", 0},       {"ABC", "abc", 1},      {"abc", "abc", 0},       {"*A*A*B", "aaaab", 1},
        {"[Z-B]", "B", 1},    {"[A--Z]", "M", 1},     {"[A--Z]", "!", 0},      {"[A-C]]", "A]", 1},
        {"[A-C", "B", 0},     {"*[A", "XA", 0},       {"*KILL*", "Please kill me", 1},
    };
    for (const MatchRow& row : rows) {
        SCOPED_TRACE(std::string("pattern \"") + row.pattern + "\" text \"" + row.text + "\"");
        const std::string p = row.pattern, t = row.text;
        EXPECT_EQ(MatchWidePattern(std::u16string(t.begin(), t.end()), std::u16string(p.begin(), p.end()), TestUpper),
                  row.result);
        EXPECT_EQ(MatchPattern(row.text, row.pattern), row.result);
    }
}

TEST(WidePatternMatcher, CaseOfEveryScriptTheCaseRulesKnow) {
    ExpectWideMatches({
        {u"МАГАЗИН*", u"магазин окно", 1},
        {u"МАГАЗИН ЁЛКА", u"Магазин ёлка", 1},
        // The pattern is taken as it stands: the callers upper-case it first.
        {u"магазин", u"магазин", 0},
        // Letters the rules do not change compare as they are.
        {u"店舗", u"店舗", 1},
        {u"店舗", u"店", 0},
        {u"[А-Я]УК", u"жук", 1},
        // Ё lies outside the run А to Я.
        {u"[А-Я]", u"ё", 0},
        {u"[А-ЯЁ]", u"ё", 1},
    });
}

TEST(WidePatternMatcher, ASurrogatePairIsOneCharacter) {
    ExpectWideMatches({
        {u"?", u"\U0001F4B3", 1},
        {u"??", u"\U0001F4B3", 0},
        {u"店?", u"店\U0001F4B3", 1},
        {u"*\U0001F4B3", u"Магазин \U0001F4B3", 1},
        {u"[\U0001F4B3]", u"\U0001F4B3", 1},
        {u"[\U0001F4B0-\U0001F4BF]*", u"\U0001F4B3 card", 1},
        {u"[\U0001F4B0-\U0001F4BF]", u"\U0001F4C0", 0},
        // Half of a pair is no member of a class that holds the pair.
        {u"[\U0001F4B3]", u"\xD83D", 0},
        {u"[\U0001F4B3]?", u"\xD83D\xDCB3", 0},
        // A lone surrogate is a character of its own, and so is each half of
        // two halves in the wrong order.
        {u"?", u"\xD83D", 1},
        {u"[\xD83D]", u"\xD83D", 1},
        {u"??", u"\xDCB3\xD83D", 1},
        {u"?", u"\xD83D\xD83D", 0},
        {u"[\U0001F4B3", u"\U0001F4B3", 0},
    });
}

TEST(WidePatternPreparation, UpperCasesAndRefusesPatternsOfMoreThan79Units) {
    const WidePattern p = PrepareWidePattern(u"магазин店[а-я]?*", TestUpper);
    EXPECT_TRUE(p.usable);
    EXPECT_EQ(p.text, u"МАГАЗИН店[А-Я]?*");
    EXPECT_TRUE(PrepareWidePattern(std::u16string(79, u'*'), TestUpper).usable);
    EXPECT_FALSE(PrepareWidePattern(std::u16string(80, u'*'), TestUpper).usable);
    // Units, not characters: 39 pairs and a star take 79 units, 40 pairs 80.
    std::u16string pairs;
    for (int i = 0; i < 39; ++i) pairs += u"\U0001F4B3";
    EXPECT_TRUE(PrepareWidePattern(pairs + u"*", TestUpper).usable);
    EXPECT_FALSE(PrepareWidePattern(pairs + u"\U0001F4B3", TestUpper).usable);
}

// The records of a W export hold WTF-8.
class WideMatchingPass : public testing::Test {
protected:
    static constexpr std::uint32_t kCaller = 400;
    std::vector<TaskRecord> tasks_ = {
        Task(100, "system.exe"),
        Task(kCaller, "магазин店💳.exe", "Магазин"),
        Task(200, "магазин店💳.exe", "Кассовое окно 💳"),
        Task(300, "магазин店💳.exe", "please KiLl me"),
        Task(500, "店舗.сервер.exe"),
        Task(600, "notepad.exe", "Без имени"),
    };

    std::vector<std::uint32_t> Select(const std::u16string& pattern, bool firstOnly = false) {
        for (TaskRecord& t : tasks_) t.selected = 0;
        SelectMatches(tasks_.data(), tasks_.size(), PrepareWidePattern(pattern, TestUpper), kCaller, firstOnly);
        std::vector<std::uint32_t> ids;
        for (const TaskRecord& t : tasks_)
            if (t.selected) ids.push_back(t.processId);
        return ids;
    }
};

TEST_F(WideMatchingPass, SelectsByStemNameOrTitle) {
    using Ids = std::vector<std::uint32_t>;
    struct Row {
        std::u16string pattern;
        Ids ids;
    } rows[] = {
        {u"МАГАЗИН店\U0001F4B3", {200}},       {u"магазин店\U0001F4B3.EXE", {200}},
        {u"магазин店?", {200}},                 {u"магазин店??", {}},
        {u"кассовое*", {200}},                  {u"*окно ?", {200}},
        {u"店舗", {500}},                        {u"店舗.сервер.exe", {500}},
        {u"店舗.сервер", {}},                    {u"без имени", {600}},
        {u"*", {100, 200, 500, 600}},           {u"магазин", {}},
        {u"МАГАЗИН店\U0001F4B3" + std::u16string(69, u'*'), {200}},
        {u"МАГАЗИН店\U0001F4B3" + std::u16string(70, u'*'), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Shown(row.pattern));
        EXPECT_EQ(Select(row.pattern), row.ids);
    }
    EXPECT_EQ(Select(u"*", true), (Ids{100}));
}

}  // namespace
