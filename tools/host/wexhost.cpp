// wexhost: loads Wexlib.dll the way a setup program does and runs a script of
// export calls, printing each call and its result on one line, or shows one of
// the DLL's dialog templates.
//
//   wexhost [--dll PATH] [--confirm-boxes] [--silent] [--log FILE] [--wait-limit MS] SCRIPT...
//   wexhost [--dll PATH] --dialog NAME [--product TEXT] [--close-after MS]
//
// --confirm-boxes prints each message box as "  [box CAPTION] text" and
// confirms it at once, for runs with nobody at the screen. --silent, --log
// and --wait-limit call SetSilentMode(1), SetLogFile(FILE) and
// SetWaitLimit(MS) before the script's first line, each printed as a call.
// Several scripts run one after another, sharing their variables.
// --dialog prints "shown NAME x y width height" (its window on the screen) once
// the dialog is visible, and "dialog NAME -> CODE" when it ends: the id of the
// button that ended it, 0 after --close-after.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "boxconfirm.h"
#include "dialogs.h"
#include "script.h"

namespace {

using wexhost::Argument;
using wexhost::Statement;

struct ExportInfo {
    const char* name;
    int ordinal;
    int arguments;
};

// Every export with its ordinal and its number of 32-bit arguments, as the
// export table file gives them.
const ExportInfo kExports[] = {
#include "exporttable.inc"
};

const ExportInfo* FindExport(const std::string& verb) {
    for (const ExportInfo& e : kExports) {
        if (verb == e.name) return &e;
        if (verb[0] == '#' && std::atoi(verb.c_str() + 1) == e.ordinal) return &e;
    }
    return nullptr;
}

using Arg = std::intptr_t;
typedef int(__stdcall* Export0)();
typedef int(__stdcall* Export1)(Arg);
typedef int(__stdcall* Export2)(Arg, Arg);
typedef int(__stdcall* Export3)(Arg, Arg, Arg);
typedef int(__stdcall* Export4)(Arg, Arg, Arg, Arg);

int CallExport(FARPROC proc, const std::vector<Arg>& a) {
    switch (a.size()) {
    case 0: return reinterpret_cast<Export0>(proc)();
    case 1: return reinterpret_cast<Export1>(proc)(a[0]);
    case 2: return reinterpret_cast<Export2>(proc)(a[0], a[1]);
    case 3: return reinterpret_cast<Export3>(proc)(a[0], a[1], a[2]);
    default: return reinterpret_cast<Export4>(proc)(a[0], a[1], a[2], a[3]);
    }
}

// A wide twin (its export's name and "W", at its ordinal plus 100) takes
// UTF-16 texts: the script's texts, UTF-8, are converted for it, and its
// buffers' texts printed as UTF-8.
bool IsWideTwin(const ExportInfo& e) {
    const std::size_t length = std::strlen(e.name);
    return e.ordinal > 100 && length > 1 && e.name[length - 1] == 'W';
}

std::wstring FromUtf8(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string ToUtf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(length > 0 ? length : 1, '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], length, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

// Shows control characters of a buffer's text so that a result stays on one line.
std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        default: out += *p;
        }
    }
    return out + "\"";
}

std::string Describe(const Argument& a) {
    switch (a.kind) {
    case Argument::Text: return Quoted(a.text.c_str());
    case Argument::Integer: return std::to_string(a.number);
    case Argument::Null: return "null";
    case Argument::Buffer: return "buf";
    }
    return "?";
}

class Host {
public:
    explicit Host(HMODULE dll) : dll_(dll) {}

