#include "process/perfdata.h"

#include <cstring>
#include <vector>

#include "frame/ascii.h"
#include "process/perflayout.h"

namespace wex {
namespace process {
namespace {

// The decimal digits that end a string.
std::string TrailingDigits(const char* text, std::size_t length) {
    std::size_t start = length;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
    return std::string(text + start, length - start);
}

// Offsets are sums of 32-bit fields; 64-bit arithmetic cannot overflow.
struct Block {
    const unsigned char* data;
    std::size_t size;

    bool Has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size && length <= size - offset;
    }
    bool Read32(std::uint64_t offset, std::uint32_t& value) const {
        if (!Has(offset, 4)) return false;
        std::memcpy(&value, data + offset, 4);
        return true;
    }
};

// The instance name at offset, copied out (the block need not keep it
// aligned); false when it is not terminated inside the block.
bool InstanceName(const Block& block, std::uint64_t offset, std::vector<std::uint16_t>& name) {
    name.clear();
    for (;; offset += 2) {
        if (!block.Has(offset, 2)) return false;
        std::uint16_t unit;
        std::memcpy(&unit, block.data + offset, 2);
        name.push_back(unit);
        if (unit == 0) return true;
    }
}

}  // namespace

CounterIndexes FindCounterIndexes(const char* list, std::size_t size) {
    CounterIndexes found;
    std::string current, previous;
    std::size_t pos = 0;
    bool first = true;
    while (pos < size && list[pos] != '\0') {
        std::size_t length = 0;
        while (pos + length < size && list[pos + length] != '\0') ++length;
        current.assign(list + pos, length);
        // The first string has no index before it: its digit run is empty.
        std::string digits = first ? std::string() : TrailingDigits(previous.data(), previous.size());
        if (EqualsIgnoringAsciiCase(current.c_str(), "process")) {
            found.processObject = digits;
        } else if (EqualsIgnoringAsciiCase(current.c_str(), "id process")) {
            found.hasIdProcess = !digits.empty();
            std::uint32_t value = 0;
            for (char d : digits) value = value * 10 + static_cast<std::uint32_t>(d - '0');
            found.idProcess = value;
        }
        previous.swap(current);
        first = false;
        pos += length + 1;
    }
    return found;
}

void FillTask(TaskRecord& task, std::uint32_t processId, const char* name, NameLength length) {
    std::memset(&task, 0, sizeof task);
    if (!name) {
        std::strcpy(task.processName, "unknown");
    } else {
        // Never read past the room the record has for a name and ".exe".
        constexpr std::size_t kRoom = sizeof task.processName - sizeof ".exe";
        const std::size_t bytes = BoundedLength(name, kRoom + 1);
        const std::size_t characters = length ? length(std::string_view(name, bytes)) : bytes;
        if (bytes <= kRoom && characters <= kMaxInstanceName) {
            std::memcpy(task.processName, name, bytes);
            std::memcpy(task.processName + bytes, ".exe", 5);
        }
    }
    task.selected = 0;
    task.processId = processId == 0 ? kZeroProcessId : processId;
}

bool ReadProcessObject(const unsigned char* data, std::size_t size, std::uint32_t idProcessIndex,
                       TaskRecord* tasks, std::size_t limit, NameConverter convert,
                       std::size_t* filled, NameLength length) {
    *filled = 0;
    const Block block{data, size};
    static const unsigned char kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
    if (!block.Has(perf::kBlockSignature, 8) || std::memcmp(data + perf::kBlockSignature, kSignature, 8) != 0)
        return false;

    std::uint32_t headerLength, objectTypes;
    if (!block.Read32(perf::kBlockHeaderLength, headerLength) ||
        !block.Read32(perf::kBlockNumObjectTypes, objectTypes) || objectTypes == 0)
        return false;

    // The query named the process object alone, so the first object is it.
    const std::uint64_t object = headerLength;
    std::uint32_t definitionLength, objectHeaderLength, counters, instances;
    if (!block.Read32(object + perf::kObjectDefinitionLength, definitionLength) ||
        !block.Read32(object + perf::kObjectHeaderLength, objectHeaderLength) ||
        !block.Read32(object + perf::kObjectNumCounters, counters) ||
        !block.Read32(object + perf::kObjectNumInstances, instances))
        return false;

    bool haveCounter = false;
    std::uint32_t counterOffset = 0;
    for (std::uint32_t i = 0; i < counters && !haveCounter; ++i) {
        const std::uint64_t definition = object + objectHeaderLength + std::uint64_t{i} * perf::kCounterDefinitionSize;
        std::uint32_t titleIndex;
        if (!block.Read32(definition + perf::kCounterNameTitleIndex, titleIndex)) break;
        if (titleIndex == idProcessIndex) haveCounter = block.Read32(definition + perf::kCounterOffset, counterOffset);
    }
    if (!haveCounter) return false;

    const std::size_t count = instances < limit ? instances : limit;
    std::uint64_t instance = object + definitionLength;
    std::vector<std::uint16_t> wide;
    for (std::size_t k = 0; k < count; ++k) {
        std::uint32_t byteLength, nameOffset, blockLength, processId;
        if (!block.Read32(instance + perf::kInstanceByteLength, byteLength) ||
            !block.Read32(instance + perf::kInstanceNameOffset, nameOffset))
            break;
        const std::uint64_t counterBlock = instance + byteLength;
        if (!block.Read32(counterBlock + perf::kCounterBlockByteLength, blockLength) ||
            !block.Read32(counterBlock + counterOffset, processId))
            break;
        char name[kConvertedNameRoom];
        const bool converted = InstanceName(block, instance + nameOffset, wide) && convert(wide.data(), name);
        FillTask(tasks[k], processId, converted ? name : nullptr, length);
        *filled = k + 1;
        instance = counterBlock + blockLength;
    }
    return true;
}

}  // namespace process
}  // namespace wex
