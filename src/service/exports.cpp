// Service exports: argument checks, then the work in service.h.
#include "frame/export.h"
#include "service/service.h"

using namespace wex;

extern "C" int WEXCALL ServiceExists(const char* name) {
    if (!name) return 0;
    return ExportBoundary(0, [&] { return service::Exists(name); });
}

extern "C" int WEXCALL ServiceRunning(const char* name) {
    if (!name) return 0;
    return ExportBoundary(0, [&] { return service::Running(name); });
}

extern "C" int WEXCALL StopService(const char* name) {
    if (!name) return 0;
    return ExportBoundary(0, [&] { return service::Stop(name); });
}

extern "C" int WEXCALL RemoveService(const char* name) {
    if (!name) return 0;
    return ExportBoundary(0, [&] { return service::Remove(name); });
}

extern "C" int WEXCALL InstallService(const char* name, const char* binaryPath, int startType) {
    if (!name || !binaryPath) return 0;
    return ExportBoundary(0, [&] { return service::Install(name, binaryPath, startType); });
}

extern "C" int WEXCALL BeginService(const char* name) {
    if (!name) return 0;
    return ExportBoundary(0, [&] { return service::Begin(name); });
}

extern "C" int WEXCALL UnInstallService(const char* name) {
    if (!name) return 0;
    return ExportBoundary(0, [&] { return service::Uninstall(name); });
}
