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

int Exists(const char* name);
int Running(const char* name);
int Stop(const char* name);
int Remove(const char* name);
int Install(const char* name, const char* binaryPath, int startType);
int Begin(const char* name);
int Uninstall(const char* name);

// The two manager calls whose outcome Wine cannot make look as on Windows:
// there every process runs elevated, so the manager always opens, and a
// service process that dies while start pending stays start pending for good
// (Windows reports it stopped). Tests put their own Platform in to reproduce
// what Windows does; the library itself only ever uses the default one.
class Platform {
public:
    virtual ~Platform() = default;
    // OpenSCManagerA on the local machine's active database, all access.
    virtual SC_HANDLE OpenManager();
    // QueryServiceStatus.
    virtual BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS* status);
};

// Installs a platform; nullptr puts the default one back.
void SetPlatform(Platform* platform);

}  // namespace wex::service
