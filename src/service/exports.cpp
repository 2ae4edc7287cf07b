// Service exports and their wide twins: argument checks, then the work in
// service.h, which takes the texts in the call's encoding.
#include "frame/export.h"
#include "service/service.h"

using namespace wex;

namespace {

// The service exports that take only a name.
template <class Char, class Work>
int NamedServiceCall(const char* exportName, const Char* given, Work work) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText name(given);
    call.Text(name);
    if (!name) return call.Return(0);
    return call.Run(0, [&] {
        service::SystemServiceManager manager;
        return work(name, manager);
    });
}

template <class Char>
int InstallServiceCall(const char* exportName, const Char* givenName, const Char* givenPath, int startType) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText name(givenName), binaryPath(givenPath);
    call.Text(name).Text(binaryPath).Number(startType);
    if (!name || !binaryPath) return call.Return(0);
    return call.Run(0, [&] {
        service::SystemServiceManager manager;
        return service::Install(name, binaryPath, startType, manager);
    });
}

}  // namespace

extern "C" int WEXCALL ServiceExists(const char* name) {
    return NamedServiceCall("ServiceExists", name, service::Exists);
}

extern "C" int WEXCALL ServiceExistsW(const wchar_t* name) {
    return NamedServiceCall("ServiceExistsW", name, service::Exists);
}

extern "C" int WEXCALL ServiceRunning(const char* name) {
    return NamedServiceCall("ServiceRunning", name, service::Running);
}

extern "C" int WEXCALL ServiceRunningW(const wchar_t* name) {
    return NamedServiceCall("ServiceRunningW", name, service::Running);
}

extern "C" int WEXCALL StopService(const char* name) {
    return NamedServiceCall("StopService", name, service::Stop);
}

extern "C" int WEXCALL StopServiceW(const wchar_t* name) {
    return NamedServiceCall("StopServiceW", name, service::Stop);
}

extern "C" int WEXCALL RemoveService(const char* name) {
    return NamedServiceCall("RemoveService", name, service::Remove);
}

extern "C" int WEXCALL RemoveServiceW(const wchar_t* name) {
    return NamedServiceCall("RemoveServiceW", name, service::Remove);
}

extern "C" int WEXCALL InstallService(const char* name, const char* binaryPath, int startType) {
    return InstallServiceCall("InstallService", name, binaryPath, startType);
}

extern "C" int WEXCALL InstallServiceW(const wchar_t* name, const wchar_t* binaryPath, int startType) {
    return InstallServiceCall("InstallServiceW", name, binaryPath, startType);
}

extern "C" int WEXCALL BeginService(const char* name) {
    return NamedServiceCall("BeginService", name, service::Begin);
}

extern "C" int WEXCALL BeginServiceW(const wchar_t* name) {
    return NamedServiceCall("BeginServiceW", name, service::Begin);
}

extern "C" int WEXCALL UnInstallService(const char* name) {
    return NamedServiceCall("UnInstallService", name, service::Uninstall);
}

extern "C" int WEXCALL UnInstallServiceW(const wchar_t* name) {
    return NamedServiceCall("UnInstallServiceW", name, service::Uninstall);
}
