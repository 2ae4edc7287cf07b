// The entry routine's trace boxes, seen from a process that loads and unloads
// the real DLL with a chosen starting environment.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "programs.h"

namespace {

// The current environment without MY_DBGPRINT (in any letter case), plus extra.
std::string EnvironmentBlock(const std::string& extra) {
    std::string block;
    char* env = GetEnvironmentStringsA();
    for (const char* p = env; *p; p += lstrlenA(p) + 1) {
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, p, 12, "MY_DBGPRINT=", 12) == CSTR_EQUAL) continue;
        block.append(p).push_back('\0');
    }
    FreeEnvironmentStringsA(env);
    if (!extra.empty()) block.append(extra).push_back('\0');
    block.push_back('\0');
    return block;
}

// Runs the probe and returns what it printed.
std::string RunProbe(const std::string& extraEnv, const char* argument = "") {
    std::string env = EnvironmentBlock(extraEnv);
    wextest::ProgramRun run = wextest::RunProgram("\"" + wextest::BesideTest("loadprobe.exe") + "\" " + argument, env.c_str());
    EXPECT_TRUE(run.started) << GetLastError();
    return run.output;
}

const char* const kTraced = "Debug|DLL_PROCESS_ATTACH\r\nDebug|DLL_PROCESS_DETACH\r\n";

TEST(EntryRoutine, TraceBoxesFollowTheStartingEnvironment) {
    struct Row {
        const char* env;
        const char* expected;
    } rows[] = {
        {"", ""},
        {"MY_DBGPRINT=1", kTraced},
        {"my_dbgprint=yes", kTraced},
        {"MY_DBGPRINT=", kTraced},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.env);
        EXPECT_EQ(RunProbe(row.env), row.expected);
    }
}

TEST(EntryRoutine, SwitchSetThroughThePlatformAfterStartIsNotSeen) {
    EXPECT_EQ(RunProbe("", "setenv"), "");
}

}  // namespace
