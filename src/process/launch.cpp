#include "process/launch.h"

#include <windows.h>

#include <string>

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/winhandles.h"

namespace wex {
namespace process {
namespace {

int Launch(const char* commandLine, const char* workingDirectory) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    // CreateProcessW may write to its command line: it gets a copy.
    std::wstring line = Widen(commandLine);
    const std::wstring directory = workingDirectory ? Widen(workingDirectory) : std::wstring();
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                       workingDirectory ? directory.c_str() : nullptr, &startup, &created)) {
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

}  // namespace process
}  // namespace wex
