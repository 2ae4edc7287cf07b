#include "service/service.h"

#include <algorithm>
#include <string>

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/logtext.h"
#include "frame/unattended.h"
#include "frame/winhandles.h"

namespace wex::service {
namespace {

// The signed decimal that "%d" shows for the last-error value.
int LastError() { return static_cast<int>(GetLastError()); }

const char kManagerFailed[] = "OpenSCManager Failed:-->%d %s<--";
const char kOpenServiceFailed[] = "OpenService failed -->%s<--: %d";

// Connects to the manager; on failure formats the manager text (code first,
// then the name) and, when a caption is given, shows it.
UniqueServiceHandle Connect(ServiceManager& calls, const std::string& name, const char* caption) {
    UniqueServiceHandle manager(calls.Open());
    if (!manager) {
        int code = LastError();
        SetMessageText(kManagerFailed, code, name.c_str());
        if (caption) ShowMessageBuffer(caption);
    }
    return manager;
}

// Queries the current state. A failed query counts as no state at all, so
// that no caller acts on a record the manager left unset or stale.
bool QueryState(ServiceManager& calls, SC_HANDLE service, DWORD& state) {
    SERVICE_STATUS status{};
    if (!calls.QueryStatus(service, &status)) return false;
    state = status.dwCurrentState;
    return true;
}

const char* StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "start pending";
    case SERVICE_STOP_PENDING: return "stop pending";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continue pending";
    case SERVICE_PAUSE_PENDING: return "pause pending";
    case SERVICE_PAUSED: return "paused";
    default: return "unknown state";
    }
}

enum class WaitEnd {
    Reached,      // the service left the pending state: `state` tells for what
    QueryFailed,  // a status query failed
    TimedOut,     // the wait limit passed with the service still pending
};

struct Wait {
    WaitEnd end;
    DWORD state = 0;
    DWORD waitedMs = 0;
    // The last error right after the final query. Read after a successful
    // query too, on purpose: "QueryServiceStatus failed: %d" shows the value
    // current at that moment when a service leaves for an unexpected state.
    int lastError = 0;
};

// Sleeps the poll interval before every status query for as long as the
// service stays in the pending state. With a wait limit the last sleep is
// cut short, so that the wait ends at the limit and not a poll later. Every
// poll goes to the log.
Wait WaitWhilePending(ServiceManager& calls, SC_HANDLE service, DWORD pending, const char* exportName,
                      const std::string& name) {
    const DWORD limit = static_cast<DWORD>(WaitLimitMs());
    const DWORD start = GetTickCount();
    for (DWORD waited = 0;;) {
        Sleep(limit ? std::min<DWORD>(kPollMs, limit > waited ? limit - waited : 0) : kPollMs);
        Wait wait{WaitEnd::Reached};
        const bool known = QueryState(calls, service, wait.state);
        wait.lastError = LastError();
        waited = wait.waitedMs = GetTickCount() - start;
        if (LogOpen()) {
            const std::string seen = known ? std::string(StateName(wait.state)) + " (" + std::to_string(wait.state) + ")"
                                           : "status query failed (error " + std::to_string(wait.lastError) + ")";
            LogEvent(std::string("wait ") + exportName + "(" + LogQuote(name) + "): " + seen + ", " +
                     std::to_string(waited) + " ms waited");
        }
        if (!known) {
            wait.end = WaitEnd::QueryFailed;
            return wait;
        }
        if (wait.state != pending) return wait;
        if (limit && waited >= limit) {
            wait.end = WaitEnd::TimedOut;
            return wait;
        }
    }
}

// Stops and removes an existing service, as InstallService and
// UnInstallService do before their own work; no result is looked at.
void StopAndRemoveIfPresent(const std::string& name, ServiceManager& calls) {
    if (Exists(name.c_str(), calls) == 1) {
        if (Running(name.c_str(), calls) == 1) Stop(name.c_str(), calls);
        Remove(name.c_str(), calls);
    }
}

}  // namespace

SC_HANDLE SystemServiceManager::Open() { return OpenSCManagerW(nullptr, nullptr, kManagerAccess); }

BOOL SystemServiceManager::QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    return QueryServiceStatus(service, status);
}

