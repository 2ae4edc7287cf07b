#include "service/service.h"

#include <string>

#include "frame/diagnostics.h"
#include "frame/winhandles.h"

namespace wex::service {
namespace {

Platform g_defaultPlatform;
Platform* g_platform = &g_defaultPlatform;

// The signed decimal that "%d" shows for the last-error value.
int LastError() { return static_cast<int>(GetLastError()); }

const char kManagerFailed[] = "OpenSCManager Failed:-->%d %s<--";
const char kOpenServiceFailed[] = "OpenService failed -->%s<--: %d";

// Connects to the manager; on failure formats the manager text (code first,
// then the name) and, when a caption is given, shows it.
UniqueServiceHandle Connect(const std::string& name, const char* caption) {
    UniqueServiceHandle manager(g_platform->OpenManager());
    if (!manager) {
        int code = LastError();
        SetMessageText(kManagerFailed, code, name.c_str());
        if (caption) ShowMessageBuffer(caption);
    }
    return manager;
}

// Queries the current state. A failed query counts as no state at all, so
// that no caller acts on a record the manager left unset or stale.
bool QueryState(SC_HANDLE service, DWORD& state) {
    SERVICE_STATUS status{};
    if (!g_platform->QueryStatus(service, &status)) return false;
    state = status.dwCurrentState;
    return true;
}

// Stops and removes an existing service, as InstallService and
// UnInstallService do before their own work; no result is looked at.
void StopAndRemoveIfPresent(const std::string& name) {
    if (Exists(name.c_str()) == 1) {
        if (Running(name.c_str()) == 1) Stop(name.c_str());
        Remove(name.c_str());
    }
}

}  // namespace

SC_HANDLE Platform::OpenManager() { return OpenSCManagerA(nullptr, nullptr, kManagerAccess); }

BOOL Platform::QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    return QueryServiceStatus(service, status);
}

void SetPlatform(Platform* platform) { g_platform = platform ? platform : &g_defaultPlatform; }

// Every function works from a copy of the name: the caller may pass the
// message buffer itself, which the failure texts overwrite.

int Exists(const char* nameArg) {
    const std::string name(nameArg);
    UniqueServiceHandle manager = Connect(name, nullptr);
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), kQueryAccess));
    return service ? 1 : 0;
}

int Running(const char* nameArg) {
    const std::string name(nameArg);
    UniqueServiceHandle manager = Connect(name, "Inside ServiceRunning");
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), kQueryAccess));
    if (!service) return 0;
    DWORD state = 0;
    return QueryState(service.Get(), state) && state == SERVICE_RUNNING ? 1 : 0;
}

int Stop(const char* nameArg) {
    const std::string name(nameArg);
    UniqueServiceHandle manager = Connect(name, nullptr);
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), kAllAccess));
    if (!service) {
        int code = LastError();
        SetMessageText(kOpenServiceFailed, name.c_str(), code);
        ShowMessageBuffer("Inside StopService");
        return 0;
    }
    SERVICE_STATUS status{};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        int code = LastError();
        SetMessageText("ControlService failed: %d", code);
        return 0;
    }
    // The first test comes only after the first sleep, even when the stop
    // control already reported the service stopped.
    for (;;) {
        Sleep(kPollMs);
        DWORD state = 0;
        bool known = QueryState(service.Get(), state);
        int code = LastError();
        if (known && state == SERVICE_STOPPED) return 1;
        if (known && state == SERVICE_STOP_PENDING) continue;
        SetMessageText("QueryServiceStatus failed: %d", code);
        return 0;
    }
}

int Remove(const char* nameArg) {
    const std::string name(nameArg);
    const char caption[] = "Inside RemoveService";
    UniqueServiceHandle manager = Connect(name, caption);
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), kAllAccess));
    if (!service) {
        int code = LastError();
        SetMessageText(kOpenServiceFailed, name.c_str(), code);
        ShowMessageBuffer(caption);
        return 0;
    }
    // Deleting never stops a running instance.
    if (!DeleteService(service.Get())) {
        int code = LastError();
        SetMessageText("DeleteService failed -->%s<--: %d", name.c_str(), code);
        ShowMessageBuffer(caption);
        return 0;
    }
    return 1;
}

int Install(const char* nameArg, const char* binaryPath, int startType) {
    const std::string name(nameArg);
    const char caption[] = "Inside InstallService";
    // This connection stays open while the nested calls make their own.
    UniqueServiceHandle manager = Connect(name, caption);
    if (!manager) return 0;
    StopAndRemoveIfPresent(name);
    UniqueServiceHandle service(CreateServiceA(manager.Get(), name.c_str(), name.c_str(), kAllAccess,
                                               kServiceType, static_cast<DWORD>(startType),
                                               SERVICE_ERROR_NORMAL, binaryPath, nullptr, nullptr,
                                               nullptr, nullptr, nullptr));
    if (!service) {
        int code = LastError();
        SetMessageText("CreateService -->%s<-- failed: %d", name.c_str(), code);
        ShowMessageBuffer(caption);
        return 0;
    }
    return 1;
}

int Begin(const char* nameArg) {
    // Silent on every path: no text, no box.
    const std::string name(nameArg);
    UniqueServiceHandle manager(g_platform->OpenManager());
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), kAllAccess));
    if (!service) return 0;
    if (!StartServiceA(service.Get(), 0, nullptr)) return 0;
    for (;;) {
        Sleep(kPollMs);
        DWORD state = 0;
        if (!QueryState(service.Get(), state)) return 0;
        if (state == SERVICE_RUNNING) return 1;
        if (state != SERVICE_START_PENDING) return 0;
    }
}

int Uninstall(const char* nameArg) {
    const std::string name(nameArg);
    UniqueServiceHandle manager = Connect(name, "Inside UnInstallService");
    if (!manager) return 0;
    StopAndRemoveIfPresent(name);
    return 1;
}

}  // namespace wex::service
