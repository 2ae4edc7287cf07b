// The task list builder through a stand-in for its registry queries (the
// performance data byte-built), its snapshot fallback and the window pass on
// real processes, and the debug privilege step.
#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "capture.h"
#include "children.h"
#include "perfblock.h"
#include "programs.h"
#include "scratch.h"
#include "frame/encoding.h"
#include "process/tasklist.h"

namespace {

using wex::process::BuildTaskList;
using wex::process::ReadPerformanceTasks;
using wex::process::TaskRecord;
using wextest::PerfBlock;
using wextest::Utf16;

constexpr char kCounterKey[] = "software\\microsoft\\windows nt\\currentversion\\perflib\\009";
const HKEY kCounterHandle = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x5150));

// Answers the builder's registry calls from byte strings and records them.
class FakeRegistry : public wex::process::PerformanceRegistry {
public:
    std::string counters = wextest::StandardCounterList();
    std::string block;
    LONG openResult = ERROR_SUCCESS;
    LONG dataResult = ERROR_SUCCESS;  // a result other than success: every data query fails so
    // What a query answered with ERROR_MORE_DATA leaves in the size; -1: leave it as passed.
    long long sizeLeftOnMoreData = -1;
    DWORD countersSize = 0;  // not 0: the size the "Counters" size query answers

    std::vector<std::string> openedKeys;
    std::vector<std::string> dataQueries;  // value names queried under HKEY_PERFORMANCE_DATA
    std::vector<DWORD> offeredSizes;       // buffer sizes the data queries were given
    std::vector<HKEY> closed;

    LONG OpenKey(HKEY root, const char* subKey, REGSAM access, HKEY* key) override {
        EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
        EXPECT_EQ(access, static_cast<REGSAM>(KEY_READ));
        openedKeys.push_back(subKey);
        if (openResult != ERROR_SUCCESS) return openResult;
        *key = kCounterHandle;
        return ERROR_SUCCESS;
    }

    LONG QueryValue(HKEY key, const char* name, BYTE* data, DWORD* size) override {
        if (key == kCounterHandle) {
            EXPECT_STREQ(name, "Counters");
            if (!data && countersSize) {
                *size = countersSize;
                return ERROR_SUCCESS;
            }
            return Answer(counters, data, size);
        }
        EXPECT_EQ(key, HKEY_PERFORMANCE_DATA);
        dataQueries.push_back(name);
        offeredSizes.push_back(*size);
        // The buffer is zeroed in full before every query.
        for (DWORD i = 0; i < *size; ++i)
            if (data[i] != 0) {
                ADD_FAILURE() << "buffer not zeroed at " << i;
                break;
            }
        if (dataResult != ERROR_SUCCESS) return dataResult;
        if (*size < block.size()) {
            if (sizeLeftOnMoreData >= 0) *size = static_cast<DWORD>(sizeLeftOnMoreData);
            return ERROR_MORE_DATA;
        }
        return Answer(block, data, size);
    }

    LONG CloseKey(HKEY key) override {
        closed.push_back(key);
        return ERROR_SUCCESS;
    }

private:
    static LONG Answer(const std::string& bytes, BYTE* data, DWORD* size) {
        if (!data) {
            *size = static_cast<DWORD>(bytes.size());
            return ERROR_SUCCESS;
        }
        if (*size < bytes.size()) return ERROR_MORE_DATA;
        std::memcpy(data, bytes.data(), bytes.size());
        *size = static_cast<DWORD>(bytes.size());
        return ERROR_SUCCESS;
    }
};

class PerformanceTasks : public testing::Test {
protected:
    // Reads into records pre-filled with a marker, so that untouched ones show.
    bool Read(std::size_t capacity) {
        tasks_.assign(capacity + 1, TaskRecord{});
        std::memset(tasks_.data(), 0x5A, tasks_.size() * sizeof(TaskRecord));
        filled_ = 12345;
        bool object = ReadPerformanceTasks(registry_, tasks_.data(), capacity, &filled_);
        const unsigned char* rest = reinterpret_cast<const unsigned char*>(&tasks_[filled_]);
        for (std::size_t i = 0; i < sizeof(TaskRecord); ++i)
            EXPECT_EQ(rest[i], 0x5A) << "record after the last filled one was touched";
        return object;
    }
    void ExpectKeysClosed() {
        EXPECT_EQ(std::count(registry_.closed.begin(), registry_.closed.end(), HKEY_PERFORMANCE_DATA), 1);
        const bool opened = registry_.openResult == ERROR_SUCCESS && !registry_.openedKeys.empty();
        EXPECT_EQ(std::count(registry_.closed.begin(), registry_.closed.end(), kCounterHandle), opened ? 1 : 0);
    }

