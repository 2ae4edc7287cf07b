// Holds docs/reference.md to the export table and the public header (natively,
// no Wine needed): one section per export, headed "## N. Name" with the
// export's ordinal, in ordinal order, each quoting the export's declaration
// line exactly as wexlib.h writes it and naming its NSIS macro. A wide twin
// (NameW at the ordinal plus 100) is described in its export's section: its
// declaration line there too, and a line that starts with
// "**Wide twin.** `NameW`, ordinal N". An export added, renamed, renumbered
// or redeclared without its section fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text's lines without their line ends (LF or CR LF).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

struct Export {
    std::string name;
    int ordinal;
};

// The entries of the export table file, in the file's order.
std::vector<Export> TableExports(const std::string& def) {
    static const std::regex entry(R"(^\s+([A-Za-z_][A-Za-z0-9_]*)(@\d+)?\s+@(\d+)\s*$)");
    std::vector<Export> exports;
    for (const std::string& line : Lines(def)) {
        std::smatch m;
        if (std::regex_match(line, m, entry)) exports.push_back({m[1], std::stoi(m[3])});
    }
    return exports;
}

// Export name -> its declaration line in the header.
std::map<std::string, std::string> HeaderDeclarations(const std::string& header) {
    static const std::regex declaration(R"(^WEXAPI int WEXCALL ([A-Za-z_][A-Za-z0-9_]*)\(.*)");
    std::map<std::string, std::string> declarations;
    for (const std::string& line : Lines(header)) {
        std::smatch m;
        if (std::regex_match(line, m, declaration)) declarations[m[1]] = line;
    }
    return declarations;
}

struct Section {
    int ordinal;
    std::string name;
    std::size_t lineNumber;
    std::vector<std::string> lines;
};

// The export sections: each level-2 heading that starts with a digit opens one,
// which runs to the next heading of level 1 or 2. Headings inside fenced code
// blocks are text. A digit-led heading of another form is reported, so that a
// mistyped heading cannot pass as prose.
std::vector<Section> ExportSections(const std::string& reference, std::vector<std::string>& problems) {
    static const std::regex heading(R"(^(#+) (.*)$)");
    static const std::regex exportHeading(R"(^([0-9]+)\. ([A-Za-z_][A-Za-z0-9_]*)$)");
    std::vector<Section> sections;
    bool inSection = false;
    bool inFence = false;
    std::size_t number = 0;
    for (const std::string& line : Lines(reference)) {
        ++number;
        if (line.rfind("```", 0) == 0) inFence = !inFence;
        std::smatch h;
        if (!inFence && std::regex_match(line, h, heading) && h[1].length() <= 2) {
            inSection = false;
            const std::string title = h[2];
            if (h[1].length() == 2 && !title.empty() && title[0] >= '0' && title[0] <= '9') {
                std::smatch e;
                if (std::regex_match(title, e, exportHeading)) {
                    sections.push_back({std::stoi(e[1]), e[2], number, {}});
                    inSection = true;
                } else {
                    problems.push_back("line " + std::to_string(number) + ": heading \"" + line +
                                       "\" is not of the form \"## N. ExportName\"");
                }
            }
            continue;
        }
        if (inSection) sections.back().lines.push_back(line);
    }
    return sections;
}

bool HasLine(const Section& section, const std::string& wanted) {
    for (const std::string& line : section.lines)
        if (line == wanted) return true;
    return false;
}

