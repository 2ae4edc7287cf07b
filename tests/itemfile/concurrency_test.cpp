// Edits of one item file from several processes and threads at once: every
// edit takes its turn, none is lost, readers never fail while a writer is at
// work, and nothing is left beside the target. Then an editor that holds its
// turn and never lets go: the wait limit ends a wait with its line, and the
// holder's end lets the next edit through. Nothing here depends on how fast
// the machine is: the holder is stopped mid-rewrite, as told by its sibling.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "capture.h"
#include "children.h"
#include "siblings.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::ChildProcess;
using wextest::ReadBytes;

constexpr char kTarget[] = "items.ini";
constexpr int kEditors = 4;
constexpr int kEditsEach = 100;

// A manual-reset event of this process, by a name that its children open.
class NamedEvent {
public:
    explicit NamedEvent(const std::string& role)
        : name_("Local\\wextest-" + role + "-" + std::to_string(GetCurrentProcessId())),
          event_(CreateEventA(nullptr, TRUE, FALSE, name_.c_str())) {}
    ~NamedEvent() { CloseHandle(event_); }
    const std::string& Name() const { return name_; }
    void Set() { SetEvent(event_); }

private:
    std::string name_;
    HANDLE event_;
};

class Concurrency : public testing::Test {
protected:
    void SetUp() override {
        path_ = scratch_.Path(kTarget);
        wextest::WriteBytes(path_, "ANCHOR = 1\r\n");
        rootBefore_ = wextest::FilesIn("C:");
    }
    void TearDown() override { EXPECT_EQ(wextest::FilesIn("C:"), rootBefore_) << "a temporary file stayed"; }

    std::string Editor(const std::string& arguments, const std::string& report) const {
        return "\"" + wextest::BesideTest("editor.exe") + "\" " + arguments + " \"" + report + "\"";
    }

    // Waits for each program's end and checks that it reported nothing.
    void ExpectClean(std::vector<std::unique_ptr<ChildProcess>>& programs, const std::vector<std::string>& reports) {
        for (std::size_t i = 0; i < programs.size(); ++i) {
            SCOPED_TRACE(reports[i]);
            const long code = programs[i]->ExitCode(300000);
            const std::string report = ReadBytes(reports[i]);
            EXPECT_EQ(code, 0) << report;
            std::printf("%s", report.c_str());
        }
    }

    // The files beside the target, but for those the test made.
    std::set<std::string> Beside() const {
        std::set<std::string> files;
        for (const std::string& name : wextest::FilesIn(scratch_.Root()))
            if (name.find(".report") == std::string::npos) files.insert(name);
        return files;
    }

    wextest::ScratchDir scratch_;
    std::string path_;
    std::set<std::string> rootBefore_;
};

TEST_F(Concurrency, FourProcessesSetDistinctItemsBesideTwoReaders) {
    NamedEvent start("start"), stop("stop");
    std::vector<std::unique_ptr<ChildProcess>> editors, readers;
    std::vector<std::string> editorReports, readerReports;
    for (int r = 0; r < 2; ++r) {
        readerReports.push_back(scratch_.Path("reader" + std::to_string(r) + ".report"));
        readers.push_back(std::make_unique<ChildProcess>(
            Editor("read \"" + path_ + "\" " + stop.Name() + " " + start.Name(), readerReports.back())));
        ASSERT_TRUE(readers.back()->Started()) << "error " << readers.back()->StartError();
    }
    for (int e = 0; e < kEditors; ++e) {
        editorReports.push_back(scratch_.Path("editor" + std::to_string(e) + ".report"));
        editors.push_back(std::make_unique<ChildProcess>(Editor("set \"" + path_ + "\" P" + std::to_string(e) + " " +
                                                               std::to_string(kEditsEach) + " " + start.Name(),
                                                           editorReports.back())));
        ASSERT_TRUE(editors.back()->Started()) << "error " << editors.back()->StartError();
    }
    start.Set();
    ExpectClean(editors, editorReports);
    stop.Set();
    ExpectClean(readers, readerReports);

    for (int e = 0; e < kEditors; ++e) {
        for (int i = 0; i < kEditsEach; ++i) {
            const std::string name = "P" + std::to_string(e) + "_" + std::to_string(i);
            char value[400] = "";
            ASSERT_EQ(GetFileItem(path_.c_str(), name.c_str(), value), 1) << name << " was lost";
            EXPECT_EQ(std::string(value), "value " + std::to_string(i));
        }
    }
    EXPECT_EQ(Beside(), (std::set<std::string>{kTarget})) << "no sibling or turn file is left";
}

