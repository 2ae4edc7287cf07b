#include "process/terminate.h"

#include <cstring>
#include <memory>
#include <string>

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/winhandles.h"
#include "process/pattern.h"
#include "service/service.h"

namespace wex {
namespace process {
namespace {

// All access as the terminate step asks for it (the older, smaller mask,
// which every version of the platform grants to a privileged caller).
constexpr DWORD kAllAccess = 0x1F0FFF;

struct TaskList {
    std::unique_ptr<TaskRecord[]> tasks{new TaskRecord[kTaskCapacity]};
    std::size_t count = 0;
};

// A pattern as the calling export matches it: an A export's bytes, a W
// export's characters with the platform's case rules.
class CallPattern {
public:
    explicit CallPattern(const char* pattern) : wide_(CurrentCallEncoding() == CallEncoding::Wtf8) {
        if (wide_) {
            const std::wstring text = Widen(pattern);
            const std::u16string_view units(reinterpret_cast<const char16_t*>(text.data()), text.size());
            units_ = PrepareWidePattern(units, UpperCaseByPlatform);
        } else {
            bytes_ = PreparePattern(pattern);
        }
    }

    std::size_t Select(TaskRecord* tasks, std::size_t count, std::uint32_t callerId, bool firstOnly) const {
        return wide_ ? SelectMatches(tasks, count, units_, callerId, firstOnly)
                     : SelectMatches(tasks, count, bytes_, callerId, firstOnly);
    }

private:
    bool wide_;
    Pattern bytes_{};
    WidePattern units_{};
};

// Builds the list, finds the windows and marks the matches.
void SelectTasks(TaskList& list, const CallPattern& pattern, bool firstOnly, PerformanceRegistry& registry) {
    list.count = BuildTaskList(list.tasks.get(), kTaskCapacity, registry);
    WindowPass(list.tasks.get(), list.count);
    const std::uint32_t caller = GetCurrentProcessId();
    pattern.Select(list.tasks.get(), list.count, caller, firstOnly);
}

}  // namespace

void UpperCaseByPlatform(char16_t* text, std::size_t length) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "the platform's wide characters are UTF-16 units");
    if (length == 0 || length > 0x7FFFFFFF) return;
    std::wstring upper(length, L'\0');
    const int size = static_cast<int>(length);
    // The invariant locale's case rules: the same on every machine, so that
    // a pattern written in capitals matches on a Turkish machine too.
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const wchar_t*>(text), size,
                      &upper[0], size, nullptr, nullptr, 0) == size)
        std::memcpy(text, upper.data(), length * sizeof(char16_t));
}

ProcessControl::Outcome SystemProcessControl::Terminate(std::uint32_t processId, UINT exitCode) {
    UniqueHandle process(OpenProcess(kAllAccess, FALSE, processId));
    if (!process) return Outcome::NotOpened;
    return TerminateProcess(process.Get(), exitCode) ? Outcome::Terminated : Outcome::NotTerminated;
}

bool SystemProcessControl::PostClose(HWND window) { return PostMessageW(window, WM_CLOSE, 0, 0) != 0; }

int TerminateTask(const TaskRecord& task, int force, ProcessControl& control) {
    HWND window = static_cast<HWND>(task.window);
    if (force == 0 && window) return control.PostClose(window) ? 1 : 0;
    switch (control.Terminate(task.processId, 1)) {
    case ProcessControl::Outcome::Terminated: return 1;
    case ProcessControl::Outcome::NotTerminated: return 0;
    case ProcessControl::Outcome::NotOpened: break;
    }
    // Neither opened nor asked to close is a failure, not a success.
    return window && control.PostClose(window) ? 1 : 0;
}

int KillProcesses(const char* pattern, int processId, int force, PerformanceRegistry& registry,
                  ProcessControl& control) {
    if (processId == 0 && pattern[0] == '\0') {
        OutputLine("missing pid or task name\n");
        return 0;
    }
    const CallPattern prepared(pattern);
    EnableDebugPrivilege();

    if (processId != 0) {
        TaskRecord task{};
        task.processId = static_cast<std::uint32_t>(processId);
        if (TerminateTask(task, 1, control)) {
            OutputLine("process #%d killed\n", processId);
            return 1;
        }
        OutputLine("process #%d could not be killed\n", processId);
        return 0;
    }

    TaskList list;
    SelectTasks(list, prepared, false, registry);
    // Every task is matched before the first one is acted on; the last
    // selected task decides the result.
    int result = 0;
    for (std::size_t i = 0; i < list.count; ++i) {
        const TaskRecord& task = list.tasks[i];
        if (!task.selected) continue;
        result = TerminateTask(task, force, control);
        OutputLine(result ? "process #%d [%s] killed\n" : "process #%d [%s] could not be killed\n",
                   static_cast<int>(task.processId), task.processName);
    }
    return result;
}

int FindProcessId(const char* pattern, PerformanceRegistry& registry) {
    // The empty pattern names no process: matched, it would return whichever
    // task happens to have no window title.
    if (pattern[0] == '\0') return 0;
    EnableDebugPrivilege();
    const CallPattern prepared(pattern);
    TaskList list;
    SelectTasks(list, prepared, true, registry);
    for (std::size_t i = 0; i < list.count; ++i)
        if (list.tasks[i].selected) return static_cast<int>(list.tasks[i].processId);
    return 0;
}

int StopServer(const char* pattern, const char* serviceName, service::ServiceManager& services,
               PerformanceRegistry& registry, ProcessControl& control) {
    if (CallLength(serviceName) >= kMessageBufferSize) return 0;
    SetMessageText("%s", serviceName);
    if (service::Running(MessageBuffer(), services) == 1) return service::Stop(MessageBuffer(), services);
    if (FindProcessId(pattern, registry) != 0) return KillProcesses(pattern, 0, 1, registry, control);
    return 0;
}

}  // namespace process
}  // namespace wex