bool HasLineStarting(const Section& section, const std::string& start) {
    for (const std::string& line : section.lines)
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

bool HasMacroLine(const Section& section) {
    const std::string macro = "!insertmacro Wexlib_" + section.name;
    for (const std::string& line : section.lines)
        if (line == macro || line.rfind(macro + " ", 0) == 0) return true;
    return false;
}

// Every way in which the reference disagrees with the table and the header.
std::vector<std::string> CheckReference(const std::string& def, const std::string& header,
                                        const std::string& reference) {
    std::vector<std::string> problems;
    std::map<std::string, int> table;
    for (const Export& e : TableExports(def)) table[e.name] = e.ordinal;
    const std::map<std::string, std::string> declarations = HeaderDeclarations(header);
    const std::vector<Section> sections = ExportSections(reference, problems);

    // The wide twins: NameW at Name's ordinal plus 100.
    std::map<std::string, std::string> twinOf;
    for (const auto& [name, ordinal] : table) {
        const auto twin = table.find(name + "W");
        if (twin != table.end() && twin->second == ordinal + 100) twinOf[name] = twin->first;
    }

    std::set<std::string> covered;
    int previous = 0;
    for (const Section& s : sections) {
        const std::string where = "line " + std::to_string(s.lineNumber) + ": section \"" +
                                  std::to_string(s.ordinal) + ". " + s.name + "\"";
        if (s.ordinal <= previous)
            problems.push_back(where + " comes after ordinal " + std::to_string(previous));
        previous = s.ordinal;
        const auto inTable = table.find(s.name);
        if (inTable == table.end()) {
            problems.push_back(where + " names no export of the table");
            continue;
        }
        if (!covered.insert(s.name).second) problems.push_back(where + " repeats an earlier section");
        if (inTable->second != s.ordinal)
            problems.push_back(where + ": the table gives ordinal " + std::to_string(inTable->second));
        const auto declared = declarations.find(s.name);
        if (declared == declarations.end())
            problems.push_back(where + ": the header declares no " + s.name);
        else if (!HasLine(s, declared->second))
            problems.push_back(where + " lacks the header's declaration line: " + declared->second);
        if (!HasMacroLine(s)) problems.push_back(where + " has no \"!insertmacro Wexlib_" + s.name + "\" line");
        const auto twin = twinOf.find(s.name);
        if (twin == twinOf.end()) continue;
        covered.insert(twin->second);
        const auto twinDeclared = declarations.find(twin->second);
        if (twinDeclared == declarations.end())
            problems.push_back(where + ": the header declares no " + twin->second);
        else if (!HasLine(s, twinDeclared->second))
            problems.push_back(where + " lacks the header's declaration line: " + twinDeclared->second);
        const std::string twinLine =
            "**Wide twin.** `" + twin->second + "`, ordinal " + std::to_string(s.ordinal + 100);
        if (!HasLineStarting(s, twinLine)) problems.push_back(where + " has no line \"" + twinLine + "...\"");
    }
    for (const auto& [name, ordinal] : table)
        if (!covered.count(name))
            problems.push_back("export " + name + " (ordinal " + std::to_string(ordinal) + ") has no section");
    return problems;
}

std::string Joined(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& p : problems) text += p + "\n";
    return text;
}

TEST(Reference, HasOneSectionPerExportInOrdinalOrder) {
    const std::string def = ReadText(WEX_DEF_FILE);
    const std::string header = ReadText(WEX_HEADER_FILE);
    const std::string reference = ReadText(WEX_REFERENCE_FILE);
    // Unreadable or unparsed inputs would leave nothing to compare.
    ASSERT_FALSE(TableExports(def).empty()) << WEX_DEF_FILE;
    ASSERT_FALSE(HeaderDeclarations(header).empty()) << WEX_HEADER_FILE;
    ASSERT_FALSE(reference.empty()) << WEX_REFERENCE_FILE;

    const std::vector<std::string> problems = CheckReference(def, header, reference);
    EXPECT_TRUE(problems.empty()) << Joined(problems);
}

// The check itself, on a small table, header and reference, so that each fault
// it exists for is shown to be caught.
class ReferenceCheck : public testing::Test {
protected:
    const std::string def_ =
        "LIBRARY \"Wexlib.dll\"\nEXPORTS\n    Alpha@4 @1\n    Beta@8 @3\n";
    const std::string header_ =
        "WEXAPI int WEXCALL Alpha(const char *a);\nWEXAPI int WEXCALL Beta(int b, char *out);\n";