struct ThreadWork {
    const char* path;
    int index;
    int failures = 0;
    HANDLE stop = nullptr;
    int reads = 0;
};

DWORD WINAPI SetItems(void* argument) {
    ThreadWork& work = *static_cast<ThreadWork*>(argument);
    for (int i = 0; i < kEditsEach; ++i) {
        const std::string name = "T" + std::to_string(work.index) + "_" + std::to_string(i);
        if (SetFileItem(work.path, name.c_str(), std::to_string(i).c_str()) != 1) ++work.failures;
    }
    return 0;
}

DWORD WINAPI ReadItems(void* argument) {
    ThreadWork& work = *static_cast<ThreadWork*>(argument);
    while (WaitForSingleObject(work.stop, 0) == WAIT_TIMEOUT) {
        char value[400] = "";
        if (GetFileItem(work.path, "ANCHOR", value) != 1 || std::string(value) != "1") ++work.failures;
        ++work.reads;
    }
    return 0;
}

TEST_F(Concurrency, FourThreadsOfOneProcessSetDistinctItems) {
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<ThreadWork> work(kEditors + 2);
    std::vector<HANDLE> threads;
    for (int t = 0; t < kEditors + 2; ++t) {
        work[t].path = path_.c_str();
        work[t].index = t;
        work[t].stop = stop;
        threads.push_back(CreateThread(nullptr, 0, t < kEditors ? SetItems : ReadItems, &work[t], 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    for (int t = 0; t < kEditors; ++t) ASSERT_EQ(WaitForSingleObject(threads[t], 300000), WAIT_OBJECT_0);
    SetEvent(stop);
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    CloseHandle(stop);
    for (int t = 0; t < kEditors + 2; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(work[t].failures, 0) << (t < kEditors ? "SetFileItem calls failed" : "reads failed");
        if (t >= kEditors) {
            EXPECT_GT(work[t].reads, 0);
        }
    }
    for (int t = 0; t < kEditors; ++t) {
        for (int i = 0; i < kEditsEach; ++i) {
            const std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
            char value[400] = "";
            ASSERT_EQ(GetFileItem(path_.c_str(), name.c_str(), value), 1) << name << " was lost";
            EXPECT_EQ(std::string(value), std::to_string(i));
        }
    }
    EXPECT_EQ(Beside(), (std::set<std::string>{kTarget}));
}

// Two processes adding, setting, substituting and deleting in one file: the
// lines interleave in any order, but which lines there are is known.
TEST_F(Concurrency, MixedEditsOfTwoProcessesLeaveAKnownSetOfLines) {
    constexpr int kRounds = 50;
    NamedEvent start("mix");
    std::vector<std::unique_ptr<ChildProcess>> editors;
    std::vector<std::string> reports;
    for (int e = 0; e < 2; ++e) {
        reports.push_back(scratch_.Path("mix" + std::to_string(e) + ".report"));
        editors.push_back(std::make_unique<ChildProcess>(Editor(
            "mix \"" + path_ + "\" " + std::to_string(e) + " " + std::to_string(kRounds) + " " + start.Name(),
            reports.back())));
        ASSERT_TRUE(editors.back()->Started()) << "error " << editors.back()->StartError();
    }
    start.Set();
    ExpectClean(editors, reports);

    std::vector<std::string> expected = {"ANCHOR = 1"};
    for (int e = 0; e < 2; ++e) {
        for (int i = 0; i < kRounds; ++i) {
            const std::string tail = std::to_string(e) + "_" + std::to_string(i);
            expected.push_back("");  // before the added line
            if (i % 2) expected.push_back("A" + tail + " = x");
            expected.push_back("");  // before the set line
            expected.push_back("S" + tail + "=new");
        }
    }
    std::vector<std::string> lines;
    const std::string bytes = ReadBytes(path_);
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    std::sort(expected.begin(), expected.end());
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(Beside(), (std::set<std::string>{kTarget}));
}

// A file of some megabytes, so that a rewrite of it takes a while.
std::string LargeItemFile() {
    std::string text = "PORT = 1111\r\n";
    char line[64];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(line, sizeof line, "ITEM_%06d = value of item %06d, padded\r\n", i, i);
        text += line;
    }
    return text;
}

struct WaitingEdit {
    const char* path;
    int result = -1;
};

DWORD WINAPI SetPortTo4444(void* argument) {
    WaitingEdit& edit = *static_cast<WaitingEdit*>(argument);
    edit.result = SetFileItem(edit.path, "PORT", "4444");
    return 0;
}

TEST_F(Concurrency, WaitLimitEndsTheWaitForAHolderThatNeverLetsGo) {
    wextest::WriteBytes(path_, LargeItemFile());
    const std::string source = scratch_.Path("more.txt");
    wextest::WriteBytes(source, "MORE = 1\r\n");
    ChildProcess holder("\"" + wextest::BesideTest("rewriter.exe") + "\" \"" + path_ + "\"");
    ASSERT_TRUE(holder.Started()) << "error " << holder.StartError();
    ASSERT_TRUE(itemtest::StopMidRewrite(holder, scratch_.Root(), kTarget, 1)) << "no rewrite began";
    const std::string before = ReadBytes(path_);

    const int previous = SetWaitLimit(300);
    const std::string busy = "File " + path_ + " is being changed by another program.\n";
    struct Row {
        const char* label;
        int (*edit)(const std::string& path, const std::string& source);
    } rows[] = {
        {"SetFileItem", [](const std::string& p, const std::string&) { return SetFileItem(p.c_str(), "PORT", "3"); }},
        {"AddFileItem", [](const std::string& p, const std::string&) { return AddFileItem(p.c_str(), "NEW", "3"); }},
        {"DeleteFileItem",
         [](const std::string& p, const std::string&) { return DeleteFileItem(p.c_str(), "PORT", nullptr); }},
        {"Substitute", [](const std::string& p, const std::string&) { return Substitute(p.c_str(), "ITEM", "X"); }},
        {"AppendFile", [](const std::string& p, const std::string& s) { return AppendFile(s.c_str(), p.c_str()); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        wextest::StdCapture capture;
        EXPECT_EQ(row.edit(path_, source), 0);
        EXPECT_EQ(capture.Err(), busy);
    }
    // A reader is never held up by a writer: it sees the content in place.
    char port[400] = "";
    EXPECT_EQ(GetFileItem(path_.c_str(), "PORT", port), 1);
    EXPECT_TRUE(std::string(port) == "1111" || std::string(port) == "2222") << port;
    EXPECT_TRUE(ReadBytes(path_) == before) << "a refused edit changed the file";
    SetWaitLimit(previous);

    // Without a limit an edit waits as long as it takes: until the holder is
    // ended, which releases its turn.
    WaitingEdit waiting{path_.c_str()};
    HANDLE edit = CreateThread(nullptr, 0, SetPortTo4444, &waiting, 0, nullptr);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(WaitForSingleObject(edit, 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "the edit did not wait its turn";
    holder.End();
    ASSERT_EQ(WaitForSingleObject(edit, 120000), WAIT_OBJECT_0);
    CloseHandle(edit);
    EXPECT_EQ(waiting.result, 1);
    char value[400] = "";
    EXPECT_EQ(GetFileItem(path_.c_str(), "PORT", value), 1);
    EXPECT_STREQ(value, "4444");
    EXPECT_EQ(Beside(), (std::set<std::string>{kTarget, "more.txt"})) << "the ended holder's sibling stays";
}

// A program that holds the file open without sharing counts as an editor at
// work: its hold is waited out like a turn, up to the limit.
TEST_F(Concurrency, ProgramHoldingTheFileWithoutSharingIsAnEditorAtWork) {
    HANDLE hold = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    const int previous = SetWaitLimit(300);
    const std::string busy = "File " + path_ + " is being changed by another program.\n";
    {
        wextest::StdCapture capture;
        EXPECT_EQ(SetFileItem(path_.c_str(), "ANCHOR", "2"), 0);
        EXPECT_EQ(AddFileItem(path_.c_str(), "NEW", "2"), 0);
        EXPECT_EQ(capture.Err(), busy + busy);
    }
    SetWaitLimit(previous);
    CloseHandle(hold);
    EXPECT_EQ(ReadBytes(path_), "ANCHOR = 1\r\n");
    EXPECT_EQ(SetFileItem(path_.c_str(), "ANCHOR", "2"), 1);
    EXPECT_EQ(ReadBytes(path_), "ANCHOR =2\r\n");
}

}  // namespace
