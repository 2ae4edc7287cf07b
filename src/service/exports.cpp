// Service exports: argument checks, then the work in service.h.
#include "frame/export.h"
#include "service/service.h"

using namespace wex;

namespace {

// The service exports that take only a name.
template <class Work>
int NamedServiceCall(const char* exportName, const char* name, Work work) {
    ExportCall call(exportName);
    call.Text(name);
    if (!name) return call.Return(0);
    return call.Run(0, [&] {
        service::SystemServiceManager manager;
        return work(name, manager);
    });
}

}  // namespace

extern "C" int WEXCALL ServiceExists(const char* name) {
    return NamedServiceCall("ServiceExists", name, service::Exists);
}

extern "C" int WEXCALL ServiceRunning(const char* name) {
    return NamedServiceCall("ServiceRunning", name, service::Running);
}

extern "C" int WEXCALL StopService(const char* name) {
    return NamedServiceCall("StopService", name, service::Stop);
}

extern "C" int WEXCALL RemoveService(const char* name) {
    return NamedServiceCall("RemoveService", name, service::Remove);
}

extern "C" int WEXCALL InstallService(const char* name, const char* binaryPath, int startType) {
    ExportCall call("InstallService");
    call.Text(name).Text(binaryPath).Number(startType);
    if (!name || !binaryPath) return call.Return(0);
    return call.Run(0, [&] {
        service::SystemServiceManager manager;
        return service::Install(name, binaryPath, startType, manager);
    });
}

extern "C" int WEXCALL BeginService(const char* name) {
    return NamedServiceCall("BeginService", name, service::Begin);
}

extern "C" int WEXCALL UnInstallService(const char* name) {
    return NamedServiceCall("UnInstallService", name, service::Uninstall);
}