    static std::string Section(const std::string& heading, const std::string& declaration,
                               const std::string& macro) {
        return heading + "\n\n```c\n" + declaration + "\n```\n\n```nsis\n" + macro + "\n```\n\nText.\n\n";
    }
    std::string AlphaSection() const {
        return Section("## 1. Alpha", "WEXAPI int WEXCALL Alpha(const char *a);", "!insertmacro Wexlib_Alpha \"x\" $0");
    }
    std::string BetaSection() const {
        return Section("## 3. Beta", "WEXAPI int WEXCALL Beta(int b, char *out);", "!insertmacro Wexlib_Beta 1 $0 $1");
    }
    std::string Intro() const { return "# Reference\n\n## Conventions\n\nText.\n\n"; }

    // True when the check reports a problem containing the given words.
    ::testing::AssertionResult Reports(const std::string& reference, const std::string& words) const {
        const std::vector<std::string> problems = CheckReference(def_, header_, reference);
        for (const std::string& p : problems)
            if (p.find(words) != std::string::npos) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no problem with \"" << words << "\" among:\n" << Joined(problems);
    }
};

TEST_F(ReferenceCheck, AcceptsAMatchingReference) {
    const std::vector<std::string> problems = CheckReference(def_, header_, Intro() + AlphaSection() + BetaSection());
    EXPECT_TRUE(problems.empty()) << Joined(problems);
}

TEST_F(ReferenceCheck, ReportsAnExportWithoutSection) {
    EXPECT_TRUE(Reports(Intro() + AlphaSection(), "export Beta (ordinal 3) has no section"));
}

TEST_F(ReferenceCheck, ReportsASectionForNoExport) {
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + BetaSection() +
                            Section("## 4. Gamma", "WEXAPI int WEXCALL Gamma(void);", "!insertmacro Wexlib_Gamma $0"),
                        "\"4. Gamma\" names no export"));
}

TEST_F(ReferenceCheck, ReportsARenamedHeading) {
    std::string beta = BetaSection();
    beta.replace(beta.find("Beta"), 4, "Betta");
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + beta, "\"3. Betta\" names no export"));
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + beta, "export Beta (ordinal 3) has no section"));
}

TEST_F(ReferenceCheck, ReportsAWrongOrdinal) {
    std::string beta = BetaSection();
    beta.replace(0, 4, "## 2");
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + beta, "\"2. Beta\": the table gives ordinal 3"));
}

TEST_F(ReferenceCheck, ReportsSectionsOutOfOrder) {
    EXPECT_TRUE(Reports(Intro() + BetaSection() + AlphaSection(), "\"1. Alpha\" comes after ordinal 3"));
}

TEST_F(ReferenceCheck, ReportsARepeatedSection) {
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + BetaSection() + BetaSection(), "repeats an earlier section"));
}

TEST_F(ReferenceCheck, ReportsAMalformedExportHeading) {
    std::string beta = BetaSection();
    beta.replace(0, 9, "## 3 Beta");
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + beta, "is not of the form"));
}

TEST_F(ReferenceCheck, ReportsADeclarationThatDriftedFromTheHeader) {
    std::string beta = BetaSection();
    beta.replace(beta.find("char *out"), 9, "char *buf");
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + beta, "\"3. Beta\" lacks the header's declaration line"));
}

TEST_F(ReferenceCheck, ReportsAnExportTheHeaderDoesNotDeclare) {
    const std::vector<std::string> problems = CheckReference(
        def_, "WEXAPI int WEXCALL Alpha(const char *a);\n", Intro() + AlphaSection() + BetaSection());
    EXPECT_NE(Joined(problems).find("the header declares no Beta"), std::string::npos) << Joined(problems);
}

