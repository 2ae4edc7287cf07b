// The terminate step and KillProcess / GetPID over a byte-built task list,
// with a stand-in for the calls that end processes: under Wine every process
// can be opened and terminated, so the failure paths exist only this way.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "perfblock.h"
#include "process/terminate.h"

namespace {

using wex::process::ProcessControl;
using wex::process::TaskRecord;
using wex::process::TerminateTask;
using Outcome = ProcessControl::Outcome;
using wextest::PerfBlock;

class FakeControl : public ProcessControl {
public:
    std::map<std::uint32_t, Outcome> outcomes;  // missing: terminated
    bool postSucceeds = true;
    std::vector<std::uint32_t> terminated;
    std::vector<HWND> posted;

    Outcome Terminate(std::uint32_t processId, UINT exitCode) override {
        EXPECT_EQ(exitCode, 1u);
        terminated.push_back(processId);
        auto it = outcomes.find(processId);
        return it == outcomes.end() ? Outcome::Terminated : it->second;
    }
    bool PostClose(HWND window) override {
        posted.push_back(window);
        return postSucceeds;
    }
};

TEST(TerminateStep, AsksOrTerminates) {
    const HWND w = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));
    struct Row {
        int force;
        HWND window;
        Outcome outcome;
        bool postSucceeds;
        int result;
        bool terminates, posts;
    } rows[] = {
        {0, w, Outcome::Terminated, true, 1, false, true},
        {0, w, Outcome::Terminated, false, 0, false, true},  // request not posted
        {0, nullptr, Outcome::Terminated, true, 1, true, false},
        {0, nullptr, Outcome::NotOpened, true, 0, true, false},
        {1, w, Outcome::Terminated, true, 1, true, false},
        {7, w, Outcome::NotTerminated, true, 0, true, false},
        {1, w, Outcome::NotOpened, true, 1, true, true},
        {1, w, Outcome::NotOpened, false, 0, true, true},
        // Neither opened nor asked to close: a failure.
        {1, nullptr, Outcome::NotOpened, true, 0, true, false},
        {1, nullptr, Outcome::NotTerminated, true, 0, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "force " << row.force << " window " << row.window << " outcome "
                                        << static_cast<int>(row.outcome) << " post " << row.postSucceeds);
        FakeControl control;
        control.outcomes[44] = row.outcome;
        control.postSucceeds = row.postSucceeds;
        TaskRecord task{};
        task.processId = 44;
        task.window = row.window;
        EXPECT_EQ(TerminateTask(task, row.force, control), row.result);
        EXPECT_EQ(control.terminated, row.terminates ? std::vector<std::uint32_t>{44} : std::vector<std::uint32_t>{});
        EXPECT_EQ(control.posted, row.posts ? std::vector<HWND>{w} : std::vector<HWND>{});
    }
}

// Hands out a fixed performance-data block as the task list's source.
class BlockRegistry : public wex::process::PerformanceRegistry {
public:
    explicit BlockRegistry(std::string block) : block_(std::move(block)) {}
    LONG OpenKey(HKEY, const char*, REGSAM, HKEY* key) override {
        *key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x77));
        return ERROR_SUCCESS;
    }
    LONG QueryValue(HKEY key, const char*, BYTE* data, DWORD* size) override {
        const std::string& bytes = key == HKEY_PERFORMANCE_DATA ? block_ : counters_;
        if (data) {
            if (*size < bytes.size()) return ERROR_MORE_DATA;
            std::memcpy(data, bytes.data(), bytes.size());
        }
        *size = static_cast<DWORD>(bytes.size());
        return ERROR_SUCCESS;
    }
    LONG CloseKey(HKEY) override { return ERROR_SUCCESS; }

private:
    std::string block_;
    std::string counters_ = wextest::StandardCounterList();
};

// Odd ids: the platform's process ids are multiples of four, so the window
// pass finds no window for these.
class KillByList : public testing::Test {
protected:
    KillByList() {
        PerfBlock block;
        block.instances = {{u"alpha", 1001}, {u"beta", 1003}, {u"alpha", 1005}, {u"Idle", 0},
                           {u"alpha", GetCurrentProcessId()}};
        registry_ = std::make_unique<BlockRegistry>(block.Bytes());
    }

    std::unique_ptr<BlockRegistry> registry_;
    FakeControl control_;
};

TEST_F(KillByList, TheLastSelectedTaskDecides) {
    struct Row {
        Outcome first, second;
        int result;
        const char* lines;
    } rows[] = {
        {Outcome::Terminated, Outcome::NotOpened, 0,
         "process #1001 [alpha.exe] killed\nprocess #1005 [alpha.exe] could not be killed\n"},
        {Outcome::NotTerminated, Outcome::Terminated, 1,
         "process #1001 [alpha.exe] could not be killed\nprocess #1005 [alpha.exe] killed\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lines);
        control_ = FakeControl();
        control_.outcomes = {{1001, row.first}, {1005, row.second}};
        wextest::StdCapture capture;
        // The caller's own process is named alpha too, and is left alone.
        EXPECT_EQ(wex::process::KillProcesses("Alpha", 0, 1, *registry_, control_), row.result);
        EXPECT_EQ(capture.Out(), row.lines);
        EXPECT_EQ(control_.terminated, (std::vector<std::uint32_t>{1001, 1005}));
    }
}

TEST_F(KillByList, ReportsEachPath) {
    struct Row {
        std::string pattern;
        int id, force;
        int result;
        const char* lines;
        std::vector<std::uint32_t> terminated;
    } rows[] = {
        {"", 0, 1, 0, "missing pid or task name\n", {}},
        {"nothing", 0, 1, 0, "", {}},
        {"idle", 0, 0, 1, "process #-2 [Idle.exe] killed\n", {0xFFFFFFFE}},
        {"b?ta.exe", 0, 0, 1, "process #1003 [beta.exe] killed\n", {1003}},
        // By id: the pattern plays no part, the force is always 1, and the
        // caller's own process is not protected.
        {"", 1003, 0, 1, "process #1003 killed\n", {1003}},
        {"beta", 2001, 1, 0, "process #2001 could not be killed\n", {2001}},
        {std::string(200, 'x'), 1001, 0, 1, "process #1001 killed\n", {1001}},
        {"", -7, 1, 1, "process #-7 killed\n", {0xFFFFFFF9}},
        // Longer than 79 characters: refused, not shortened to "alpha".
        {"alpha" + std::string(75, '*'), 0, 1, 0, "", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        control_ = FakeControl();
        control_.outcomes = {{2001, Outcome::NotOpened}};
        wextest::StdCapture capture;
        EXPECT_EQ(wex::process::KillProcesses(row.pattern.c_str(), row.id, row.force, *registry_, control_), row.result);
        EXPECT_EQ(capture.Out(), row.lines);
        EXPECT_EQ(control_.terminated, row.terminated);
    }
}

TEST_F(KillByList, GetPidReturnsTheFirstMatch) {
    struct Row {
        std::string pattern;
        int id;
    } rows[] = {{"alpha", 1001}, {"*", 1001}, {"BETA.EXE", 1003}, {"idle", -2}, {"gamma", 0},
                {"alpha" + std::string(74, '*'), 1001}, {"alpha" + std::string(75, '*'), 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        wextest::StdCapture capture;
        EXPECT_EQ(wex::process::FindProcessId(row.pattern.c_str(), *registry_), row.id);
        EXPECT_EQ(capture.Out(), "");
    }
    EXPECT_TRUE(control_.terminated.empty());
}

}  // namespace