    // Runs one statement; false stops the script.
    bool Run(const Statement& s, int lineNo) {
        if (s.verb == "set") {
            if (s.arguments.size() != 1 || s.arguments[0].kind != Argument::Text) return Fail(lineNo, "set NAME \"text\"");
            vars_.Set(s.rest, s.arguments[0].text);
        } else if (s.verb == "echo") {
            std::printf("%s\n", s.rest.c_str());
        } else if (s.verb == "show") {
            if (!OneText(s)) return Fail(lineNo, "show \"path\"");
            Show(s.arguments[0].text);
        } else if (s.verb == "mkdir") {
            if (!OneText(s)) return Fail(lineNo, "mkdir \"path\"");
            MakeDirectories(s.arguments[0].text);
        } else if (s.verb == "delete") {
            if (!OneText(s)) return Fail(lineNo, "delete \"path\"");
            DeleteFileA(s.arguments[0].text.c_str());
        } else if (s.verb == "regkey") {
            if (!OneText(s)) return Fail(lineNo, "regkey \"HKLM subkey\"");
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, s.arguments[0].text.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr) == ERROR_SUCCESS)
                RegCloseKey(key);
        } else if (s.verb == "regdelete") {
            if (!OneText(s)) return Fail(lineNo, "regdelete \"HKLM subkey\"");
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, s.arguments[0].text.c_str());
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, s.arguments[0].text.c_str());
        } else if (s.verb == "sleep") {
            if (s.arguments.size() != 1 || s.arguments[0].kind != Argument::Integer) return Fail(lineNo, "sleep MS");
            Sleep(static_cast<DWORD>(s.arguments[0].number));
        } else if (s.verb == "keep") {
            if (s.rest.empty() || !s.arguments.empty()) return Fail(lineNo, "keep NAME");
            vars_.Set(s.rest, lastBuffer_);
        } else if (s.verb == "dialog") {
            return Dialog(s, lineNo);
        } else if (s.verb == "silent" || s.verb == "log" || s.verb == "waitlimit") {
            // The unattended-install settings, as calls of their exports.
            Statement call = s;
            call.verb = s.verb == "silent" ? "SetSilentMode" : s.verb == "log" ? "SetLogFile" : "SetWaitLimit";
            return Call(call, lineNo);
        } else if (s.verb == "expect") {
            if (s.arguments.size() != 1 || s.arguments[0].kind != Argument::Integer) return Fail(lineNo, "expect N");
            if (lastResult_ != s.arguments[0].number) {
                std::printf("line %d: expected %lld, the last call returned %d\n", lineNo, s.arguments[0].number, lastResult_);
                return false;
            }
        } else {
            return Call(s, lineNo);
        }
        return true;
    }

    const wexhost::Variables& Vars() const { return vars_; }