// Every function works from a copy of the name: the caller may pass the
// message buffer itself, which the failure texts overwrite. The name and the
// program path are in the call's encoding; the manager gets them as UTF-16,
// converted before the call so that nothing runs between a failed call and
// the reading of its last error.

int Exists(const char* nameArg, ServiceManager& calls) {
    const std::string name(nameArg);
    const std::wstring wideName = Widen(name);
    UniqueServiceHandle manager = Connect(calls, name, nullptr);
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceW(manager.Get(), wideName.c_str(), kQueryAccess));
    return service ? 1 : 0;
}

int Running(const char* nameArg, ServiceManager& calls) {
    const std::string name(nameArg);
    const std::wstring wideName = Widen(name);
    UniqueServiceHandle manager = Connect(calls, name, "Inside ServiceRunning");
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceW(manager.Get(), wideName.c_str(), kQueryAccess));
    if (!service) return 0;
    DWORD state = 0;
    return QueryState(calls, service.Get(), state) && state == SERVICE_RUNNING ? 1 : 0;
}

int Stop(const char* nameArg, ServiceManager& calls) {
    const std::string name(nameArg);
    const std::wstring wideName = Widen(name);
    UniqueServiceHandle manager = Connect(calls, name, nullptr);
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceW(manager.Get(), wideName.c_str(), kAllAccess));
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
    const Wait wait = WaitWhilePending(calls, service.Get(), SERVICE_STOP_PENDING, "StopService", name);
    switch (wait.end) {
    case WaitEnd::Reached:
        if (wait.state == SERVICE_STOPPED) return 1;
        break;
    case WaitEnd::TimedOut:
        SetMessageText("StopService: %s still stop pending after %d ms", name.c_str(), static_cast<int>(wait.waitedMs));
        return 0;
    case WaitEnd::QueryFailed:
        break;
    }
    SetMessageText("QueryServiceStatus failed: %d", wait.lastError);
    return 0;
}

int Remove(const char* nameArg, ServiceManager& calls) {
    const std::string name(nameArg);
    const std::wstring wideName = Widen(name);
    const char caption[] = "Inside RemoveService";
    UniqueServiceHandle manager = Connect(calls, name, caption);
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceW(manager.Get(), wideName.c_str(), kAllAccess));
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

int Install(const char* nameArg, const char* binaryPath, int startType, ServiceManager& calls) {
    const std::string name(nameArg);
    const std::wstring wideName = Widen(name);
    const char caption[] = "Inside InstallService";
    // This connection stays open while the nested calls make their own.
    UniqueServiceHandle manager = Connect(calls, name, caption);
    if (!manager) return 0;
    StopAndRemoveIfPresent(name, calls);
    const std::wstring widePath = Widen(binaryPath);
    UniqueServiceHandle service(CreateServiceW(manager.Get(), wideName.c_str(), wideName.c_str(), kAllAccess,
                                               kServiceType, static_cast<DWORD>(startType),
                                               SERVICE_ERROR_NORMAL, widePath.c_str(), nullptr, nullptr,
                                               nullptr, nullptr, nullptr));
    if (!service) {
        int code = LastError();
        SetMessageText("CreateService -->%s<-- failed: %d", name.c_str(), code);
        ShowMessageBuffer(caption);
        return 0;
    }
    return 1;
}

int Begin(const char* nameArg, ServiceManager& calls) {
    // Silent on every path: no text, no box.
    const std::string name(nameArg);
    const std::wstring wideName = Widen(name);
    UniqueServiceHandle manager(calls.Open());
    if (!manager) return 0;
    UniqueServiceHandle service(OpenServiceW(manager.Get(), wideName.c_str(), kAllAccess));
    if (!service) return 0;
    if (!StartServiceW(service.Get(), 0, nullptr)) return 0;
    const Wait wait = WaitWhilePending(calls, service.Get(), SERVICE_START_PENDING, "BeginService", name);
    return wait.end == WaitEnd::Reached && wait.state == SERVICE_RUNNING ? 1 : 0;
}

int Uninstall(const char* nameArg, ServiceManager& calls) {
    const std::string name(nameArg);
    UniqueServiceHandle manager = Connect(calls, name, "Inside UnInstallService");
    if (!manager) return 0;
    StopAndRemoveIfPresent(name, calls);
    return 1;
}

}  // namespace wex::service
