// The generator run: a seed file for makekeys.exe, the launch, a fixed pause.
#include <windows.h>

#include <string>

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/unique.h"
#include "keys/keys.h"
#include "keys/seedfile.h"
#include "process/launch.h"

namespace wex::keys {
namespace {

// The generator's command line and working directory are built within 400 and
// 200 characters (CallLength); longer ones are refused.
constexpr std::size_t kCommandLineSize = 400;
constexpr std::size_t kWorkingDirectorySize = 200;

// The generator's only hand-over: it has this long to read the seed file.
constexpr DWORD kGeneratorPauseMs = 1500;

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

int MakeKeys(const char* installRoot, const char* merchant, const char* seedText) {
    const std::string root = installRoot;
    const std::string workingDirectory = root + "\\bin";
    std::string commandLine;
    auto fits = [&](const std::string& seedName) {
        commandLine = GeneratorCommandLine(root, merchant, seedName);
        return CallLength(commandLine) < kCommandLineSize && CallLength(workingDirectory) < kWorkingDirectorySize;
    };
    SeedFile seed;
    switch (CreateSeedFile(installRoot, fits, seed)) {
    case SeedOutcome::Created:
        break;
    case SeedOutcome::DoesNotFit:
        ErrorLine("Generator command line too long for install root %s.\n", installRoot);
        return 0;
    case SeedOutcome::Failed:
        ErrorLine("Could not open temp file.\n");
        return 0;
    }
    // The seed file is ours from here on: it goes on every path out, a
    // half-written one too, once its handle is closed (it shares with nobody).
    ScopeExit removeSeed([&] {
        seed.file.Reset();
        DeleteFileW(Widen(seed.name).c_str());
    });
    if (!WriteSeedText(seed, seedText)) {
        ErrorLine("Could not open temp file.\n");
        return 0;
    }
    int started = process::RunCommand(commandLine.c_str(), workingDirectory.c_str());
    Sleep(kGeneratorPauseMs);
    return started;
}

}  // namespace wex::keys
