// The entry routine's trace boxes and the unattended-install settings that
// the library starts with, seen from a process that loads and unloads the
// real DLL with a chosen starting environment.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "programs.h"
#include "scratch.h"

namespace {

bool NameIs(const char* entry, const char* name) {
    const int length = lstrlenA(name);
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry, length, name, length) == CSTR_EQUAL;
}

// The current environment without the library's switches (in any letter
// case), plus extra.
std::string EnvironmentBlock(const std::vector<std::string>& extra) {
    std::string block;
    char* env = GetEnvironmentStringsA();
    for (const char* p = env; *p; p += lstrlenA(p) + 1) {
        if (NameIs(p, "MY_DBGPRINT=") || NameIs(p, "WEXLIB_")) continue;
        block.append(p).push_back('\0');
    }
    FreeEnvironmentStringsA(env);
    for (const std::string& variable : extra) block.append(variable).push_back('\0');
    block.push_back('\0');
    return block;
}

// The same as a UTF-16 block, for variables whose values are in any language.
std::wstring WideEnvironmentBlock(const std::vector<std::wstring>& extra) {
    std::wstring block;
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += lstrlenW(p) + 1) {
        const std::string name = wextest::Utf8(p);
        if (NameIs(name.c_str(), "MY_DBGPRINT=") || NameIs(name.c_str(), "WEXLIB_")) continue;
        block.append(p).push_back(L'\0');
    }
    FreeEnvironmentStringsW(env);
    for (const std::wstring& variable : extra) block.append(variable).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// Runs the probe and returns what it printed; it must have loaded the DLL.
std::string RunProbe(const std::vector<std::string>& extraEnv, const char* argument = "") {
    std::string env = EnvironmentBlock(extraEnv);
    wextest::ProgramRun run = wextest::RunProgram("\"" + wextest::BesideTest("loadprobe.exe") + "\" " + argument, env.c_str());
    EXPECT_TRUE(run.started) << GetLastError();
    EXPECT_EQ(run.exitCode, 0u) << "the probe could not load the DLL";
    return run.output;
}

const char* const kTraced = "Debug|DLL_PROCESS_ATTACH\r\nDebug|DLL_PROCESS_DETACH\r\n";

TEST(EntryRoutine, TraceBoxesFollowTheStartingEnvironment) {
    struct Row {
        std::vector<std::string> env;
        const char* expected;
    } rows[] = {
        {{}, ""},
        {{"MY_DBGPRINT=1"}, kTraced},
        {{"my_dbgprint=yes"}, kTraced},
        {{"MY_DBGPRINT="}, kTraced},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.env.empty() ? "(none)" : row.env[0]);
        EXPECT_EQ(RunProbe(row.env), row.expected);
    }
}

TEST(EntryRoutine, SwitchSetThroughThePlatformAfterStartIsNotSeen) {
    EXPECT_EQ(RunProbe({}, "setenv"), "");
}

// Silent from the start: the trace boxes of load and unload go to standard
// error and to the log named by WEXLIB_LOG, and no box appears.
TEST(EntryRoutine, SilentAndLoggedFromTheStartingEnvironment) {
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    struct Row {
        std::vector<std::string> env;
        const char* output;
        std::vector<std::string> logged;
    } rows[] = {
        {{"MY_DBGPRINT=1", "WEXLIB_SILENT=1", "WEXLIB_LOG=" + log},
         "[Debug] DLL_PROCESS_ATTACH\r\n[Debug] DLL_PROCESS_DETACH\r\n",
         {"box [Debug] DLL_PROCESS_ATTACH (suppressed)", "box [Debug] DLL_PROCESS_DETACH (suppressed)"}},
        {{"MY_DBGPRINT=1", "wexlib_silent="}, "[Debug] DLL_PROCESS_ATTACH\r\n[Debug] DLL_PROCESS_DETACH\r\n", {}},
        {{"MY_DBGPRINT=1", "Wexlib_Log=" + log}, kTraced,
         {"box [Debug] DLL_PROCESS_ATTACH (shown)", "box [Debug] DLL_PROCESS_DETACH (shown)"}},
    };
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.env[1]);
        DeleteFileA(log.c_str());
        EXPECT_EQ(RunProbe(row.env), row.output);
        std::vector<std::string> logged;
        const std::string text = wextest::FileExists(log) ? wextest::ReadBytes(log) : "";
        for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
            std::smatch m;
            const std::string line = text.substr(at, end - at);
            ASSERT_TRUE(std::regex_match(line, m, stamped)) << line;
            logged.push_back(m[1]);
        }
        EXPECT_EQ(logged, row.logged);
    }
}

// WEXLIB_LOG is read from the wide environment: the log may live in a
// folder of any name, and it is UTF-8.
TEST(EntryRoutine, LogNamedInAnyLanguageFromTheStartingEnvironment) {
    wextest::ScratchDir scratch;
    const std::wstring folder = wextest::Wide(scratch.Root()) + L"\\\u0416\u0443\u0440\u043d\u0430\u043b \u65e5\u8a8c";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring log = folder + L"\\install.log";
    const std::wstring env = WideEnvironmentBlock({L"MY_DBGPRINT=1", L"WEXLIB_SILENT=1", L"WEXLIB_LOG=" + log});
    const wextest::ProgramRun run =
        wextest::RunProgram("\"" + wextest::BesideTest("loadprobe.exe") + "\"", env.c_str());
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, "[Debug] DLL_PROCESS_ATTACH\r\n[Debug] DLL_PROCESS_DETACH\r\n");
    const std::string text = wextest::ReadBytes(log);
    ASSERT_NE(text, "<missing>");
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
    std::vector<std::string> logged;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::smatch m;
        const std::string line = text.substr(at, end - at);
        ASSERT_TRUE(std::regex_match(line, m, stamped)) << line;
        logged.push_back(m[1]);
    }
    EXPECT_EQ(logged, (std::vector<std::string>{"box [Debug] DLL_PROCESS_ATTACH (suppressed)",
                                                "box [Debug] DLL_PROCESS_DETACH (suppressed)"}));
}

TEST(EntryRoutine, WaitLimitFromTheStartingEnvironment) {
    struct Row {
        std::vector<std::string> env;
        const char* output;
    } rows[] = {
        {{}, "limit 0\r\n"},
        {{"WEXLIB_WAIT_LIMIT=2500"}, "limit 2500\r\n"},
        {{"wexlib_wait_limit=300"}, "limit 300\r\n"},
        {{"WEXLIB_WAIT_LIMIT=soon"}, "limit 0\r\n"},
        {{"WEXLIB_WAIT_LIMIT=-5"}, "limit 0\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.env.empty() ? "(none)" : row.env[0]);
        EXPECT_EQ(RunProbe(row.env, "limit"), row.output);
    }
}

}  // namespace
