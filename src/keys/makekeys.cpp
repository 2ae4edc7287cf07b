// The generator run: a seed file for makekeys.exe, the launch, a fixed pause.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame/diagnostics.h"
#include "frame/unique.h"
#include "keys/keys.h"
#include "process/launch.h"

namespace wex::keys {
namespace {

// Names are made in the same way on every platform, so the library keeps its
// own counter rather than the C runtime's temporary-name function.
constexpr std::size_t kMaxPath = 260;
constexpr unsigned kMaxNameTries = 32767;
constexpr char kSeedPrefix[] = "seed";
// What a name may add to the directory and the prefix: a separator, the
// counter's digits and room to spare, as the runtime's own function reserves.
constexpr std::size_t kSeedNameReserve = 12;
unsigned g_seedCounter = 0;

// The generator's command line and working directory are built within 400 and
// 200 bytes; longer ones are refused.
constexpr std::size_t kCommandLineSize = 400;
constexpr std::size_t kWorkingDirectorySize = 200;

// The generator's only hand-over: it has this long to read the seed file.
constexpr DWORD kGeneratorPauseMs = 1500;

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string SeedDirectory(const char* preferredDir) {
    if (const char* tmp = std::getenv("TMP")) {
        std::string dir = tmp;
        if (IsDirectory(dir)) return dir;
        if (dir.find('"') != std::string::npos) {
            std::string unquoted;
            for (char c : dir) {
                if (c != '"') unquoted.push_back(c);
            }
            if (IsDirectory(unquoted)) return unquoted;
        }
    }
    if (preferredDir && IsDirectory(preferredDir)) return preferredDir;
    if (IsDirectory("\\")) return "\\";
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    return length > 0 && length < MAX_PATH ? std::string(current, length) : std::string(".");
}

// Creates the seed file in text mode with exactly the seed text's bytes.
// False when it could not be created or written (it may exist then).
bool WriteSeedFile(const std::string& name, const char* seedText) {
    UniqueStdioFile file = OpenStdioFile(name.c_str(), "w");
    if (!file) return false;
    std::fputs(seedText, file.Get());
    bool written = !std::ferror(file.Get());
    if (std::fclose(file.Release()) != 0) written = false;
    return written;
}

}  // namespace

std::string GeneratorCommandLine(const std::string& installRoot, const std::string& merchant,
                                 const std::string& seedName) {
    std::string program = installRoot + "\\bin\\makekeys.exe";
    std::string keyFile = installRoot + "\\merchants\\" + merchant + "\\" + merchant + ".key";
    std::string seed = seedName;
    // A path with a space would otherwise start another program ("C:\Program")
    // or reach the generator as two arguments: then every path is quoted.
    const bool quote = (installRoot + merchant + seedName).find(' ') != std::string::npos;
    if (quote) {
        for (std::string* path : {&program, &keyFile, &seed}) *path = '"' + *path + '"';
    }
    return program + " -output " + keyFile + " -input " + seed;
}

bool MakeSeedName(const char* preferredDir, std::string& name) {
    std::string dir = SeedDirectory(preferredDir);
    if (dir.size() + (sizeof kSeedPrefix - 1) + kSeedNameReserve > kMaxPath) return false;
    if (dir.empty() || (dir.back() != '\\' && dir.back() != '/')) dir += '\\';
    dir += kSeedPrefix;
    for (unsigned tries = 0; tries < kMaxNameTries; ++tries) {
        std::string candidate = dir + std::to_string(++g_seedCounter);
        if (GetFileAttributesA(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) {
            name = std::move(candidate);
            return true;
        }
    }
    return false;
}

int MakeKeys(const char* installRoot, const char* merchant, const char* seedText) {
    std::string seedName;
    if (!MakeSeedName(installRoot, seedName)) {
        ErrorLine("Could not open temp file.\n");
        return 0;
    }

    const std::string root = installRoot;
    std::string commandLine = GeneratorCommandLine(root, merchant, seedName);
    std::string workingDirectory = root + "\\bin";
    if (commandLine.size() >= kCommandLineSize || workingDirectory.size() >= kWorkingDirectorySize) {
        ErrorLine("Generator command line too long for install root %s.\n", installRoot);
        return 0;
    }

    // From here on the seed file goes on every path out, its creation
    // failed or not (a half-written one too).
    ScopeExit removeSeed([&] { DeleteFileA(seedName.c_str()); });
    if (!WriteSeedFile(seedName, seedText)) {
        ErrorLine("Could not open temp file.\n");
        return 0;
    }
    int started = process::RunCommand(commandLine.c_str(), workingDirectory.c_str());
    Sleep(kGeneratorPauseMs);
    return started;
}

}  // namespace wex::keys
