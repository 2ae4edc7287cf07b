// The platform's performance-data layout, as far as the task list reads it
// (and the tests build it): byte offsets of the fields and the sizes of the
// structures, in the 32-bit layout that 64-bit Windows keeps as well. Named
// here once; perflayout_check.cpp holds them against <winperf.h>. Free of
// the platform, so that the reader is also built and fuzzed natively.
#pragma once

#include <cstddef>

namespace wex::process::perf {

// PERF_DATA_BLOCK
constexpr std::size_t kBlockSignature = 0;  // four UTF-16 units: "PERF"
constexpr std::size_t kBlockLittleEndian = 8;
constexpr std::size_t kBlockTotalByteLength = 20;
constexpr std::size_t kBlockHeaderLength = 24;  // where the first object type starts
constexpr std::size_t kBlockNumObjectTypes = 28;
constexpr std::size_t kBlockSize = 88;

// PERF_OBJECT_TYPE
constexpr std::size_t kObjectTotalByteLength = 0;
constexpr std::size_t kObjectDefinitionLength = 4;  // where the first instance starts
constexpr std::size_t kObjectHeaderLength = 8;      // where the counter definitions start
constexpr std::size_t kObjectNameTitleIndex = 12;
constexpr std::size_t kObjectNumCounters = 32;
constexpr std::size_t kObjectNumInstances = 40;
constexpr std::size_t kObjectSize = 64;

// PERF_COUNTER_DEFINITION, stepped over at its fixed size
constexpr std::size_t kCounterByteLength = 0;
constexpr std::size_t kCounterNameTitleIndex = 4;
constexpr std::size_t kCounterSize = 32;
constexpr std::size_t kCounterOffset = 36;  // the counter's place in each counter block
constexpr std::size_t kCounterDefinitionSize = 40;

// PERF_INSTANCE_DEFINITION
constexpr std::size_t kInstanceByteLength = 0;  // where its counter block starts
constexpr std::size_t kInstanceNameOffset = 16;
constexpr std::size_t kInstanceNameLength = 20;
constexpr std::size_t kInstanceSize = 24;

// PERF_COUNTER_BLOCK
constexpr std::size_t kCounterBlockByteLength = 0;  // where the next instance starts

}  // namespace wex::process::perf
