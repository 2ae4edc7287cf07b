// RunCommand through the real DLL: the process it starts, the working
// directory, the boxes on failure and the "Debug" trace sequences.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "boxes.h"
#include "children.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::Box;

// MY_DBGPRINT is read through the C runtime's environment, which this
// process shares with the library.
void SetTrace(bool on) { _putenv(on ? "MY_DBGPRINT=1" : "MY_DBGPRINT="); }

class Launch : public testing::Test {
protected:
    void SetUp() override {
        SetTrace(false);
        program_ = scratch_.Path("fakegen.exe");
        ASSERT_TRUE(CopyFileA(wextest::BesideTest("fakegen.exe").c_str(), program_.c_str(), FALSE));
        record_ = scratch_.Path("record.txt");
    }
    void TearDown() override {
        wextest::EndChildrenNamed("fakegen.exe");
        SetTrace(false);
        _putenv("WEXTEST_RECORD=");
        _putenv("WEXTEST_LINGER=");
    }

    // The record the started program wrote, waited for up to 20 s.
    std::string Record() {
        for (int i = 0; i < 200 && !wextest::FileExists(record_); ++i) Sleep(100);
        return wextest::ReadBytes(record_);
    }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::string program_;
    std::string record_;
};

TEST_F(Launch, StartsTheCommandLineInTheWorkingDirectory) {
    _putenv(("WEXTEST_RECORD=" + record_).c_str());
    std::string workDir = scratch_.Path("work");
    ASSERT_TRUE(CreateDirectoryA(workDir.c_str(), nullptr));
    std::string commandLine = program_ + " -output x -input none";
    EXPECT_EQ(RunCommand(commandLine.c_str(), workDir.c_str()), 1);
    EXPECT_EQ(Record(), commandLine + "\n" + workDir + "\n<no seed file>");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(Launch, NullWorkingDirectoryKeepsOurs) {
    _putenv(("WEXTEST_RECORD=" + record_).c_str());
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(RunCommand(program_.c_str(), nullptr), 1);
    EXPECT_EQ(Record(), program_ + "\n" + current + "\n");
}

TEST_F(Launch, ReturnsAtOnceWhileTheProgramRuns) {
    _putenv("WEXTEST_LINGER=1");
    DWORD start = GetTickCount();
    EXPECT_EQ(RunCommand(program_.c_str(), scratch_.Root().c_str()), 1);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_LT(elapsed, 1000u) << "RunCommand must not wait for the program";
    Sleep(300);
    EXPECT_EQ(wextest::ChildrenNamed("fakegen.exe").size(), 1u) << "the program runs on";
}

TEST_F(Launch, FailureShowsOneStartProcessBox) {
    struct Row {
        const char* label;
        std::string commandLine;
        std::string workDir;
        int error;
    } rows[] = {
        {"missing program", scratch_.Path("missing.exe") + " -x 100%d", scratch_.Root(), 2},
        {"missing working directory", program_, scratch_.Path("no-such-dir"), 267},
        // Far longer than the 428 bytes a failure text once had: quoted whole.
        {"long command line", scratch_.Path(std::string(600, 'L') + ".exe"), scratch_.Root(), 0},
    };
    // The code the platform itself gives for the long one.
    auto platformError = [](std::string commandLine, const std::string& workDir) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created{};
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                           workDir.c_str(), &startup, &created)) {
            CloseHandle(created.hThread);
            CloseHandle(created.hProcess);
            return 0;
        }
        return static_cast<int>(GetLastError());
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        boxes_.Clear();
        EXPECT_EQ(RunCommand(row.commandLine.c_str(), row.workDir.c_str()), 0);
        std::vector<Box> seen = boxes_.Boxes();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].caption, "StartProcess");
        const int error = row.error != 0 ? row.error : platformError(row.commandLine, row.workDir);
        ASSERT_NE(error, 0);
        EXPECT_EQ(seen[0].text, "Error executing " + row.commandLine + ", Last Error: " + std::to_string(error));
        EXPECT_TRUE(wextest::ChildrenNamed("fakegen.exe").empty());
    }
}

