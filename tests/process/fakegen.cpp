// A program for the launch tests to start. It records how it was started:
// with WEXTEST_RECORD set, it writes its command line, a newline, its current
// directory, a newline, then the bytes of the file that follows "-input" on
// its command line (if any) to that path. With WEXTEST_LINGER set it then
// sleeps for a minute, standing for a generator that takes its time.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    char record[MAX_PATH];
    if (GetEnvironmentVariableA("WEXTEST_RECORD", record, MAX_PATH)) {
        std::string text = GetCommandLineA();
        char current[MAX_PATH] = "";
        GetCurrentDirectoryA(MAX_PATH, current);
        text += "\n";
        text += current;
        text += "\n";
        for (int i = 1; i + 1 < argc; ++i) {
            if (std::strcmp(argv[i], "-input") != 0) continue;
            if (std::FILE* seed = std::fopen(argv[i + 1], "rb")) {
                char chunk[512];
                for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, seed)) > 0;) text.append(chunk, n);
                std::fclose(seed);
            } else {
                text += "<no seed file>";
            }
        }
        // Written aside and renamed: the test never reads half a record.
        std::string partial = std::string(record) + ".part";
        if (std::FILE* out = std::fopen(partial.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
            MoveFileExA(partial.c_str(), record, MOVEFILE_REPLACE_EXISTING);
        }
    }
    if (GetEnvironmentVariableA("WEXTEST_LINGER", nullptr, 0)) Sleep(60000);
    return 0;
}
