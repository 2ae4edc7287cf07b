// A program for the launch tests to start. It records how it was started:
// with WEXTEST_RECORD set, it writes its command line, a newline, its current
// directory, a newline (both as UTF-8, so that names in any language come
// through), then the bytes of the file that follows "-input" on its command
// line (if any) to that path. With WEXTEST_LINGER set it then sleeps for a
// minute, standing for a generator that takes its time.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], length, nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(length) - 1);
    return bytes;
}

}  // namespace

int main() {
    std::vector<wchar_t> record(32768, L'\0');
    if (GetEnvironmentVariableW(L"WEXTEST_RECORD", record.data(), static_cast<DWORD>(record.size()))) {
        std::string text = Utf8(GetCommandLineW());
        std::vector<wchar_t> current(32768, L'\0');
        GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
        text += "\n";
        text += Utf8(current.data());
        text += "\n";
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
        for (int i = 1; argv && i + 1 < argc; ++i) {
            if (lstrcmpW(argv[i], L"-input") != 0) continue;
            if (std::FILE* seed = _wfopen(argv[i + 1], L"rb")) {
                char chunk[512];
                for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, seed)) > 0;) text.append(chunk, n);
                std::fclose(seed);
            } else {
                text += "<no seed file>";
            }
        }
        if (argv) LocalFree(argv);
        // Written aside and renamed: the test never reads half a record.
        const std::wstring target = record.data();
        const std::wstring partial = target + L".part";
        if (std::FILE* out = _wfopen(partial.c_str(), L"wb")) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
            MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    if (GetEnvironmentVariableW(L"WEXTEST_LINGER", nullptr, 0)) Sleep(60000);
    return 0;
}