    FakeRegistry registry_;
    std::vector<TaskRecord> tasks_;
    std::size_t filled_ = 0;
};

TEST_F(PerformanceTasks, ReadsTheProcessObject) {
    PerfBlock block;
    // A name of 300 characters needs more than the 260 bytes it may take.
    block.instances = {{u"Idle", 0},     {u"notepad", 1228},  {Utf16(std::string(75, 'x')), 36},
                       {Utf16(std::string(76, 'y')), 40}, {Utf16(std::string(300, 'z')), 44},
                       {u"caf\u00e9", 48}};
    registry_.block = block.Bytes();
    ASSERT_TRUE(Read(256));
    EXPECT_EQ(registry_.openedKeys, std::vector<std::string>{kCounterKey});
    EXPECT_EQ(registry_.dataQueries, std::vector<std::string>{"230"});
    EXPECT_EQ(registry_.offeredSizes, std::vector<DWORD>{51200});
    ExpectKeysClosed();
    ASSERT_EQ(filled_, 6u);
    const struct {
        DWORD id;
        std::string name;
    } expected[] = {{0xFFFFFFFE, "Idle.exe"}, {1228, "notepad.exe"}, {36, std::string(75, 'x') + ".exe"},
                    {40, ""}, {44, "unknown"}, {48, "caf\xe9.exe"}};
    for (std::size_t i = 0; i < filled_; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tasks_[i].processId, expected[i].id);
        EXPECT_EQ(tasks_[i].processName, expected[i].name);
        EXPECT_EQ(tasks_[i].selected, 0u);
        EXPECT_EQ(tasks_[i].window, nullptr);
        EXPECT_STREQ(tasks_[i].windowTitle, "");
    }
    EXPECT_EQ(std::string(tasks_[2].processName).size(), 79u);
}

TEST_F(PerformanceTasks, GrowsTheBufferWhileTheQueryAsksForMore) {
    struct Row {
        std::uint32_t extraBytes;
        long long sizeLeft;
        std::vector<DWORD> sizes;
    } rows[] = {
        {0, -1, {51200}},
        {60000, -1, {51200, 76800}},
        {110000, -1, {51200, 76800, 102400, 128000}},
        // A query that leaves the size at 0 or at its own guess: growth
        // goes on from what the buffer already held, never below it.
        {60000, 0, {51200, 76800}},
        {60000, 70000, {51200, 95600}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.extraBytes);
        registry_ = FakeRegistry();
        PerfBlock block;
        block.instances = {{u"first", 4}, {u"second", 8}};
        block.extraBytes = row.extraBytes;
        registry_.block = block.Bytes();
        registry_.sizeLeftOnMoreData = row.sizeLeft;
        ASSERT_TRUE(Read(256));
        EXPECT_EQ(registry_.offeredSizes, row.sizes);
        EXPECT_EQ(filled_, 2u);
        ExpectKeysClosed();
    }
}

TEST_F(PerformanceTasks, KeepsOneRecordFree) {
    PerfBlock block;
    for (std::uint32_t i = 1; i <= 300; ++i) block.instances.push_back({Utf16("p" + std::to_string(i)), 4 * i});
    registry_.block = block.Bytes();
    const struct {
        std::size_t capacity, filled;
    } rows[] = {{256, 255}, {1, 0}, {2, 1}, {301, 300}, {400, 300}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.capacity);
        ASSERT_TRUE(Read(row.capacity));
        EXPECT_EQ(filled_, row.filled);
        if (filled_) {
            EXPECT_EQ(tasks_[filled_ - 1].processName, "p" + std::to_string(filled_) + ".exe");
        }
    }
}

