// KillProcess and GetPID through the real DLL, on real wexwin.exe processes.
// Patterns name wexwin only: nothing else on the machine may be touched.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "children.h"
#include "programs.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::WindowChild;

std::string Line(const char* format, DWORD id) {
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<int>(id));
    return text;
}

TEST(KillProcessExport, ByIdTerminatesWhateverTheForce) {
    for (int force : {0, 1}) {
        SCOPED_TRACE(force);
        WindowChild child({"Id target"});
        wextest::StdCapture capture;
        EXPECT_EQ(KillProcess("", static_cast<int>(child.Id()), force), 1);
        EXPECT_EQ(capture.Out(), Line("process #%d killed\n", child.Id()));
        EXPECT_EQ(child.ExitCode(5000), 1);
    }
}

TEST(KillProcessExport, ByIdOfNoProcessFails) {
    // Far above any id in use; an ended child's id could already be reused.
    const DWORD id = 0x7FFFFFF0;
    wextest::StdCapture capture;
    EXPECT_EQ(KillProcess("wexwin", static_cast<int>(id), 1), 0);
    EXPECT_EQ(capture.Out(), Line("process #%d could not be killed\n", id));
}

TEST(KillProcessExport, ByPatternAsksOrTerminates) {
    struct Row {
        const char* pattern;
        int force;
        long exitCode;  // wexwin ends with 0 when its window is asked to close
    } rows[] = {{"WeXwIn", 0, 0}, {"wexwin", 1, 1}, {"wexwin.exe", 0, 0}, {"Round Target", 0, 0},
                {"wex*", 1, 1},   {"w?xwin", 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        WindowChild child({"Round Target"});
        wextest::StdCapture capture;
        EXPECT_EQ(KillProcess(row.pattern, 0, row.force), 1);
        EXPECT_EQ(capture.Out(), Line("process #%d [wexwin.exe] killed\n", child.Id()));
        EXPECT_EQ(child.ExitCode(5000), row.exitCode);
    }
}

TEST(KillProcessExport, CloseRequestReachesTheProgramsOwnWindow) {
    // Several windows, the last one untitled: the request must still go to
    // one of the program's windows, not to its input-method helper window.
    WindowChild child({"One", "Two", ""});
    wextest::StdCapture capture;
    EXPECT_EQ(KillProcess("wexwin", 0, 0), 1);
    EXPECT_EQ(child.ExitCode(5000), 0);
}

TEST(KillProcessExport, TwoSelectedTasksEachGetALine) {
    WindowChild first({"First"});
    WindowChild second({});  // no window: terminated even with force 0
    wextest::StdCapture capture;
    EXPECT_EQ(KillProcess("wexwin", 0, 0), 1);
    const std::string out = capture.Out();
    EXPECT_NE(out.find(Line("process #%d [wexwin.exe] killed\n", first.Id())), std::string::npos) << out;
    EXPECT_NE(out.find(Line("process #%d [wexwin.exe] killed\n", second.Id())), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_EQ(first.ExitCode(5000), 0);
    EXPECT_EQ(second.ExitCode(5000), 1);
}

TEST(KillProcessExport, KillTitleProtects) {
    WindowChild child({"please KiLl me", ""});
    wextest::StdCapture capture;
    EXPECT_EQ(KillProcess("wexwin", 0, 1), 0);
    EXPECT_EQ(GetPID("wexwin"), 0);
    EXPECT_EQ(capture.Out(), "");
    EXPECT_TRUE(child.Running());
}

TEST(KillProcessExport, RefusedArguments) {
    WindowChild child({"Bystander"});
    struct Row {
        std::string pattern;
        const char* lines;
    } rows[] = {{"", "missing pid or task name\n"},
                {"wexwin" + std::string(74, '*'), ""},
                {"nomatch-wexwin", ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        wextest::StdCapture capture;
        EXPECT_EQ(KillProcess(row.pattern.c_str(), 0, 1), 0);
        EXPECT_EQ(capture.Out(), row.lines);
    }
    EXPECT_EQ(KillProcess(nullptr, static_cast<int>(child.Id()), 1), 0);
    EXPECT_TRUE(child.Running());
}

TEST(GetPidExport, FindsTheFirstMatch) {
    WindowChild child({"Unique Title 42"});
    const int id = static_cast<int>(child.Id());
    struct Row {
        std::string pattern;
        int result;
    } rows[] = {
        {"wexwin", id},         {"WEXWIN.EXE", id},  {"unique title 42", id}, {"wexw*", id},
        {"wexw?n", id},         {"[v-x]exwin", id},  {"wexwin" + std::string(73, '*'), id},
        {"wexwin" + std::string(74, '*'), 0},        {"no such wexwin", 0},
        // The empty pattern names no process, although every task without a
        // window title would match it.
        {"", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        wextest::StdCapture capture;
        EXPECT_EQ(GetPID(row.pattern.c_str()), row.result);
        EXPECT_EQ(capture.Out(), "");
    }
    EXPECT_EQ(GetPID(nullptr), 0);
    EXPECT_TRUE(child.Running());
}

TEST(GetPidExport, NeverReturnsTheCaller) {
    const int star = GetPID("*");
    EXPECT_NE(star, 0);
    EXPECT_NE(star, static_cast<int>(GetCurrentProcessId()));
    EXPECT_EQ(GetPID("process_tests"), 0);
    EXPECT_EQ(GetPID("process_tests.exe"), 0);
}

// ---- The wide twins ----------------------------------------------------------

using wextest::Wide;

// The text in code page 1252, for the A export.
std::string Ansi(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    std::string bytes(wide.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0],
                                      static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

// GetPID or its twin, with the pattern given as UTF-8.
int GetPidBy(bool wide, const std::string& pattern) {
    return wide ? GetPIDW(Wide(pattern).c_str()) : GetPID(Ansi(pattern).c_str());
}

int KillBy(bool wide, const std::string& pattern, int id, int force) {
    return wide ? KillProcessW(Wide(pattern).c_str(), id, force) : KillProcess(Ansi(pattern).c_str(), id, force);
}

// A copy of wexwin.exe under a name that the ANSI code page (1252 here)
// cannot hold: Cyrillic, Japanese and a character beyond the BMP.
class NamedProgram {
public:
    NamedProgram() : path_(scratch_.Path("магазин店💳.exe")) {
        EXPECT_TRUE(CopyFileW(Wide(wextest::BesideTest("wexwin.exe")).c_str(), Wide(path_).c_str(), TRUE))
            << GetLastError();
    }
    std::wstring Path() const { return Wide(path_); }

private:
    wextest::ScratchDir scratch_;
    std::string path_;
};

const char kImage[] = "магазин店💳.exe";
const char kTitle[] = "Кассовое окно 💳";

// For names the ANSI code page holds, the twins answer as their exports.
TEST(ProcessTwins, AnswerAsTheirExportsForAsciiNames) {
    {
        WindowChild child({"Unique Title 42"});
        const int id = static_cast<int>(child.Id());
        struct Row {
            std::string pattern;
            int result;
        } rows[] = {
            {"wexwin", id},       {"WEXWIN.EXE", id},   {"unique title 42", id}, {"wexw*", id},
            {"[v-x]exwin", id},   {"wexwin" + std::string(73, '*'), id},     {"wexwin" + std::string(74, '*'), 0},
            {"no such wexwin", 0}, {"", 0},
        };
        for (const Row& row : rows) {
            for (bool wide : {false, true}) {
                SCOPED_TRACE((wide ? "W " : "A ") + row.pattern);
                wextest::StdCapture capture;
                EXPECT_EQ(GetPidBy(wide, row.pattern), row.result);
                EXPECT_EQ(capture.Out(), "");
            }
        }
        EXPECT_EQ(GetPIDW(nullptr), 0);
    }
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "W" : "A");
        WindowChild target({"Round Target"});
        wextest::StdCapture capture;
        EXPECT_EQ(KillBy(wide, "WeXwIn", 0, 0), 1);
        EXPECT_EQ(capture.Out(), Line("process #%d [wexwin.exe] killed\n", target.Id()));
        EXPECT_EQ(target.ExitCode(5000), 0);
    }
}

TEST(ProcessTwins, GetPidWMatchesNamesAndTitlesInAnyLanguage) {
    const NamedProgram program;
    WindowChild child(program.Path(), {kTitle});
    const int id = static_cast<int>(child.Id());
    const std::string stem = "магазин店💳";  // 10 UTF-16 units
    struct Row {
        std::string pattern;
        int result;
    } rows[] = {
        {stem, id},
        // Letter case by the platform's rules, in every script.
        {"МАГАЗИН店💳", id},
        {"Магазин店💳.EXE", id},
        {"КАССОВОЕ*", id},
        {"кассовое ОКНО 💳", id},
        // The pair is one character for "?" and in classes.
        {"магазин店?", id},
        {"магазин店??", 0},
        {"магазин店[💳]", id},
        {"*[\U0001F4B0-\U0001F4BF]", id},
        {"[а-я]агазин*", id},
        {"*окно ?", id},
        // 79 UTF-16 units match, 80 are refused.
        {stem + std::string(69, '*'), id},
        {stem + std::string(70, '*'), 0},
        {"магазин店", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        EXPECT_EQ(GetPidBy(true, row.pattern), row.result);
    }
    EXPECT_TRUE(child.Running());
}

// The A exports keep their own matching: bytes, only a to z in either case.
TEST(ProcessTwins, OnlyTheTwinsFoldLettersBeyondAToZ) {
    WindowChild child(Wide(wextest::BesideTest("wexwin.exe")), {"café crème"});
    const int id = static_cast<int>(child.Id());
    struct Row {
        bool wide;
        std::string pattern;
        int result;
    } rows[] = {
        {false, "café*", id}, {false, "CAFÉ CRÈME", 0}, {false, "CAF? CR?ME", id},
        {true, "café*", id},  {true, "CAFÉ CRÈME", id}, {true, "CAF? CR?ME", id},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((row.wide ? "W " : "A ") + row.pattern);
        EXPECT_EQ(GetPidBy(row.wide, row.pattern), row.result);
    }
}

TEST(ProcessTwins, KillProcessWEndsProcessesNamedInAnyLanguage) {
    const NamedProgram program;
    struct Row {
        std::string pattern;
        int force;
        long exitCode;  // 0: asked to close; 1: terminated
    } rows[] = {
        {"МАГАЗИН店💳", 0, 0}, {"магазин店💳.exe", 1, 1}, {"кассовое окно 💳", 0, 0}, {"Магазин店?", 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        WindowChild child(program.Path(), {kTitle});
        wextest::StdCapture capture;
        EXPECT_EQ(KillBy(true, row.pattern, 0, row.force), 1);
        // The twin's lines are UTF-8.
        EXPECT_EQ(capture.Out(), Line("process #%d [", child.Id()) + kImage + "] killed\n");
        EXPECT_EQ(child.ExitCode(5000), row.exitCode);
    }
    {
        WindowChild child(program.Path(), {kTitle});
        wextest::StdCapture capture;
        EXPECT_EQ(KillProcessW(L"", static_cast<int>(child.Id()), 0), 1);
        EXPECT_EQ(capture.Out(), Line("process #%d killed\n", child.Id()));
        EXPECT_EQ(child.ExitCode(5000), 1);
    }
    {
        // A title with "kill" in it protects its process from the twin too.
        WindowChild child(program.Path(), {"KiLl магазин"});
        wextest::StdCapture capture;
        EXPECT_EQ(KillProcessW(Wide("магазин店💳").c_str(), 0, 1), 0);
        EXPECT_EQ(KillProcessW(L"", 0, 1), 0);
        EXPECT_EQ(capture.Out(), "missing pid or task name\n");
        EXPECT_TRUE(child.Running());
    }
}

}  // namespace
