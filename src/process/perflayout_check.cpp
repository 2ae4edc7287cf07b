// The performance-data offsets that the reader uses, held against the
// platform's own structures at compile time: a wrong offset does not build.
#include <windows.h>
#include <winperf.h>

#include <cstddef>

#include "process/perflayout.h"

namespace wex::process::perf {

static_assert(kBlockSignature == offsetof(PERF_DATA_BLOCK, Signature), "");
static_assert(kBlockLittleEndian == offsetof(PERF_DATA_BLOCK, LittleEndian), "");
static_assert(kBlockTotalByteLength == offsetof(PERF_DATA_BLOCK, TotalByteLength), "");
static_assert(kBlockHeaderLength == offsetof(PERF_DATA_BLOCK, HeaderLength), "");
static_assert(kBlockNumObjectTypes == offsetof(PERF_DATA_BLOCK, NumObjectTypes), "");
static_assert(kBlockSize == sizeof(PERF_DATA_BLOCK), "");

static_assert(kObjectTotalByteLength == offsetof(PERF_OBJECT_TYPE, TotalByteLength), "");
static_assert(kObjectDefinitionLength == offsetof(PERF_OBJECT_TYPE, DefinitionLength), "");
static_assert(kObjectHeaderLength == offsetof(PERF_OBJECT_TYPE, HeaderLength), "");
static_assert(kObjectNameTitleIndex == offsetof(PERF_OBJECT_TYPE, ObjectNameTitleIndex), "");
static_assert(kObjectNumCounters == offsetof(PERF_OBJECT_TYPE, NumCounters), "");
static_assert(kObjectNumInstances == offsetof(PERF_OBJECT_TYPE, NumInstances), "");
static_assert(kObjectSize == sizeof(PERF_OBJECT_TYPE), "");

static_assert(kCounterByteLength == offsetof(PERF_COUNTER_DEFINITION, ByteLength), "");
static_assert(kCounterNameTitleIndex == offsetof(PERF_COUNTER_DEFINITION, CounterNameTitleIndex), "");
static_assert(kCounterSize == offsetof(PERF_COUNTER_DEFINITION, CounterSize), "");
static_assert(kCounterOffset == offsetof(PERF_COUNTER_DEFINITION, CounterOffset), "");
static_assert(kCounterDefinitionSize == sizeof(PERF_COUNTER_DEFINITION), "");

static_assert(kInstanceByteLength == offsetof(PERF_INSTANCE_DEFINITION, ByteLength), "");
static_assert(kInstanceNameOffset == offsetof(PERF_INSTANCE_DEFINITION, NameOffset), "");
static_assert(kInstanceNameLength == offsetof(PERF_INSTANCE_DEFINITION, NameLength), "");
static_assert(kInstanceSize == sizeof(PERF_INSTANCE_DEFINITION), "");

static_assert(kCounterBlockByteLength == offsetof(PERF_COUNTER_BLOCK, ByteLength), "");

}  // namespace wex::process::perf