TEST_F(PerformanceTasks, NoProcessObject) {
    PerfBlock good;
    good.instances = {{u"a", 4}};
    PerfBlock badSignature = good;
    badSignature.signature = "FREP";
    PerfBlock wine;  // Wine's answer to every query: a bare block without objects
    wine.objectTypes = 0;
    const struct Row {
        const char* name;
        std::string counters;
        std::string block;
        LONG openResult;
        LONG dataResult;
        DWORD countersSize;
    } rows[] = {
        {"counter-names key missing", wextest::StandardCounterList(), good.Bytes(), ERROR_FILE_NOT_FOUND, 0, 0},
        {"no process name", wextest::CounterList({{"784", "ID Process"}}), good.Bytes(), 0, 0, 0},
        {"no id process name", wextest::CounterList({{"230", "Process"}}), good.Bytes(), 0, 0, 0},
        {"query fails", wextest::StandardCounterList(), good.Bytes(), 0, ERROR_ACCESS_DENIED, 0},
        {"nothing returned", wextest::StandardCounterList(), "", 0, 0, 0},
        {"bad signature", wextest::StandardCounterList(), badSignature.Bytes(), 0, 0, 0},
        {"no object types", wextest::StandardCounterList(), wine.Bytes(), 0, 0, 0},
        // A size no real list has: the spare terminator bytes would wrap.
        {"counter names of absurd size", wextest::StandardCounterList(), good.Bytes(), 0, 0, 0xFFFFFFFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        registry_ = FakeRegistry();
        registry_.counters = row.counters;
        registry_.block = row.block;
        registry_.openResult = row.openResult;
        registry_.dataResult = row.dataResult;
        registry_.countersSize = row.countersSize;
        EXPECT_FALSE(Read(256));
        EXPECT_EQ(filled_, 0u);
        ExpectKeysClosed();
    }
}

bool Lists(const TaskRecord* tasks, std::size_t count, DWORD id, const char* name) {
    for (std::size_t i = 0; i < count; ++i)
        if (tasks[i].processId == id) return std::string(tasks[i].processName) == name;
    return false;
}

TEST(TaskList, FallsBackToTheProcessSnapshot) {
    wextest::WindowChild child({});
    std::vector<TaskRecord> tasks(256);
    FakeRegistry noObject;
    PerfBlock empty;
    empty.objectTypes = 0;
    noObject.block = empty.Bytes();
    std::size_t count = BuildTaskList(tasks.data(), tasks.size(), noObject);
    ASSERT_GT(count, 1u);
    EXPECT_TRUE(Lists(tasks.data(), count, GetCurrentProcessId(), "process_internal_tests.exe"));
    EXPECT_TRUE(Lists(tasks.data(), count, child.Id(), "wexwin.exe"));
    for (std::size_t i = 0; i < count; ++i) EXPECT_NE(tasks[i].processId, 0u);

    // The real registry: Wine's performance data has no process object either.
    std::vector<TaskRecord> real(256);
    wex::process::SystemPerformanceRegistry system;
    count = BuildTaskList(real.data(), real.size(), system);
    EXPECT_TRUE(Lists(real.data(), count, child.Id(), "wexwin.exe"));
    EXPECT_EQ(BuildTaskList(real.data(), 1, system), 0u);
    EXPECT_EQ(BuildTaskList(real.data(), 3, system), 2u);

    // Performance data with a process object is used as it stands.
    FakeRegistry withObject;
    PerfBlock block;
    block.instances = {{u"only", 8}};
    withObject.block = block.Bytes();
    ASSERT_EQ(BuildTaskList(tasks.data(), tasks.size(), withObject), 1u);
    EXPECT_STREQ(tasks[0].processName, "only.exe");
}

TaskRecord TaskFor(DWORD id) {
    TaskRecord task{};
    task.processId = id;
    std::strcpy(task.processName, "wexwin.exe");
    return task;
}

bool SameWindows(const std::vector<wextest::WindowInfo>& a, const std::vector<wextest::WindowInfo>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].window != b[i].window || a[i].title != b[i].title) return false;
    return true;
}

TEST(WindowPass, TakesTheLastWindowAndTheLastTitle) {
    struct Row {
        std::vector<std::string> titles;
    } rows[] = {{{"Alpha"}}, {{"Alpha", ""}}, {{"", "Beta"}}, {{"First", "Second", ""}}, {{}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.titles));
        wextest::WindowChild child(row.titles);
        // The windows settle into their stacking order shortly after they
        // are shown: compare with an enumeration that did not change around
        // the window pass.
        TaskRecord tasks[3];
        std::vector<wextest::WindowInfo> windows;
        for (int attempt = 0; attempt < 50; ++attempt) {
            windows = wextest::WindowsOf(child.Id());
            tasks[0] = TaskFor(1001);
            tasks[1] = tasks[2] = TaskFor(child.Id());
            wex::process::WindowPass(tasks, 3);
            if (SameWindows(windows, wextest::WindowsOf(child.Id()))) break;
            Sleep(20);
        }
        // The program's own windows in enumeration order; input-method
        // helper windows ("Default IME") aside.
        HWND last = nullptr;
        std::string title;
        std::size_t helpers = 0;
        for (const auto& w : windows) {
            if (w.className != "WexWinWindow") {
                ++helpers;
                continue;
            }
            last = w.window;
            // Each titled window replaces the title; an untitled one keeps it.
            if (!w.title.empty()) title = w.title;
        }
        if (!row.titles.empty()) {
            EXPECT_GT(helpers, 0u) << "the platform's helper windows are gone";
        }

        EXPECT_EQ(tasks[1].window, static_cast<void*>(last));
        EXPECT_EQ(tasks[1].windowTitle, title);
        EXPECT_EQ(tasks[0].window, nullptr);  // no such process
        EXPECT_EQ(tasks[2].window, nullptr);  // only the first record with the id
        EXPECT_STREQ(tasks[2].windowTitle, "");
    }
}

