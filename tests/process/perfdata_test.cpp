// The performance-data reader on byte-built blocks, with an ASCII converter
// (platform-free; also run natively under the sanitizers, which is where
// blocks that point outside themselves show up).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "perfblock.h"
#include "process/perfdata.h"

namespace {

using wex::process::FindCounterIndexes;
using wex::process::ReadProcessObject;
using wex::process::TaskRecord;
using wextest::PerfBlock;
using wextest::Utf16;

bool AsciiConvert(const std::uint16_t* name, char* out) {
    std::size_t i = 0;
    for (; name[i]; ++i) {
        if (name[i] > 0x7F || i + 1 >= wex::process::kConvertedNameSize) return false;
        out[i] = static_cast<char>(name[i]);
    }
    out[i] = '\0';
    return true;
}

TEST(CounterNames, FindsBothIndexesInAnyCase) {
    struct Row {
        std::string list;
        std::string process;
        bool hasId;
        std::uint32_t id;
    } rows[] = {
        {wextest::StandardCounterList(), "230", true, 784},
        {wextest::CounterList({{"230", "process"}, {"784", "id process"}}), "230", true, 784},
        {wextest::CounterList({{"230", "PROCESS"}, {"784", "Id Process"}, {"231", "Process"}}),
         "231", true, 784},
        {wextest::CounterList({{"x12", "Process"}, {"78a4", "ID Process"}}), "12", true, 4},
        {wextest::CounterList({{"12x", "Process"}, {"abc", "ID Process"}}), "", false, 0},
        {wextest::CounterList({{"230", "Processes"}, {"784", "ID Process "}}), "", false, 0},
        // The first string has no index before it.
        {std::string("Process\0" "5\0" "\0", 11), "", false, 0},
        {std::string("230\0Process\0", 12), "230", false, 0},  // no closing empty string
        {std::string("230\0Process\0\0" "784\0ID Process\0\0", 30), "230", false, 0},
        {"", "", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.list));
        std::vector<char> bytes(row.list.begin(), row.list.end());  // exact size
        auto found = FindCounterIndexes(bytes.data(), bytes.size());
        EXPECT_EQ(found.processObject, row.process);
        EXPECT_EQ(found.hasIdProcess, row.hasId);
        if (row.hasId) {
            EXPECT_EQ(found.idProcess, row.id);
        }
    }
}

struct Read {
    bool object;
    std::vector<TaskRecord> tasks;
};

Read ReadBlock(const std::string& bytes, std::size_t limit, std::uint32_t idIndex = 784) {
    std::vector<unsigned char> data(bytes.begin(), bytes.end());  // exact size
    std::vector<TaskRecord> tasks(limit + 1);
    std::memset(tasks.data(), 0x5A, tasks.size() * sizeof(TaskRecord));
    std::size_t filled = 99;
    bool object = ReadProcessObject(data.data(), data.size(), idIndex, tasks.data(), limit, AsciiConvert, &filled);
    EXPECT_LE(filled, limit);
    const unsigned char* rest = reinterpret_cast<const unsigned char*>(&tasks[filled]);
    for (std::size_t i = 0; i < sizeof(TaskRecord); ++i)
        EXPECT_EQ(rest[i], 0x5A) << "record after the last filled one was touched";
    tasks.resize(filled);
    return {object, tasks};
}

TEST(ProcessObject, FillsRecordsInInstanceOrder) {
    PerfBlock block;
    block.instances = {{Utf16("Idle"), 0}, {Utf16("notepad"), 1234}, {Utf16(std::string(75, 'a')), 8},
                       {Utf16(std::string(76, 'b')), 12}, {u"caf\u00e9", 16}};
    Read r = ReadBlock(block.Bytes(), 255);
    ASSERT_TRUE(r.object);
    ASSERT_EQ(r.tasks.size(), 5u);
    const struct {
        std::uint32_t id;
        std::string name;
    } expected[] = {{0xFFFFFFFEu, "Idle.exe"}, {1234, "notepad.exe"}, {8, std::string(75, 'a') + ".exe"},
                    {12, ""}, {16, "unknown"}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.tasks[i].processId, expected[i].id);
        EXPECT_EQ(r.tasks[i].processName, expected[i].name);
        EXPECT_EQ(r.tasks[i].selected, 0u);
        EXPECT_EQ(r.tasks[i].window, nullptr);
        EXPECT_STREQ(r.tasks[i].windowTitle, "");
    }
}

