// The entry routine's trace boxes and the unattended-install settings that
// the library starts with, seen from a process that loads and unloads the
// real DLL with a chosen starting environment.
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "logfile.h"
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
// error, and no box appears. The log that WEXLIB_LOG names is neither opened
// nor written while the library is being loaded or unloaded (inside the
// loader lock): the attach box's line is written once the first export call
// opens it, and the detach box is never logged.
TEST(EntryRoutine, SilentAndLoggedFromTheStartingEnvironment) {
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    struct Row {
        const char* what;
        std::vector<std::string> env;
        const char* argument;
        const char* output;
        std::vector<std::string> logged;
    } rows[] = {
        {"silent, logged, one call", {"MY_DBGPRINT=1", "WEXLIB_SILENT=1", "WEXLIB_LOG=" + log}, "call",
         "[Debug] DLL_PROCESS_ATTACH\r\nlog at load: missing\r\n[Debug] DLL_PROCESS_DETACH\r\n",
         {"box [Debug] DLL_PROCESS_ATTACH (suppressed)", "SetWaitLimit(0) -> 0"}},
        {"silent, logged, no call: no log at all", {"MY_DBGPRINT=1", "WEXLIB_SILENT=1", "WEXLIB_LOG=" + log}, "",
         "[Debug] DLL_PROCESS_ATTACH\r\n[Debug] DLL_PROCESS_DETACH\r\n", {}},
        {"silent, no log", {"MY_DBGPRINT=1", "wexlib_silent="}, "",
         "[Debug] DLL_PROCESS_ATTACH\r\n[Debug] DLL_PROCESS_DETACH\r\n", {}},
        {"boxes shown, logged", {"MY_DBGPRINT=1", "Wexlib_Log=" + log}, "call",
         "log at load: missing\r\nDebug|DLL_PROCESS_ATTACH\r\nDebug|DLL_PROCESS_DETACH\r\n",
         {"box [Debug] DLL_PROCESS_ATTACH (shown)", "SetWaitLimit(0) -> 0"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DeleteFileA(log.c_str());
        EXPECT_EQ(RunProbe(row.env, row.argument), row.output);
        EXPECT_EQ(wextest::LogEvents(wextest::Wide(log)), row.logged);
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
        wextest::RunProgram("\"" + wextest::BesideTest("loadprobe.exe") + "\" call", env.c_str());
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, "[Debug] DLL_PROCESS_ATTACH\r\nlog at load: missing\r\n[Debug] DLL_PROCESS_DETACH\r\n");
    EXPECT_EQ(wextest::LogEvents(log),
              (std::vector<std::string>{"box [Debug] DLL_PROCESS_ATTACH (suppressed)", "SetWaitLimit(0) -> 0"}));
}

// A log that WEXLIB_LOG names in a missing folder says so once on standard
// error, at the first export call, and changes nothing else: every result,
// output and file is as without a log, and as with one that works.
TEST(EntryRoutine, ALogThatCannotBeOpenedChangesNoResult) {
    wextest::ScratchDir scratch;
    const std::string unopenable = scratch.Path("no such folder\\install.log");
    const std::string working = scratch.Path("install.log");
    struct Run {
        std::string output, items;
    };
    const std::string dir = scratch.Path("round");
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    const auto round = [&](const std::vector<std::string>& env) {
        DeleteFileA((dir + "\\round.ini").c_str());
        return Run{RunProbe(env, ("round \"" + dir + "\"").c_str()), wextest::ReadBytes(dir + "\\round.ini")};
    };
    const Run without = round({});
    const Run failing = round({"WEXLIB_LOG=" + unopenable});
    const Run logged = round({"WEXLIB_LOG=" + working});

    EXPECT_NE(without.output.find("GetFileItem 1 rotated"), std::string::npos) << without.output;
    EXPECT_EQ(logged.output, without.output);
    EXPECT_EQ(logged.items, without.items);
    EXPECT_EQ(failing.items, without.items);
    // One line about the log, before the first call's output; the rest as
    // without a log.
    const std::string said = "Wexlib: installer log " + unopenable + " not written: ";
    ASSERT_EQ(failing.output.rfind(said, 0), 0u) << failing.output;
    const std::size_t end = failing.output.find("\r\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_GT(end, said.size()) << "a reason in words";
    EXPECT_EQ(failing.output.substr(end + 2), without.output);
    EXPECT_FALSE(wextest::FileExists(scratch.Path("no such folder"))) << "the folder is not made";
    EXPECT_EQ(wextest::LogEvents(wextest::Wide(working)).size(), 8u)
        << "one line per call, and the missing file's standard error line";
}

// Which item values the log hides: names holding a default word in any
// letter case, and names that match a WEXLIB_LOG_HIDE pattern as a whole
// ("*" any run, "?" one character, letter case ignored in any script).
TEST(HiddenItems, DefaultNamesAndPatternsFromTheStartingEnvironment) {
    ASSERT_EQ(GetACP(), 1252u) << "the names below are code page 1252";
    struct Row {
        const char* name;
        bool hidden;
    } rows[] = {
        {"DB_PASSWORD", true},  {"db_password", true},     {"Api_Token", true},    {"passwd_hint", true},
        {"UserPwd", true},      {"client_SECRET", true},   {"Private_Note", true}, {"credentials", true},
        {"merchant_public_key", true},  // better a value too many than one too few
        {"PORT", false},        {"MERCHANT_ID", false},    {"PASS", false},        {"USER", false},
        // Db_*
        {"DB_HOST", true},      {"db_", true},             {"ADB_HOST", false},
        // *_ADDR?
        {"SERVER_ADDR1", true}, {"server_addr2", true},    {"SERVER_ADDR", false}, {"SERVER_ADDR12", false},
        // LICENSE, and an empty pattern that hides nothing
        {"license", true},      {"LICENSE_FILE", false},   {"", false},
        // kennw\xf6rt* ("kennwört*"): the name in upper case, as code page 1252 bytes
        {"KENNW\xd6RT_DB", true}, {"KENNWORT_DB", false},
    };
    wextest::ScratchDir scratch;
    std::string names;
    for (const Row& row : rows) names += std::string(row.name) + "\n";
    const std::string namesFile = scratch.Path("names.txt");
    wextest::WriteBytes(namesFile, names);
    const std::string log = scratch.Path("install.log");
    const std::string items = scratch.Path("items.ini");
    wextest::WriteBytes(items, "");
    const std::wstring env = WideEnvironmentBlock({L"WEXLIB_LOG_HIDE= Db_* ; *_ADDR? ;;LICENSE;kennw\u00f6rt*"});
    const wextest::ProgramRun run = wextest::RunProgram(
        "\"" + wextest::BesideTest("loadprobe.exe") + "\" items \"" + log + "\" \"" + items + "\" \"" + namesFile + "\"",
        env.c_str());
    ASSERT_EQ(run.exitCode, 0u) << run.output;

    const std::vector<std::string> logged = wextest::LogEvents(wextest::Wide(log));
    ASSERT_EQ(logged.size(), std::size(rows) + 2) << "each call once, between the log's opening and closing";
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string value = "value-" + std::to_string(++number) + ".";
        // The log is UTF-8: the code page 1252 name converted.
        std::wstring wide(64, L'\0');
        wide.resize(MultiByteToWideChar(1252, 0, row.name, -1, &wide[0], 64) - 1);
        const std::string prefix = "SetFileItem(\"" + items + "\", \"" + wextest::Utf8(wide) + "\", ";
        EXPECT_EQ(logged[number], prefix + (row.hidden ? "<hidden, " + std::to_string(value.size()) + " bytes>"
                                                       : "\"" + value + "\"") + ") -> 1");
    }
    // The file gets every value in clear: hiding is the log's business only.
    const std::string written = wextest::ReadBytes(items);
    for (int n = 1; n <= number; ++n)
        EXPECT_NE(written.find("=value-" + std::to_string(n) + ".\r\n"), std::string::npos) << n;
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