private:
    static bool OneText(const Statement& s) { return s.arguments.size() == 1 && s.arguments[0].kind == Argument::Text; }

    static bool Fail(int lineNo, const char* usage) {
        std::printf("line %d: usage: %s\n", lineNo, usage);
        return false;
    }

    bool Call(const Statement& s, int lineNo) {
        const ExportInfo* info = FindExport(s.verb);
        if (!info) {
            std::printf("line %d: no export called %s\n", lineNo, s.verb.c_str());
            return false;
        }
        if (static_cast<int>(s.arguments.size()) != info->arguments) {
            std::printf("line %d: %s takes %d arguments\n", lineNo, info->name, info->arguments);
            return false;
        }
        FARPROC proc = s.verb[0] == '#' ? GetProcAddress(dll_, MAKEINTRESOURCEA(info->ordinal))
                                        : GetProcAddress(dll_, info->name);
        if (!proc) {
            std::printf("line %d: Wexlib.dll has no export %s\n", lineNo, s.verb.c_str());
            return false;
        }

        // Every text goes in a writable copy: some exports change their input.
        const bool wide = IsWideTwin(*info);
        std::vector<std::unique_ptr<char[]>> storage;
        std::vector<std::unique_ptr<wchar_t[]>> wideStorage;
        std::vector<Arg> args;
        std::vector<const char*> buffers;
        std::vector<const wchar_t*> wideBuffers;
        // Shows how the export was bound: "#23=GetFileItem(" for an ordinal.
        std::string shown = (s.verb[0] == '#' ? s.verb + "=" : std::string()) + info->name + "(";
        for (size_t i = 0; i < s.arguments.size(); ++i) {
            const Argument& a = s.arguments[i];
            shown += (i ? ", " : "") + Describe(a);
            switch (a.kind) {
            case Argument::Text:
                if (wide) {
                    const std::wstring text = FromUtf8(a.text);
                    wideStorage.emplace_back(new wchar_t[text.size() + 1]);
                    std::memcpy(wideStorage.back().get(), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
                    args.push_back(reinterpret_cast<Arg>(wideStorage.back().get()));
                    break;
                }
                storage.emplace_back(new char[a.text.size() + 1]);
                std::memcpy(storage.back().get(), a.text.c_str(), a.text.size() + 1);
                args.push_back(reinterpret_cast<Arg>(storage.back().get()));
                break;
            case Argument::Buffer:
                // A twin's buffer holds as many wchar_t as its export's holds bytes.
                if (wide) {
                    wideStorage.emplace_back(new wchar_t[a.number]());
                    wideBuffers.push_back(wideStorage.back().get());
                    args.push_back(reinterpret_cast<Arg>(wideStorage.back().get()));
                    break;
                }
                storage.emplace_back(new char[a.number]());
                buffers.push_back(storage.back().get());
                args.push_back(reinterpret_cast<Arg>(storage.back().get()));
                break;
            case Argument::Integer: args.push_back(static_cast<Arg>(a.number)); break;
            case Argument::Null: args.push_back(0); break;
            }
        }
        shown += ")";
        // The library writes through the same C runtime streams.
        std::fflush(stdout);
        lastResult_ = CallExport(proc, args);
        std::fflush(stderr);
        std::printf("%s -> %d", shown.c_str(), lastResult_);
        std::vector<std::string> printed(buffers.begin(), buffers.end());
        for (const wchar_t* b : wideBuffers) printed.push_back(ToUtf8(b));
        for (const std::string& b : printed) std::printf(" %s", Quoted(b.c_str()).c_str());
        lastBuffer_ = printed.empty() ? std::string() : printed[0];
        std::printf("\n");
        std::fflush(stdout);
        return true;
    }

    // dialog "NAME" MS ["product"]: shows the template for MS milliseconds and
    // prints its caption, its number of controls and what the host filled in.
    bool Dialog(const Statement& s, int lineNo) {
        const auto& a = s.arguments;
        if (a.size() < 2 || a.size() > 3 || a[0].kind != Argument::Text || a[1].kind != Argument::Integer ||
            a[1].number <= 0 || (a.size() == 3 && a[2].kind != Argument::Text)) {
            return Fail(lineNo, "dialog \"NAME\" MS [\"product\"]");
        }
        wexhost::DialogShow how;
        how.closeAfterMs = static_cast<unsigned>(a[1].number);
        if (a.size() == 3) how.product = a[2].text;
        wexhost::DialogOutcome shown = wexhost::ShowDialogTemplate(dll_, a[0].text, how);
        lastResult_ = static_cast<int>(shown.result);
        if (shown.result == -1) {
            std::printf("dialog %s -> -1 (%s)\n", Quoted(a[0].text.c_str()).c_str(), shown.error.c_str());
            return true;
        }
        std::printf("dialog %s -> %d %s, %d controls\n", Quoted(a[0].text.c_str()).c_str(), lastResult_,
                    Quoted(shown.caption.c_str()).c_str(), shown.controls);
        for (const std::string& f : shown.filled) std::printf("  filled %s\n", Quoted(f.c_str()).c_str());
        std::fflush(stdout);
        return true;
    }

    static void Show(const std::string& path) {
        std::FILE* f = std::fopen(path.c_str(), "r");
        if (!f) {
            std::printf("  (%s: missing)\n", path.c_str());
            return;
        }
        std::printf("  --- %s\n", path.c_str());
        char line[1024];
        while (std::fgets(line, sizeof line, f)) {
            size_t n = std::strlen(line);
            if (n && line[n - 1] == '\n') line[--n] = '\0';
            std::printf("  | %s\n", line);
        }
        std::fclose(f);
    }

    static void MakeDirectories(const std::string& path) {
        for (size_t i = 3; i <= path.size(); ++i) {
            if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
        }
    }

    HMODULE dll_;
    wexhost::Variables vars_;
    int lastResult_ = 0;
    std::string lastBuffer_;  // the text of the last call's first buffer
};

