// Ending processes: the terminate step and the work of KillProcess, GetPID
// and StopServer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "process/tasklist.h"
#include "process/tasks.h"
#include "service/service.h"

namespace wex {
namespace process {

// The calls by which the terminate step ends a process. A seam: under Wine
// every process runs elevated and can open and terminate any other, so the
// paths where a process cannot be opened or terminated exist only through a
// stand-in. Pure, so that a stand-in must answer every call itself.
class ProcessControl {
public:
    enum class Outcome { NotOpened, Terminated, NotTerminated };
    virtual ~ProcessControl() = default;
    // Opens the process with all access, terminates it with the exit code
    // and closes the handle again.
    virtual Outcome Terminate(std::uint32_t processId, UINT exitCode) = 0;
    // Posts WM_CLOSE to the window; false when it could not be posted.
    virtual bool PostClose(HWND window) = 0;
};

// The platform's OpenProcess, TerminateProcess and PostMessageW.
class SystemProcessControl final : public ProcessControl {
public:
    Outcome Terminate(std::uint32_t processId, UINT exitCode) override;
    bool PostClose(HWND window) override;
};

// The terminate step: with force 0 a task with a window is asked to close;
// otherwise the process is terminated with exit code 1, or its window asked
// to close when the process cannot be opened. 1 when the process was ended
// or a close request was posted, else 0.
int TerminateTask(const TaskRecord& task, int force, ProcessControl& control);

// The case rules by which a W export's patterns ignore letter case: the
// platform's upper case of the invariant locale (UpperCase in pattern.h).
void UpperCaseByPlatform(char16_t* text, std::size_t length);

// The pattern and the names are in the call's encoding (frame/encoding.h),
// and so is the matching: bytes for an A export, characters with the
// platform's case rules for a W export (pattern.h).
int KillProcesses(const char* pattern, int processId, int force, PerformanceRegistry& registry,
                  ProcessControl& control);
int FindProcessId(const char* pattern, PerformanceRegistry& registry);

// Stops the server's service when it runs; otherwise ends the server's
// process (force 1) when one matches the pattern. The service name goes
// through the message buffer, so a name longer than the buffer's 159
// characters (UTF-16 units for a W export) is refused (0) rather than
// shortened to another service's name.
int StopServer(const char* pattern, const char* serviceName, service::ServiceManager& services,
               PerformanceRegistry& registry, ProcessControl& control);

}  // namespace process
}  // namespace wex
