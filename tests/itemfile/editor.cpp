// One of the editors and readers that the concurrency tests run side by side
// on one item file. Each waits for the named start event, does its part, and
// writes what went wrong (one line each) to its report file; its exit code
// is the number of things that went wrong.
//
//   editor set FILE PREFIX COUNT START REPORT
//       SetFileItem(FILE, PREFIX_i, "value i") for i = 0 .. COUNT-1
//   editor mix FILE PREFIX COUNT START REPORT
//       for i = 0 .. COUNT-1: AddFileItem A<PREFIX>_i = x, SetFileItem
//       S<PREFIX>_i=old, Substitute it to S<PREFIX>_i=new, and for even i
//       DeleteFileItem A<PREFIX>_i
//   editor read FILE STOP START REPORT
//       reads until the named stop event is set: ANCHOR = 1 must always be
//       found, and the item count never falls (items are only added)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "wexlib.h"

namespace {

std::FILE* g_report = nullptr;
int g_failures = 0;

void Fail(const std::string& what) {
    ++g_failures;
    if (g_report) std::fprintf(g_report, "%s\n", what.c_str());
}

void Expect(int got, int wanted, const std::string& call) {
    if (got != wanted) Fail(call + " returned " + std::to_string(got) + ", not " + std::to_string(wanted));
}

std::string Indexed(const char* prefix, int i) { return std::string(prefix) + "_" + std::to_string(i); }

void Set(const char* file, const char* prefix, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string name = Indexed(prefix, i), value = "value " + std::to_string(i);
        Expect(SetFileItem(file, name.c_str(), value.c_str()), 1, "SetFileItem " + name);
    }
}

void Mix(const char* file, const char* prefix, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string added = "A" + Indexed(prefix, i), set = "S" + Indexed(prefix, i);
        Expect(AddFileItem(file, added.c_str(), "x"), 1, "AddFileItem " + added);
        Expect(SetFileItem(file, set.c_str(), "old"), 1, "SetFileItem " + set);
        Expect(Substitute(file, (set + "=old").c_str(), (set + "=new").c_str()), 1, "Substitute " + set);
        if (i % 2 == 0) Expect(DeleteFileItem(file, added.c_str(), nullptr), 1, "DeleteFileItem " + added);
    }
}

int Read(const char* file, HANDLE stop) {
    std::vector<char> names(1 << 20);
    int reads = 0, lastCount = 0;
    while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
        char value[400] = "";
        if (GetFileItem(file, "ANCHOR", value) != 1 || std::strcmp(value, "1") != 0)
            Fail(std::string("GetFileItem ANCHOR gave '") + value + "'");
        Expect(FindFileItem(file, "ANCHOR", "1"), 1, "FindFileItem ANCHOR");
        const int count = GetAllItemNames(file, names.data());
        if (count < lastCount || std::strncmp(names.data(), "ANCHOR&", 7) != 0)
            Fail("GetAllItemNames gave " + std::to_string(count) + " names after " + std::to_string(lastCount));
        if (count > lastCount) lastCount = count;
        ++reads;
    }
    return reads;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7 && !(argc == 6 && std::strcmp(argv[1], "read") == 0)) {
        std::fprintf(stderr, "usage: editor set|mix FILE PREFIX COUNT START REPORT | read FILE STOP START REPORT\n");
        return 100;
    }
    const std::string mode = argv[1];
    const char* file = argv[2];
    g_report = std::fopen(argv[argc - 1], "w");
    HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[argc - 2]);
    if (!g_report || !start || WaitForSingleObject(start, 120000) != WAIT_OBJECT_0) return 101;
    if (mode == "read") {
        HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
        if (!stop) return 102;
        const int reads = Read(file, stop);
        std::fprintf(g_report, "reads %d\n", reads);
        if (reads == 0) Fail("no read");
    } else if (mode == "set") {
        Set(file, argv[3], std::atoi(argv[4]));
    } else if (mode == "mix") {
        Mix(file, argv[3], std::atoi(argv[4]));
    } else {
        return 100;
    }
    std::fclose(g_report);
    return g_failures;
}