TEST(DebugPrivilege, EnabledWithoutALine) {
    wextest::StdCapture capture;
    EXPECT_EQ(wex::process::EnableDebugPrivilege(), 1);
    EXPECT_EQ(capture.Out(), "");
}

// ---- A W export's task list: names and titles in its encoding (WTF-8) -------

using wextest::Wide;

std::u16string Repeated16(char16_t c, std::size_t count) { return std::u16string(count, c); }
std::string Repeated(const std::string& text, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i) s += text;
    return s;
}

// The bounds count UTF-16 units: 75 for a name that gets ".exe", 259 for
// one that converts at all.
TEST_F(PerformanceTasks, ATwinsListHoldsNamesExactly) {
    const wex::CallEncodingScope wide(wex::CallEncoding::Wtf8);
    PerfBlock block;
    block.instances = {{u"магазин店\U0001F4B3", 8},   {Repeated16(u'ж', 75), 12}, {Repeated16(u'ж', 76), 16},
                       {Repeated16(u'ж', 259), 20}, {Repeated16(u'ж', 260), 24}, {u"caf\u00e9", 28},
                       {u"a\xD800z", 32}};
    registry_.block = block.Bytes();
    ASSERT_TRUE(Read(256));
    const std::string expected[] = {"магазин店💳.exe", Repeated("ж", 75) + ".exe", "", "", "unknown", "café.exe",
                                    "a\xed\xa0\x80z.exe"};
    ASSERT_EQ(filled_, std::size(expected));
    for (std::size_t i = 0; i < filled_; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tasks_[i].processName, expected[i]);
    }
}

// A copy of wexwin.exe named in Cyrillic, Japanese and beyond the BMP.
class NamedChild {
public:
    explicit NamedChild(const std::vector<std::string>& titles)
        : path_(scratch_.Path("магазин店💳.exe")),
          copied_(CopyFileW(Wide(wextest::BesideTest("wexwin.exe")).c_str(), Wide(path_).c_str(), TRUE)),
          child_(Wide(path_), titles) {}
    DWORD Id() const { return child_.Id(); }
    bool Copied() const { return copied_; }

private:
    wextest::ScratchDir scratch_;
    std::string path_;
    bool copied_;
    wextest::WindowChild child_;
};

const TaskRecord* Find(const std::vector<TaskRecord>& tasks, std::size_t count, DWORD id) {
    for (std::size_t i = 0; i < count; ++i)
        if (tasks[i].processId == id) return &tasks[i];
    return nullptr;
}

// The snapshot and the window pass give a W export the names and titles as
// the platform holds them, a title cut at 255 UTF-16 units (never inside a
// pair); an A export what the platform's A functions give.
TEST(TaskList, NamesAndTitlesInTheCallsEncoding) {
    FakeRegistry noObject;
    PerfBlock empty;
    empty.objectTypes = 0;
    noObject.block = empty.Bytes();
    struct Row {
        std::string title;
        std::string wideTitle;  // what a W export's record holds
    } const rows[] = {
        {"Кассовое окно 💳", "Кассовое окно 💳"},
        {Repeated("Ж", 300), Repeated("Ж", 255)},
        {"x" + Repeated("💳", 200), "x" + Repeated("💳", 127)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title.substr(0, 40));
        NamedChild child({row.title});
        ASSERT_TRUE(child.Copied());

        // What the platform's A functions say of the child.
        std::string ansiName;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
            if (entry.th32ProcessID == child.Id()) ansiName = entry.szExeFile;
        CloseHandle(snapshot);
        std::string ansiTitle;
        for (const wextest::WindowInfo& w : wextest::WindowsOf(child.Id()))
            if (w.className == "WexWinWindow") ansiTitle = w.title;
        EXPECT_NE(ansiName, "магазин店💳.exe");

        for (const auto encoding : {wex::CallEncoding::Wtf8, wex::CallEncoding::Ansi}) {
            const bool wide = encoding == wex::CallEncoding::Wtf8;
            SCOPED_TRACE(wide ? "W" : "A");
            const wex::CallEncodingScope scope(encoding);
            std::vector<TaskRecord> tasks(256);
            const std::size_t count = BuildTaskList(tasks.data(), tasks.size(), noObject);
            wex::process::WindowPass(tasks.data(), count);
            const TaskRecord* task = Find(tasks, count, child.Id());
            ASSERT_NE(task, nullptr);
            EXPECT_EQ(task->processName, wide ? "магазин店💳.exe" : ansiName);
            EXPECT_EQ(task->windowTitle, wide ? row.wideTitle : ansiTitle);
        }
    }
}

}  // namespace
