#include "process/launch.h"

#include <windows.h>

#include <string>

#include "frame/diagnostics.h"
#include "frame/winhandles.h"

namespace wex::process {
namespace {

int Launch(const char* commandLine, const char* workingDirectory) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    // CreateProcessA takes a writable command line: hand it a copy.
    std::string line = commandLine;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                       workingDirectory, &startup, &created)) {
        UniqueHandle process(created.hProcess);
        UniqueHandle thread(created.hThread);
        DebugBox("Process Created OK");
        process.Reset();
        thread.Reset();
        return 1;
    }
    const int error = static_cast<int>(GetLastError());

    // The text is built whole, so a command line of any length is quoted
    // completely and no fixed buffer can be overrun.
    std::string text = "Error executing ";
    text += commandLine;
    text += ", Last Error: ";
    text += std::to_string(error);
    DebugBox("Process not created");
    DebugBox(text.c_str());
    ShowBox(text.c_str(), "StartProcess");
    return 0;
}

}  // namespace

int RunCommand(const char* commandLine, const char* workingDirectory) {
    DebugBox("RunCommand");
    return Launch(commandLine, workingDirectory);
}

}  // namespace wex::process