TEST_F(Launch, TraceSwitchAddsDebugBoxesInOrder) {
    const std::string missing = scratch_.Path("missing.exe");
    const std::string failure = "Error executing " + missing + ", Last Error: 2";
    struct Row {
        const char* label;
        bool trace;
        std::string commandLine;
        int result;
        std::vector<Box> boxes;
    } rows[] = {
        {"success, trace on", true, program_, 1, {{"Debug", "RunCommand"}, {"Debug", "Process Created OK"}}},
        {"success, trace off", false, program_, 1, {}},
        {"failure, trace on", true, missing, 0,
         {{"Debug", "RunCommand"}, {"Debug", "Process not created"}, {"Debug", failure}, {"StartProcess", failure}}},
        {"failure, trace off", false, missing, 0, {{"StartProcess", failure}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        boxes_.Clear();
        SetTrace(row.trace);
        EXPECT_EQ(RunCommand(row.commandLine.c_str(), scratch_.Root().c_str()), row.result);
        SetTrace(false);
        EXPECT_EQ(boxes_.Boxes(), row.boxes);
    }
}

// ---- The wide twin -----------------------------------------------------------

using wextest::Wide;

int RunBy(bool wide, const std::string& commandLine, const std::string& workDir) {
    return wide ? RunCommandW(Wide(commandLine).c_str(), Wide(workDir).c_str())
                : RunCommand(commandLine.c_str(), workDir.c_str());
}

// A program and a working directory whose names the ANSI code page (1252
// here) cannot hold: Cyrillic, Japanese and a character beyond the BMP.
class NamedLaunch : public Launch {
protected:
    void SetUp() override {
        Launch::SetUp();
        folder_ = scratch_.Root() + "\\Магазин 店舗 💳";
        ASSERT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr));
        namedProgram_ = folder_ + "\\генератор 💳.exe";
        ASSERT_TRUE(CopyFileW(Wide(program_).c_str(), Wide(namedProgram_).c_str(), TRUE));
        workDir_ = folder_ + "\\рабочая 店";
        ASSERT_TRUE(CreateDirectoryW(Wide(workDir_).c_str(), nullptr));
    }

    std::string folder_, namedProgram_, workDir_;
};

TEST_F(NamedLaunch, TwinStartsAProgramNamedInAnyLanguage) {
    _putenv(("WEXTEST_RECORD=" + record_).c_str());
    const std::string commandLine = "\"" + namedProgram_ + "\" -output \"вывод 💳\" -input none";
    EXPECT_EQ(RunCommandW(Wide(commandLine).c_str(), Wide(workDir_).c_str()), 1);
    EXPECT_EQ(Record(), commandLine + "\n" + workDir_ + "\n<no seed file>");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(NamedLaunch, TwinsFailureBoxQuotesTheCommandLine) {
    struct Row {
        bool wide;
        std::string commandLine;
        std::string workDir;
        int error;
    } const rows[] = {
        {false, scratch_.Path("missing.exe") + " -x 100%d", scratch_.Root(), 2},
        {true, scratch_.Path("missing.exe") + " -x 100%d", scratch_.Root(), 2},
        {true, "\"" + folder_ + "\\нет такой 💳.exe\" -x", scratch_.Root(), 2},
        {true, "\"" + namedProgram_ + "\"", folder_ + "\\нет 店", 267},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((row.wide ? "W " : "A ") + row.commandLine);
        boxes_.Clear();
        EXPECT_EQ(RunBy(row.wide, row.commandLine, row.workDir), 0);
        const std::string text = "Error executing " + row.commandLine + ", Last Error: " + std::to_string(row.error);
        EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"StartProcess", text}}));
    }
    // The trace boxes in the same order for the twin.
    SetTrace(true);
    boxes_.Clear();
    const std::string missing = "\"" + folder_ + "\\нет такой 💳.exe\"";
    const std::string failure = "Error executing " + missing + ", Last Error: 2";
    EXPECT_EQ(RunCommandW(Wide(missing).c_str(), nullptr), 0);
    SetTrace(false);
    EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Debug", "RunCommand"},
                                                {"Debug", "Process not created"},
                                                {"Debug", failure},
                                                {"StartProcess", failure}}));
}

}  // namespace
