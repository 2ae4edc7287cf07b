// Helper programs that tests start and wait for: built beside the test
// program, run with their output captured.
#pragma once

#include <windows.h>

#include <string>

namespace wextest {

// The full path of a program built beside the running test program.
std::string BesideTest(const std::string& file);

struct ProgramRun {
    bool started = false;
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error, as written
};

// Runs commandLine to its end with its standard output and error going to
// one pipe. environment: a complete environment block, or null for ours.
ProgramRun RunProgram(std::string commandLine, const char* environment = nullptr);
// The same with a UTF-16 environment block, for names in any language.
ProgramRun RunProgram(std::string commandLine, const wchar_t* environment);

}  // namespace wextest
