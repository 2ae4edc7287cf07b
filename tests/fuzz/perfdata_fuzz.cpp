// The performance-data reader on arbitrary bytes, placed at the very end of an
// allocation of exactly their size: nothing outside them may be read, and what
// is read must agree with a reference walk of the same layout.
//
// Input: a control byte, then the bytes. With the control byte's high bit set
// they are a counter-names list; otherwise a data block, read with the
// process-id counter at index 784 into as many records as the low three bits
// choose.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzinput.h"
#include "process/perfdata.h"

namespace {

using namespace wex::process;
using namespace wexfuzz;

constexpr std::uint32_t kIdIndex = 784;

// ---- Counter names ---------------------------------------------------------

std::string LowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return lowered;
}

void CheckCounterNames(std::string_view list) {
    std::string process, previous;
    bool hasId = false;
    std::uint32_t id = 0;
    bool first = true;
    for (std::size_t pos = 0; pos < list.size() && list[pos] != '\0';) {
        std::size_t end = pos;
        while (end < list.size() && list[end] != '\0') ++end;
        const std::string current(list.substr(pos, end - pos));
        std::size_t digitsFrom = previous.size();
        while (!first && digitsFrom > 0 && previous[digitsFrom - 1] >= '0' && previous[digitsFrom - 1] <= '9')
            --digitsFrom;
        const std::string digits = first ? std::string() : previous.substr(digitsFrom);
        if (LowerAscii(current) == "process") {
            process = digits;
        } else if (LowerAscii(current) == "id process") {
            hasId = !digits.empty();
            std::uint64_t value = 0;
            for (char d : digits) value = (value * 10 + static_cast<std::uint64_t>(d - '0')) % (std::uint64_t(1) << 32);
            id = static_cast<std::uint32_t>(value);
        }
        previous = current;
        first = false;
        pos = end + 1;
    }
    std::unique_ptr<char[]> bytes(new char[list.size()]);
    std::memcpy(bytes.get(), list.data(), list.size());
    const CounterIndexes found = FindCounterIndexes(bytes.get(), list.size());
    WEX_FUZZ_CHECK(found.processObject == process);
    WEX_FUZZ_CHECK(found.hasIdProcess == hasId);
    WEX_FUZZ_CHECK(found.idProcess == id);
}

// ---- Data block ------------------------------------------------------------

bool AsciiConvert(const std::uint16_t* name, char* out) {
    std::size_t i = 0;
    for (; name[i] != 0; ++i) {
        if (name[i] > 0x7F || i + 1 >= kConvertedNameSize) return false;
        out[i] = static_cast<char>(name[i]);
    }
    out[i] = '\0';
    return true;
}

struct Task {
    std::uint32_t id;
    std::string name;
    bool operator==(const Task& other) const { return id == other.id && name == other.name; }
};

class Layout {
public:
    explicit Layout(std::string_view bytes) : bytes_(bytes) {}

    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < 4) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes_[offset + i]);
        return value;
    }

    // The instance name as the ASCII converter would give it, or nothing
    // when it is unterminated inside the block or not convertible.
    std::optional<std::string> Name(std::uint64_t offset) const {
        std::string name;
        bool convertible = true;
        for (;; offset += 2) {
            if (offset > bytes_.size() || bytes_.size() - offset < 2) return std::nullopt;
            const unsigned unit = static_cast<unsigned char>(bytes_[offset]) |
                                  static_cast<unsigned>(static_cast<unsigned char>(bytes_[offset + 1])) << 8;
            if (unit == 0) break;
            if (unit > 0x7F) convertible = false;
            name += static_cast<char>(unit);
        }
        if (!convertible || name.size() >= kConvertedNameSize) return std::nullopt;
        return name;
    }

private:
    std::string_view bytes_;
};

