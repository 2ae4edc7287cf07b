// The task list: one record per running process, with the window and title
// that the window pass found for it. Free of <windows.h>, so that the
// matching pass and the performance-data reader build natively as well.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wex {
namespace process {

// The limits of a record's texts, with their zero: bytes for an A export,
// UTF-16 units for a W export. A record holds its texts in the call's
// encoding (frame/encoding.h), whose WTF-8 takes up to three bytes a unit.
constexpr std::size_t kProcessNameSize = 80;
constexpr std::size_t kWindowTitleSize = 256;
constexpr std::size_t Wtf8Room(std::size_t units) { return 3 * (units - 1) + 1; }
// KillProcess and GetPID give the builder room for this many records; it
// fills at most one fewer.
constexpr std::size_t kTaskCapacity = 256;
// A process whose id reads 0 is listed with this id, so that 0 keeps its
// meaning "no process" in GetPID's result.
constexpr std::uint32_t kZeroProcessId = 0xFFFFFFFEu;
// Longest instance name that still gets ".exe" within the 80-character name.
constexpr std::size_t kMaxInstanceName = 75;

struct TaskRecord {
    std::uint32_t processId;
    std::uint32_t selected;
    void* window;  // HWND of a top-level window of the process, or null
    char processName[Wtf8Room(kProcessNameSize)];
    char windowTitle[Wtf8Room(kWindowTitleSize)];
};

}  // namespace process
}  // namespace wex
