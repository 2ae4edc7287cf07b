// Service control through the service control manager. Each function opens
// its own manager connection, does its work and closes every handle before it
// returns. Failure texts go to the message buffer, some also into a box.
#pragma once

#include <windows.h>

namespace wex::service {

// Manager rights and service rights the exports ask for.
constexpr DWORD kManagerAccess = SC_MANAGER_ALL_ACCESS;  // 0xF003F
constexpr DWORD kQueryAccess = SERVICE_QUERY_STATUS;     // 4
constexpr DWORD kAllAccess = SERVICE_ALL_ACCESS;         // 0xF01FF
// Own process (0x10) that may interact with the desktop (0x100).
constexpr DWORD kServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
// The stop and start waits sleep this long before every status query.
constexpr DWORD kPollMs = 1000;

// The two manager calls whose outcome Wine cannot make look as on Windows:
// there every process runs elevated, so the manager always opens, and a
// service process that dies while start pending stays start pending for good
// (Windows reports it stopped). The exports pass a SystemServiceManager;
// tests pass a stand-in to reproduce what Windows does. Pure, so that a
// stand-in must answer every call itself.
class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // OpenSCManagerW on the local machine's active database, all access.
    virtual SC_HANDLE Open() = 0;
    // QueryServiceStatus.
    virtual BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) = 0;
};

// The service control manager itself.
class SystemServiceManager final : public ServiceManager {
public:
    SC_HANDLE Open() override;
    BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) override;
};

int Exists(const char* name, ServiceManager& manager);
int Running(const char* name, ServiceManager& manager);
int Stop(const char* name, ServiceManager& manager);
int Remove(const char* name, ServiceManager& manager);
int Install(const char* name, const char* binaryPath, int startType, ServiceManager& manager);
int Begin(const char* name, ServiceManager& manager);
int Uninstall(const char* name, ServiceManager& manager);

}  // namespace wex::service