TEST(ProcessObject, StopsAtTheLimit) {
    PerfBlock block;
    for (std::uint32_t i = 1; i <= 300; ++i) block.instances.push_back({Utf16("p" + std::to_string(i)), 4 * i});
    const std::string bytes = block.Bytes();
    Read r = ReadBlock(bytes, 255);
    ASSERT_EQ(r.tasks.size(), 255u);
    EXPECT_STREQ(r.tasks[254].processName, "p255.exe");
    EXPECT_EQ(r.tasks[254].processId, 1020u);
    Read none = ReadBlock(bytes, 0);
    EXPECT_TRUE(none.object);
    EXPECT_TRUE(none.tasks.empty());
}

TEST(ProcessObject, NoProcessObject) {
    PerfBlock badSignature;
    badSignature.signature = "PERG";
    badSignature.instances = {{u"a", 4}};
    PerfBlock noObjects;  // what Wine hands out for every query
    noObjects.objectTypes = 0;
    PerfBlock noIdCounter;
    noIdCounter.idIndex = 9999;
    noIdCounter.counters = {{6, 4}, {1410, 8}};
    noIdCounter.instances = {{u"a", 4}};
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"bad signature", badSignature.Bytes()},
        {"no object types", noObjects.Bytes()},
        {"no id counter", noIdCounter.Bytes()},
        {"empty", ""},
        {"signature only", "P\0E\0R\0F\0"},
        {"header cut short", noIdCounter.Bytes().substr(0, 100)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Read r = ReadBlock(row.bytes, 255);
        EXPECT_FALSE(r.object);
        EXPECT_TRUE(r.tasks.empty());
    }
}

TEST(ProcessObject, InstancesOutsideTheBlockEndTheList) {
    PerfBlock block;
    block.instances = {{u"first", 4}, {u"second", 8}, {u"third", 12}};
    const std::string whole = block.Bytes();
    // Cut inside the last instance's counter block, then inside its name.
    const std::size_t lastInstance = whole.size() - PerfBlock::kCounterBlock - 40;
    for (std::size_t cut : {whole.size() - PerfBlock::kCounterBlock + 11, whole.size() - PerfBlock::kCounterBlock, lastInstance + 30,
                            lastInstance + 10}) {
        SCOPED_TRACE(cut);
        Read r = ReadBlock(whole.substr(0, cut), 255);
        EXPECT_TRUE(r.object);
        ASSERT_EQ(r.tasks.size(), 2u);
        EXPECT_STREQ(r.tasks[1].processName, "second.exe");
    }
    // Offsets far outside the block.
    std::string wild = whole;
    const std::uint32_t huge = 0xFFFFFFF0u;
    std::memcpy(&wild[PerfBlock::kHeaderLength + 4], &huge, 4);  // DefinitionLength
    Read r = ReadBlock(wild, 255);
    EXPECT_TRUE(r.object);
    EXPECT_TRUE(r.tasks.empty());
    std::memcpy(&wild[24], &huge, 4);  // the data block's HeaderLength
    EXPECT_FALSE(ReadBlock(wild, 255).object);
}

TEST(ProcessObject, NameWithoutTerminatorInsideTheBlockIsUnknown) {
    PerfBlock block;
    block.instances = {{u"abcdefgh", 4}};
    std::string bytes = block.Bytes();
    // Point the name at the last two bytes of the block (not a terminator).
    const std::size_t instance = bytes.size() - PerfBlock::kCounterBlock - 48;
    const std::uint32_t nameOffset = static_cast<std::uint32_t>(bytes.size() - 2 - instance);
    bytes[bytes.size() - 2] = 'z';
    std::memcpy(&bytes[instance + 16], &nameOffset, 4);
    Read r = ReadBlock(bytes, 255);
    ASSERT_EQ(r.tasks.size(), 1u);
    EXPECT_STREQ(r.tasks[0].processName, "unknown");
}

}  // namespace
