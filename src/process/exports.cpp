// Process exports: argument checks, then the work in the process family.
#include "frame/export.h"
#include "process/launch.h"

using namespace wex;

extern "C" int WEXCALL RunCommand(const char* commandLine, const char* workingDirectory) {
    if (!commandLine) return 0;
    return ExportBoundary(0, [&] { return process::RunCommand(commandLine, workingDirectory); });
}
