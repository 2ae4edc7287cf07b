// Which item names the log hides and how it masks texts, on their own (built
// natively under the sanitizers, and for Windows).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/logmask.h"
#include "frame/logtext.h"
#include "http/formpost.h"

namespace {

using namespace std::string_literals;
using wex::HiddenNames;
using wex::MaskedTexts;

TEST(NameMatches, WholeNamesWithWildcardsAndNoLetterCase) {
    struct Row {
        const char* pattern;
        const char* name;
        bool matches;
    } rows[] = {
        {"DB_*", "DB_HOST", true},
        {"DB_*", "db_host", true},
        {"DB_*", "DB_", true},
        {"DB_*", "ADB_HOST", false},       // a whole name, not a part of one
        {"*_ADDR?", "SERVER_ADDR1", true},
        {"*_ADDR?", "SERVER_ADDR", false},  // "?" takes exactly one character
        {"*_ADDR?", "SERVER_ADDR12", false},
        {"*PIN*", "PIN", true},
        {"*a*b*c", "xxaxxbxxbxxc", true},  // a "*" gives back what a later part needs
        {"*a*b*c", "xxaxxbxxbxxcx", false},
        {"**", "", true},
        {"?", "", false},
        {"", "", true},
        {"", "A", false},
        {"?", "\xc3\xa9", true},          // "é" in UTF-8: one character of two bytes
        {"??", "\xc3\xa9", false},
        {"?\xa9", "\xc3\xa9", false},     // no character starts inside another
        {"\xc3\xa9*", "\xc3\xa9t\xc3\xa9", true},
        {"*t", "\xc3\xa9t", true},
        {"\xf0\x9f\x92\xb3?", "\xf0\x9f\x92\xb3x", true},  // a character outside the BMP
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern + " ~ "s + row.name);
        EXPECT_EQ(wex::NameMatches(row.pattern, row.name), row.matches);
    }
}

TEST(HiddenNames, DefaultWordsInAnyCaseAndTheExtraPatterns) {
    const HiddenNames defaults;
    const HiddenNames extra(" Db_* ; *_ADDR? ;;\tLICENSE\t;");
    struct Row {
        const char* name;
        bool byDefault;
        bool withExtra;
    } rows[] = {
        {"DB_PASSWORD", true, true},  {"db_password", true, true}, {"ApiToken", true, true},
        {"PASSWD", true, true},       {"user_pwd", true, true},    {"ClientSecret", true, true},
        {"PRIVATE", true, true},      {"Credential", true, true},  {"MERCHANT_PUBLIC_KEY", true, true},
        {"monkey", true, true},       // holds "key": one value too many rather than one too few
        {"PORT", false, false},       {"MERCHANT_ID", false, false}, {"PASS", false, false},
        {"DB_HOST", false, true},     {"SERVER_ADDR1", false, true}, {"license", false, true},
        {"LICENSE_FILE", false, false}, {"", false, false},  // the empty patterns hide nothing
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(defaults.Hides(row.name), row.byDefault);
        EXPECT_EQ(extra.Hides(row.name), row.withExtra);
    }
}

TEST(FormEncoded, TheLibrarysFormIsURLEncodesForm) {
    for (const std::string& text : {"x=1&y=2 ~"s, "\xe9t\xe9"s, "tok \"9f3a\"\tx"s, ""s, "\0\x7f"s}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(wex::FormEncoded(text, wex::FormStyle::Library), wex::http::EncodeFormText(text).get());
    }
    EXPECT_EQ(wex::FormEncoded("a b=\xe9", wex::FormStyle::Other), "a%20b%3D%E9");
}

