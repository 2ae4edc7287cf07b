// KillProcess and GetPID through the real DLL, on real wexwin.exe processes.
// Patterns name wexwin only: nothing else on the machine may be touched.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "children.h"
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

}  // namespace
