// Loads Wexlib.dll, runs a thread, unloads the DLL and prints the message
// boxes seen meanwhile, one "caption|text" line each. Its argument:
//   setenv   first sets MY_DBGPRINT through the platform only
//   limit    prints "limit N", the wait limit the library started with
// Exit code 0, or 2 when the DLL does not load.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "boxes.h"

static DWORD WINAPI Idle(LPVOID) { return 0; }

int main(int argc, char** argv) {
    const char* argument = argc > 1 ? argv[1] : "";
    if (std::strcmp(argument, "setenv") == 0) SetEnvironmentVariableA("MY_DBGPRINT", "1");
    std::vector<wextest::Box> boxes;
    {
        wextest::BoxRecorder recorder;
        HMODULE dll = LoadLibraryA("Wexlib.dll");
        if (!dll) return 2;
        if (std::strcmp(argument, "limit") == 0) {
            using SetWaitLimit = int(__stdcall*)(int);
            auto set = reinterpret_cast<SetWaitLimit>(GetProcAddress(dll, "SetWaitLimit"));
            if (!set) return 2;
            std::printf("limit %d\n", set(0));
            std::fflush(stdout);
        }
        HANDLE thread = CreateThread(nullptr, 0, Idle, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        FreeLibrary(dll);
        boxes = recorder.Boxes();
    }
    for (const auto& b : boxes) std::printf("%s|%s\n", b.caption.c_str(), b.text.c_str());
    return 0;
}
