// Loads Wexlib.dll, runs a thread, unloads the DLL and prints the message
// boxes seen meanwhile, one "caption|text" line each. Its argument:
//   setenv      first sets MY_DBGPRINT through the platform only
//   limit       prints "limit N", the wait limit the library started with
//   call        prints "log at load: present" or "missing", whether the file
//               that WEXLIB_LOG names exists once the DLL is loaded, then
//               calls one export (SetWaitLimit(0))
//   round DIR   calls a few exports on files in DIR and prints each call's
//               result and output, one line each
//   items LOG ITEMS NAMES
//               logs to LOG: sets an item in ITEMS for each line of the file
//               NAMES (its bytes as they are), with the value "value-N."
//               for line N, then closes the log
// Exit code 0, or 2 when the DLL does not load.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "boxes.h"

static DWORD WINAPI Idle(LPVOID) { return 0; }

namespace {

template <class Function>
Function Bound(HMODULE dll, const char* name) {
    return reinterpret_cast<Function>(GetProcAddress(dll, name));
}

using Int1 = int(__stdcall*)(int);
using Text1 = int(__stdcall*)(const char*);
using Text2 = int(__stdcall*)(const char*, char*);
using Text3 = int(__stdcall*)(const char*, const char*, const char*);
using TextBuffer3 = int(__stdcall*)(const char*, const char*, char*);

// The same calls with and without a log: what they return and write must
// not depend on it.
bool Round(HMODULE dll, const std::string& dir) {
    const auto setLimit = Bound<Int1>(dll, "SetWaitLimit");
    const auto hide = Bound<Text1>(dll, "HideInLog");
    const auto encode = Bound<Text2>(dll, "URLEncode");
    const auto set = Bound<Text3>(dll, "SetFileItem");
    const auto add = Bound<Text3>(dll, "AddFileItem");
    const auto get = Bound<TextBuffer3>(dll, "GetFileItem");
    if (!setLimit || !hide || !encode || !set || !add || !get) return false;
    const std::string items = dir + "\\round.ini";
    char buffer[400] = "";
    std::printf("SetWaitLimit %d\n", setLimit(0));
    std::printf("HideInLog %d\n", hide("hunter2"));
    std::printf("URLEncode %d %s\n", encode("pw=hunter2 x", buffer), buffer);
    std::printf("AddFileItem %d\n", add(items.c_str(), "DB_PASSWORD", "hunter2"));
    std::printf("SetFileItem %d\n", set(items.c_str(), "DB_PASSWORD", "rotated"));
    std::printf("GetFileItem %d %s\n", get(items.c_str(), "DB_PASSWORD", buffer), buffer);
    std::printf("GetFileItem %d\n", get((dir + "\\missing.ini").c_str(), "A", buffer));
    std::fflush(stdout);
    return true;
}

bool Items(HMODULE dll, const char* log, const char* items, const char* namesFile) {
    const auto setLog = Bound<Text1>(dll, "SetLogFile");
    const auto set = Bound<Text3>(dll, "SetFileItem");
    if (!setLog || !set) return false;
    std::FILE* file = std::fopen(namesFile, "rb");
    if (!file) return false;
    std::string names;
    char chunk[512];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) names.append(chunk, n);
    std::fclose(file);
    if (setLog(log) != 1) return false;
    int number = 0;
    for (std::size_t at = 0, end; (end = names.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string value = "value-" + std::to_string(++number) + ".";
        set(items, names.substr(at, end - at).c_str(), value.c_str());
    }
    setLog(nullptr);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* argument = argc > 1 ? argv[1] : "";
    if (std::strcmp(argument, "setenv") == 0) SetEnvironmentVariableA("MY_DBGPRINT", "1");
    std::vector<wextest::Box> boxes;
    {
        wextest::BoxRecorder recorder;
        HMODULE dll = LoadLibraryA("Wexlib.dll");
        if (!dll) return 2;
        if (std::strcmp(argument, "limit") == 0) {
            const auto set = Bound<Int1>(dll, "SetWaitLimit");
            if (!set) return 2;
            std::printf("limit %d\n", set(0));
            std::fflush(stdout);
        }
        if (std::strcmp(argument, "call") == 0) {
            wchar_t log[MAX_PATH] = L"";
            GetEnvironmentVariableW(L"WEXLIB_LOG", log, MAX_PATH);
            std::printf("log at load: %s\n", GetFileAttributesW(log) != INVALID_FILE_ATTRIBUTES ? "present" : "missing");
            std::fflush(stdout);
            const auto set = Bound<Int1>(dll, "SetWaitLimit");
            if (!set) return 2;
            set(0);
        }
        if (std::strcmp(argument, "round") == 0 && (argc < 3 || !Round(dll, argv[2]))) return 2;
        if (std::strcmp(argument, "items") == 0 && (argc < 5 || !Items(dll, argv[2], argv[3], argv[4]))) return 2;
        HANDLE thread = CreateThread(nullptr, 0, Idle, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        FreeLibrary(dll);
        boxes = recorder.Boxes();
    }
    for (const auto& b : boxes) std::printf("%s|%s\n", b.caption.c_str(), b.text.c_str());
    return 0;
}
