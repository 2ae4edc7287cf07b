// Reading the process object out of the system's performance data: the
// English counter-names list that gives the object's and the process-id
// counter's indexes, and the data block that a query for the object returns.
// Platform-free; the registry queries live in tasklist.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "process/tasks.h"

namespace wex {
namespace process {

struct CounterIndexes {
    std::string processObject;  // the "process" index as text, the value name to query; empty: none
    std::uint32_t idProcess = 0;
    bool hasIdProcess = false;
};

// Walks a counter-names list (alternating index and name strings, each
// zero-terminated, ended by an empty string) within its size bytes. Names
// compare without regard to case; a later entry replaces an earlier one.
CounterIndexes FindCounterIndexes(const char* list, std::size_t size);

// Converts a zero-terminated UTF-16 instance name to 8-bit text, at most
// kConvertedNameSize characters with the zero, in a buffer of
// kConvertedNameRoom bytes; false when it cannot.
constexpr std::size_t kConvertedNameSize = 260;
constexpr std::size_t kConvertedNameRoom = Wtf8Room(kConvertedNameSize);
using NameConverter = bool (*)(const std::uint16_t* name, char* out);
// How the bound on a converted name counts its characters; null: its bytes.
using NameLength = std::size_t (*)(std::string_view name);

// Fills tasks from the first object type of a performance-data block of size
// bytes, at most limit of them, in instance order. False when the block holds
// no usable process object (bad signature, no object type, no counter with
// the process-id index): the caller then takes its list elsewhere. An
// instance that reaches past the block ends the list before it.
bool ReadProcessObject(const unsigned char* data, std::size_t size, std::uint32_t idProcessIndex,
                       TaskRecord* tasks, std::size_t limit, NameConverter convert,
                       std::size_t* filled, NameLength length = nullptr);

// Clears the record and fills it the way the builder does for one process.
// A null name stands for one that could not be converted ("unknown"); a name
// of more than kMaxInstanceName characters, counted by length, leaves the
// process name empty.
void FillTask(TaskRecord& task, std::uint32_t processId, const char* name, NameLength length = nullptr);

}  // namespace process
}  // namespace wex