int Usage() {
    std::fprintf(stderr,
                 "usage: wexhost [--dll PATH] [--confirm-boxes] [--silent] [--log FILE] [--wait-limit MS] SCRIPT...\n"
                 "       wexhost [--dll PATH] --dialog NAME [--product TEXT] [--close-after MS]\n");
    return 2;
}

int ShowOneDialog(HMODULE dll, const char* name, const wexhost::DialogShow& how) {
    wexhost::DialogOutcome shown = wexhost::ShowDialogTemplate(dll, name, how);
    if (shown.result == -1) {
        std::fprintf(stderr, "wexhost: %s\n", shown.error.c_str());
        return 1;
    }
    std::printf("dialog %s -> %d\n", name, static_cast<int>(shown.result));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dllPath = "Wexlib.dll";
    std::vector<const char*> scripts;
    bool confirmBoxes = false;
    const char* dialog = nullptr;
    // The unattended-install settings, applied as calls before the script.
    std::vector<Statement> settings;
    auto setting = [&](const char* verb, Argument argument) {
        Statement call;
        call.verb = verb;
        call.arguments.push_back(std::move(argument));
        settings.push_back(std::move(call));
    };
    wexhost::DialogShow how;
    how.announce = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dll") == 0 && i + 1 < argc) dllPath = argv[++i];
        else if (std::strcmp(argv[i], "--confirm-boxes") == 0) confirmBoxes = true;
        else if (std::strcmp(argv[i], "--silent") == 0) setting("SetSilentMode", Argument{Argument::Integer, "", 1});
        else if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc)
            setting("SetLogFile", Argument{Argument::Text, argv[++i], 0});
        else if (std::strcmp(argv[i], "--wait-limit") == 0 && i + 1 < argc)
            setting("SetWaitLimit", Argument{Argument::Integer, "", std::atoll(argv[++i])});
        else if (std::strcmp(argv[i], "--dialog") == 0 && i + 1 < argc) dialog = argv[++i];
        else if (std::strcmp(argv[i], "--product") == 0 && i + 1 < argc) how.product = argv[++i];
        else if (std::strcmp(argv[i], "--close-after") == 0 && i + 1 < argc) how.closeAfterMs = std::atoi(argv[++i]);
        else if (argv[i][0] == '-') return Usage();
        else scripts.push_back(argv[i]);
    }
    if (scripts.empty() == !dialog) return Usage();
    if (dialog) {
        HMODULE dll = LoadLibraryA(dllPath);
        if (!dll) {
            std::fprintf(stderr, "wexhost: cannot load %s (error %lu)\n", dllPath, GetLastError());
            return 2;
        }
        int status = ShowOneDialog(dll, dialog, how);
        FreeLibrary(dll);
        return status;
    }

    for (const char* path : scripts) {
        if (!std::ifstream(path)) {
            std::fprintf(stderr, "wexhost: cannot read %s\n", path);
            return 2;
        }
    }
    std::unique_ptr<wexhost::BoxConfirmer> confirmer;
    if (confirmBoxes) confirmer = std::make_unique<wexhost::BoxConfirmer>();
    HMODULE dll = LoadLibraryA(dllPath);
    if (!dll) {
        std::fprintf(stderr, "wexhost: cannot load %s (error %lu)\n", dllPath, GetLastError());
        return 2;
    }

    Host host(dll);
    int status = 0;
    for (const Statement& call : settings) {
        if (!host.Run(call, 0)) {
            FreeLibrary(dll);
            return 1;
        }
    }
    for (std::size_t i = 0; i < scripts.size() && status == 0; ++i) {
        std::ifstream script(scripts[i]);
        std::string line;
        for (int lineNo = 1; std::getline(script, line); ++lineNo) {
            Statement s;
            std::string error;
            if (!wexhost::ParseLine(line, host.Vars(), s, error)) {
                std::printf("line %d: %s\n", lineNo, error.c_str());
                status = 1;
                break;
            }
            if (s.verb.empty()) continue;
            if (!host.Run(s, lineNo)) {
                status = 1;
                break;
            }
        }
    }
    FreeLibrary(dll);
    return status;
}
