// The task list of KillProcess and GetPID: the debug privilege step, the
// builder (performance data first, a process snapshot where the performance
// data has no process object) and the window pass.
#pragma once

#include <windows.h>

#include <cstddef>

#include "process/tasks.h"

namespace wex {
namespace process {

// The registry calls of the performance-data reader. A seam: Wine's
// performance data holds no object types at all, so tests feed byte-built
// performance-data blocks through a stand-in to exercise the reader. The
// exports pass a SystemPerformanceRegistry. Pure, so that a stand-in must
// answer every call itself.
class PerformanceRegistry {
public:
    virtual ~PerformanceRegistry() = default;
    virtual LONG OpenKey(HKEY root, const char* subKey, REGSAM access, HKEY* key) = 0;
    virtual LONG QueryValue(HKEY key, const char* name, BYTE* data, DWORD* size) = 0;
    virtual LONG CloseKey(HKEY key) = 0;
};

// The registry itself: RegOpenKeyExA, RegQueryValueExA, RegCloseKey.
class SystemPerformanceRegistry final : public PerformanceRegistry {
public:
    LONG OpenKey(HKEY root, const char* subKey, REGSAM access, HKEY* key) override;
    LONG QueryValue(HKEY key, const char* name, BYTE* data, DWORD* size) override;
    LONG CloseKey(HKEY key) override;
};

// Tasks from the performance data's process object, at most capacity - 1 of
// them (capacity is at least 1). False when the performance data yields no
// process object; *filled is 0 then.
bool ReadPerformanceTasks(PerformanceRegistry& registry, TaskRecord* tasks, std::size_t capacity,
                          std::size_t* filled);

// Tasks from a snapshot of the running processes, named and limited as the
// performance-data tasks are.
std::size_t SnapshotTasks(TaskRecord* tasks, std::size_t capacity);

// The task list: performance data, else the snapshot. Returns the number of
// records filled (at most capacity - 1); records beyond are not touched.
std::size_t BuildTaskList(TaskRecord* tasks, std::size_t capacity, PerformanceRegistry& registry);

// Gives each listed task the last of its top-level windows in enumeration
// order (input-method helper windows aside) and the last non-empty title
// among them: an untitled window never erases a title.
void WindowPass(TaskRecord* tasks, std::size_t count);

// Enables the debug privilege in the calling process; 1 on success, else 0
// after one standard output line.
int EnableDebugPrivilege();

}  // namespace process
}  // namespace wex