TEST_F(ReferenceCheck, ReportsAMissingMacroLine) {
    std::string beta = BetaSection();
    beta.replace(beta.find("Wexlib_Beta"), 11, "Wexlib_Beat");
    EXPECT_TRUE(Reports(Intro() + AlphaSection() + beta, "has no \"!insertmacro Wexlib_Beta\" line"));
}

// A wide twin lives in its export's section, with its declaration and its line.
class TwinCheck : public ReferenceCheck {
protected:
    const std::string twinDef_ = def_ + "    AlphaW@4 @101\n";
    const std::string twinHeader_ = header_ + "WEXAPI int WEXCALL AlphaW(const wchar_t *a);\n";
    std::string AlphaWithTwin(const std::string& twinLine) const {
        return "## 1. Alpha\n\n```c\nWEXAPI int WEXCALL Alpha(const char *a);\n"
               "WEXAPI int WEXCALL AlphaW(const wchar_t *a);\n```\n\n!insertmacro Wexlib_Alpha \"x\" $0\n\n" +
               twinLine + "\n\n";
    }
    std::string Problems(const std::string& alpha) const {
        return Joined(CheckReference(twinDef_, twinHeader_, Intro() + alpha + BetaSection()));
    }
};

TEST_F(TwinCheck, AcceptsATwinInItsExportsSection) {
    EXPECT_EQ(Problems(AlphaWithTwin("**Wide twin.** `AlphaW`, ordinal 101: the same with UTF-16 texts.")), "");
}

TEST_F(TwinCheck, ReportsATwinWithoutItsLineOrDeclaration) {
    EXPECT_NE(Problems(AlphaWithTwin("")).find("has no line \"**Wide twin.** `AlphaW`, ordinal 101"),
              std::string::npos);
    EXPECT_NE(Problems(AlphaWithTwin("**Wide twin.** `AlphaW`, ordinal 110")).find("has no line"),
              std::string::npos);
    EXPECT_NE(Problems(AlphaSection() + "**Wide twin.** `AlphaW`, ordinal 101\n\n")
                  .find("lacks the header's declaration line: WEXAPI int WEXCALL AlphaW"),
              std::string::npos);
}

// A twin at any other ordinal is an export of its own and needs its section.
TEST_F(TwinCheck, ReportsATwinAtAnotherOrdinal) {
    const std::vector<std::string> problems =
        CheckReference(def_ + "    AlphaW@4 @102\n", twinHeader_,
                       Intro() + AlphaWithTwin("**Wide twin.** `AlphaW`, ordinal 101") + BetaSection());
    EXPECT_NE(Joined(problems).find("export AlphaW (ordinal 102) has no section"), std::string::npos)
        << Joined(problems);
}

// A declaration that sits in another export's section does not count for it.
TEST_F(ReferenceCheck, ReportsADeclarationInTheWrongSection) {
    const std::string alpha = "## 1. Alpha\n\n```c\nWEXAPI int WEXCALL Alpha(const char *a);\n"
                              "WEXAPI int WEXCALL Beta(int b, char *out);\n```\n\n"
                              "!insertmacro Wexlib_Alpha \"x\" $0\n\n";
    const std::string beta = "## 3. Beta\n\n!insertmacro Wexlib_Beta 1 $0 $1\n\n";
    EXPECT_TRUE(Reports(Intro() + alpha + beta, "\"3. Beta\" lacks the header's declaration line"));
}

// A heading inside a fenced block is text: it neither opens a section nor ends one.
TEST_F(ReferenceCheck, IgnoresHeadingsInCodeBlocks) {
    std::string alpha = AlphaSection();
    alpha += "```markdown\n## 7. Delta\n```\n\n";
    const std::vector<std::string> problems = CheckReference(def_, header_, Intro() + alpha + BetaSection());
    EXPECT_TRUE(problems.empty()) << Joined(problems);
}

}  // namespace