// Nothing when the block holds no usable process object.
std::optional<std::vector<Task>> ReferenceRead(std::string_view bytes, std::size_t limit) {
    const Layout at(bytes);
    if (bytes.substr(0, 8) != std::string_view("P\0E\0R\0F\0", 8)) return std::nullopt;
    const auto headerLength = at.U32(24), objectTypes = at.U32(28);
    if (!headerLength || !objectTypes || *objectTypes == 0) return std::nullopt;
    const std::uint64_t object = *headerLength;
    const auto definitionLength = at.U32(object + 4), objectHeader = at.U32(object + 8),
               counters = at.U32(object + 32), instances = at.U32(object + 40);
    if (!definitionLength || !objectHeader || !counters || !instances) return std::nullopt;
    std::optional<std::uint32_t> idOffset;
    for (std::uint64_t i = 0; i < *counters; ++i) {
        const std::uint64_t definition = object + *objectHeader + 40 * i;
        const auto title = at.U32(definition + 4);
        if (!title) break;
        if (*title == kIdIndex) {
            idOffset = at.U32(definition + 36);
            break;
        }
    }
    if (!idOffset) return std::nullopt;

    std::vector<Task> tasks;
    std::uint64_t instance = object + *definitionLength;
    while (tasks.size() < std::min<std::uint64_t>(*instances, limit)) {
        const auto byteLength = at.U32(instance), nameOffset = at.U32(instance + 16);
        if (!byteLength || !nameOffset) break;
        const std::uint64_t counterBlock = instance + *byteLength;
        const auto blockLength = at.U32(counterBlock), id = at.U32(counterBlock + *idOffset);
        if (!blockLength || !id) break;
        const std::optional<std::string> name = at.Name(instance + *nameOffset);
        std::string shown = "unknown";
        if (name) shown = name->size() <= 75 ? *name + ".exe" : std::string();
        tasks.push_back({*id == 0 ? 0xFFFFFFFEu : *id, shown});
        instance = counterBlock + *blockLength;
    }
    return tasks;
}

void CheckBlock(std::string_view bytes, std::size_t limit) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[bytes.size()]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    // One record more than the limit, to see it left alone.
    constexpr unsigned char kUntouched = 0x5A;
    std::vector<TaskRecord> records(limit + 1);
    std::memset(records.data(), kUntouched, records.size() * sizeof(TaskRecord));
    std::size_t filled = 12345;
    const bool object = ReadProcessObject(block.get(), bytes.size(), kIdIndex, records.data(), limit,
                                          AsciiConvert, &filled);

    const std::optional<std::vector<Task>> expected = ReferenceRead(bytes, limit);
    WEX_FUZZ_CHECK(object == expected.has_value());
    WEX_FUZZ_CHECK(filled == (expected ? expected->size() : 0));
    WEX_FUZZ_CHECK(filled <= limit);
    for (std::size_t i = 0; i < filled; ++i) {
        const TaskRecord& r = records[i];
        WEX_FUZZ_CHECK(r.processName[sizeof r.processName - 1] == '\0');
        WEX_FUZZ_CHECK((Task{r.processId, r.processName} == (*expected)[i]));
        WEX_FUZZ_CHECK(r.selected == 0 && r.window == nullptr && r.windowTitle[0] == '\0');
    }
    TaskRecord untouched;
    std::memset(&untouched, kUntouched, sizeof untouched);
    for (std::size_t i = filled; i < records.size(); ++i)
        WEX_FUZZ_CHECK(std::memcmp(&records[i], &untouched, sizeof untouched) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const unsigned char control = input.Control();
    const std::string_view bytes = input.Rest();
    if (control & 0x80) {
        CheckCounterNames(bytes);
    } else {
        // The task list's own limit and small ones, reached by repeated or
        // overlapping instances.
        static const std::size_t kLimits[] = {255, 0, 1, 2, 3, 5, 16, 255};
        CheckBlock(bytes, kLimits[control & 7]);
    }
    return 0;
}
