// Loads Wexlib.dll, runs a thread, unloads the DLL and prints the message
// boxes seen meanwhile, one "caption|text" line each. With "setenv" as its
// argument it first sets MY_DBGPRINT through the platform only.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "boxes.h"

static DWORD WINAPI Idle(LPVOID) { return 0; }

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "setenv") == 0) SetEnvironmentVariableA("MY_DBGPRINT", "1");
    std::vector<wextest::Box> boxes;
    {
        wextest::BoxRecorder recorder;
        HMODULE dll = LoadLibraryA("Wexlib.dll");
        if (!dll) return 2;
        HANDLE thread = CreateThread(nullptr, 0, Idle, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        FreeLibrary(dll);
        boxes = recorder.Boxes();
    }
    for (const auto& b : boxes) std::printf("%s|%s\n", b.caption.c_str(), b.text.c_str());
    return 0;
}