TEST(MaskedTexts, EachOccurrenceBecomesStarsAndTheRestStays) {
    MaskedTexts masks;
    EXPECT_TRUE(masks.Empty());
    masks.Add("hunter2");
    masks.Add("");  // masks nothing
    EXPECT_FALSE(masks.Empty());
    struct Row {
        std::string text;
        const char* masked;
    } rows[] = {
        {"pw=hunter2", "pw=***"},
        {"hunter2hunter2 and hunter2", "*** and ***"},  // one run, however many occurrences
        {"hunter", "hunter"},
        {"", ""},
        {"C:\\hunter2\\x.ini", "C:\\***\\x.ini"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(masks.Mask(row.text), row.masked);
    }
    EXPECT_TRUE(masks.Holds("a hunter2 b"));
    EXPECT_FALSE(masks.Holds("hunter 2"));

    // Overlapping texts make one run.
    MaskedTexts overlapping;
    overlapping.Add("abc");
    overlapping.Add("cde");
    EXPECT_EQ(overlapping.Mask("xabcdex abc"), "x***x ***");
}

TEST(MaskedTexts, FormEncodingsOfBothEncodingsAreMaskedToo) {
    MaskedTexts masks;
    // "geheim Schlüssel" in UTF-8, and as code page 1252 bytes.
    masks.Add("geheim Schl\xc3\xbcssel", "geheim Schl\xfcssel");
    struct Row {
        const char* text;
        const char* masked;
    } rows[] = {
        {"pw=geheim Schl\xc3\xbcssel", "pw=***"},
        {"pw%3dgeheim+Schl%c3%bcssel", "pw%3d***"},  // URLEncode of a W text's UTF-8
        {"pw%3dgeheim+Schl%fcssel", "pw%3d***"},     // URLEncode of an A text's code page bytes
        {"pw%3Dgeheim%20Schl%FCssel", "pw%3D***"},   // other encoders' form
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(masks.Mask(row.text), row.masked);
    }
}

TEST(MaskedTexts, EscapedLinesAreMaskedInTheirEscapedForm) {
    MaskedTexts masks;
    masks.Add("say \"open\"\tnow");
    const std::string line = "box [X] " + wex::LogEscape("we say \"open\"\tnow\r\n") + " (suppressed)";
    EXPECT_EQ(masks.MaskEscaped(line), "box [X] we ***\\r\\n (suppressed)");
    EXPECT_EQ(masks.Mask(line), line) << "a plain mask does not see escaped texts";
}

TEST(MaskedTexts, AKeyBlockIsMaskedWholeAndLineByLine) {
    const std::string block = "{\nTUlJQkNn\r\nS0NBUUVB==\n  }  \n}";
    MaskedTexts masks;
    masks.AddBlock(block);
    EXPECT_EQ(masks.Mask("key " + block + " end"), "key *** end");
    EXPECT_EQ(masks.Mask("x TUlJQkNn x"), "x *** x");
    EXPECT_EQ(masks.Mask("S0NBUUVB==&"), "***&");
    EXPECT_EQ(masks.Mask("MERCHANT_ID&S0NBUUVB&"), "MERCHANT_ID&***&") << "what a name listing shows of the line";
    EXPECT_EQ(masks.Mask("{ } a}b{"), "{ } a}b{") << "the frame's braces are no key text";
}

TEST(HiddenItemScanner, FindsTheValuesAndKeyBlocksOfHiddenNames) {
    const HiddenNames names;
    const auto hides = [&](std::string_view name) { return names.Hides(name); };
    struct Row {
        const char* what;
        std::vector<std::string> lines;
        std::vector<std::string> values;  // a key block as "block:" and its text
    } rows[] = {
        {"a hidden item, a visible one", {"DB_PASSWORD =  hunter2 \n", "PORT = 8443\n"}, {"hunter2 "}},
        {"the name as a listing shows it", {"  \r api_token  =x=y\n", "no separator\n", "OLD_PWD=1"}, {"x=y", "1"}},
        {"an empty value is nothing", {"SECRET =\n", "SECRET = \n"}, {}},
        {"a key block", {"MERCHANT_PRIVATE_KEY ={\n", "TUlJQkNn\n", "S0NB=\n", "  }\n", "PORT = 1\n"},
         {"block:{\nTUlJQkNn\nS0NB=\n}"}},
        {"a block of a visible name is no key", {"NOTES = {\n", "DB_PASSWORD = in a block\n", "}\n"},
         {"in a block"}},
        {"a block that never closes", {"KEY={\n", "TUlJ\n"}, {"block:{\nTUlJ\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        wex::HiddenItemScanner scanner;
        std::vector<wex::HiddenItemScanner::Found> found;
        for (const std::string& line : row.lines) scanner.Line(line, hides, found);
        scanner.End(found);
        std::vector<std::string> values;
        for (const auto& f : found) values.push_back(f.block ? "block:" + f.text : f.text);
        EXPECT_EQ(values, row.values);
    }
}

TEST(HiddenValueText, ShowsTheLength) {
    EXPECT_EQ(wex::HiddenValueText(19), "<hidden, 19 bytes>");
    EXPECT_EQ(wex::HiddenValueText(0), "<hidden, 0 bytes>");
}

}  // namespace
