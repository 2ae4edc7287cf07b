// Performance data built byte by byte, as the registry hands it out: the
// counter-names list and a data block holding one object type with its
// counter definitions and instances (the platform's 32-bit layout).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "process/perflayout.h"

namespace wextest {

// "index\0name\0...\0\0".
inline std::string CounterList(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string list;
    for (const auto& e : entries) {
        list += e.first;
        list += '\0';
        list += e.second;
        list += '\0';
    }
    list += '\0';
    return list;
}

struct PerfInstance {
    std::u16string name;
    std::uint32_t id;
};

inline std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Laid out with the offsets the reader uses (held against the platform's
// structures at compile time): the lengths below are this builder's choices.
struct PerfBlock {
    // The data block's header with room for a system name after it.
    static constexpr std::uint32_t kHeaderLength = wex::process::perf::kBlockSize + 8;
    static constexpr std::uint32_t kObjectHeader = wex::process::perf::kObjectSize;
    // Each instance's counter block: its length and three counters.
    static constexpr std::uint32_t kCounterBlock = 16;

    const char* signature = "PERF";
    std::uint32_t objectTypes = 1;
    // (CounterNameTitleIndex, CounterOffset) of each counter definition.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> counters = {{6, 4}, {784, 8}, {1410, 12}};
    std::uint32_t idIndex = 784;  // the counter whose slot carries the instance's id
    std::vector<PerfInstance> instances;
    std::uint32_t extraBytes = 0;  // zero bytes after the last instance

    std::string Bytes() const {
        namespace perf = wex::process::perf;
        constexpr std::uint32_t kDefinition = perf::kCounterDefinitionSize;
        constexpr std::uint32_t kInstance = perf::kInstanceSize;
        std::string b(kHeaderLength, '\0');
        for (int i = 0; i < 4; ++i) b[perf::kBlockSignature + 2 * i] = signature[i];
        Put(b, perf::kBlockLittleEndian, 1);
        Put(b, perf::kBlockHeaderLength, kHeaderLength);
        Put(b, perf::kBlockNumObjectTypes, objectTypes);
        if (objectTypes == 0) {
            Put(b, perf::kBlockTotalByteLength, static_cast<std::uint32_t>(b.size()));
            return b;
        }
        const std::size_t object = b.size();
        const std::uint32_t definitionLength = kObjectHeader + kDefinition * static_cast<std::uint32_t>(counters.size());
        b.resize(object + definitionLength, '\0');
        Put(b, object + perf::kObjectDefinitionLength, definitionLength);
        Put(b, object + perf::kObjectHeaderLength, kObjectHeader);
        Put(b, object + perf::kObjectNameTitleIndex, 230);
        Put(b, object + perf::kObjectNumCounters, static_cast<std::uint32_t>(counters.size()));
        Put(b, object + perf::kObjectNumInstances, static_cast<std::uint32_t>(instances.size()));
        std::uint32_t idOffset = 0;
        for (std::size_t i = 0; i < counters.size(); ++i) {
            const std::size_t def = object + kObjectHeader + kDefinition * i;
            Put(b, def + perf::kCounterByteLength, kDefinition);
            Put(b, def + perf::kCounterNameTitleIndex, counters[i].first);
            Put(b, def + perf::kCounterSize, 4);
            Put(b, def + perf::kCounterOffset, counters[i].second);
            if (counters[i].first == idIndex) idOffset = counters[i].second;
        }
        for (const PerfInstance& instance : instances) {
            const std::size_t start = b.size();
            const std::uint32_t nameBytes = 2 * static_cast<std::uint32_t>(instance.name.size() + 1);
            const std::uint32_t byteLength = kInstance + ((nameBytes + 7) & ~7u);
            b.resize(start + byteLength + kCounterBlock, '\0');
            Put(b, start + perf::kInstanceByteLength, byteLength);
            Put(b, start + perf::kInstanceNameOffset, kInstance);
            Put(b, start + perf::kInstanceNameLength, nameBytes);
            std::memcpy(&b[start + kInstance], instance.name.data(), 2 * instance.name.size());
            const std::size_t block = start + byteLength;
            Put(b, block + perf::kCounterBlockByteLength, kCounterBlock);
            for (const auto& c : counters) Put(b, block + c.second, 0x55555555);
            if (idOffset) Put(b, block + idOffset, instance.id);
        }
        b.resize(b.size() + extraBytes, '\0');
        Put(b, object + perf::kObjectTotalByteLength, static_cast<std::uint32_t>(b.size() - object));
        Put(b, perf::kBlockTotalByteLength, static_cast<std::uint32_t>(b.size()));
        return b;
    }

    static void Put(std::string& b, std::size_t offset, std::uint32_t value) {
        std::memcpy(&b[offset], &value, 4);
    }
};

// The counter names as the system lists them (capitalised), process at 230
// and id process at 784.
inline std::string StandardCounterList() {
    return CounterList({{"1", "1847"}, {"2", "System"}, {"6", "% Processor Time"},
                        {"230", "Process"}, {"784", "ID Process"}, {"1410", "Creating Process ID"}});
}

}  // namespace wextest
