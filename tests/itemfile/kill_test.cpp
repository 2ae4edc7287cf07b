// A rewrite that is ended at any moment leaves its target whole: exactly the
// old content or exactly the complete new one, and no files that pile up.
// rewriter.exe rewrites a 20 MiB item file over and over; the test ends it
// at random moments and looks at what is left.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "programs.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::ReadBytes;

// One version of the file: about 20 MiB of item lines with PORT in the middle.
std::string ItemFileWithPort(const char* port) {
    std::string text;
    text.reserve(21 << 20);
    char line[64];
    for (int i = 0; i < 400000; ++i) {
        if (i == 200000) {
            text += "PORT =";
            text += port;
            text += "\r\n";
        }
        std::snprintf(line, sizeof line, "ITEM_%06d = value of item %06d, padded\r\n", i, i);
        text += line;
    }
    return text;
}

class Rewriter {
public:
    explicit Rewriter(const std::string& itemFile) {
        std::string commandLine = "\"" + wextest::BesideTest("rewriter.exe") + "\" \"" + itemFile + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // On drive C:, where the library's temporary files go. Under load the
        // platform now and then refuses a start for a moment: a few tries.
        for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
            if (attempt > 0) Sleep(200);
            started_ = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, "C:\\",
                                      &startup, &process_) != 0;
            if (!started_) error_ = GetLastError();
        }
    }
    ~Rewriter() {
        if (!started_) return;
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, INFINITE);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD Error() const { return error_; }
    // False when it had already stopped by itself (a failed rewrite).
    bool StillRunning() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
    DWORD error_ = 0;
};

TEST(RewriteKill, TargetIsAlwaysOneWholeVersion) {
    wextest::ScratchDir scratch;
    const std::string path = scratch.Path("items.ini");
    const std::string withA = ItemFileWithPort("1111"), withB = ItemFileWithPort("2222");
    wextest::WriteBytes(path, withA);
    const std::set<std::string> rootBefore = wextest::FilesIn("C:");

    // One rewrite's time sets the range of the moments at which the rewriter
    // is ended: from before its first rewrite to well into its third.
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    ASSERT_EQ(SetFileItem(path.c_str(), "PORT", "1111"), 1);
    QueryPerformanceCounter(&end);
    const DWORD rewriteMs = static_cast<DWORD>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart) + 1;
    ASSERT_TRUE(ReadBytes(path) == withA);

    std::mt19937 random(20261210);
    std::uniform_int_distribution<DWORD> moment(0, 150 + 3 * rewriteMs);
    const int kKills = 110;
    int oldContent = 0, newContent = 0, endedMidRewrite = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE(kill);
        {
            Rewriter rewriter(path);
            ASSERT_TRUE(rewriter.Started()) << "error " << rewriter.Error();
            Sleep(moment(random));
            ASSERT_TRUE(rewriter.StillRunning()) << "a rewrite failed";
        }
        const std::string now = ReadBytes(path);
        const bool isA = now == withA, isB = now == withB;
        ASSERT_TRUE(isA || isB) << "damaged target: " << now.size() << " bytes";
        (isA ? oldContent : newContent) += 1;
        // Beside the target at most the ended rewrite's sibling, whose name
        // is the target's, ".wexlib-new" and what makes it unique.
        std::set<std::string> files = wextest::FilesIn(scratch.Root());
        ASSERT_EQ(files.erase("items.ini"), 1u);
        ASSERT_TRUE(files.empty() || (files.size() == 1 && files.begin()->rfind("items.ini.wexlib-new", 0) == 0))
            << files.size() << " files beside the target";
        endedMidRewrite += files.size() == 1 ? 1 : 0;
        ASSERT_EQ(wextest::FilesIn("C:"), rootBefore) << "a temporary file stayed in the root of the drive";
    }
    std::printf("%d kills (one rewrite: %lu ms): %d left PORT 1111, %d PORT 2222, %d ended mid-rewrite\n", kKills,
                static_cast<unsigned long>(rewriteMs), oldContent, newContent, endedMidRewrite);
    EXPECT_GT(endedMidRewrite, kKills / 4) << "the kills should land mid-rewrite often";

    // The next rewrite of the target removes a sibling that an ended one left.
    ASSERT_EQ(SetFileItem(path.c_str(), "PORT", "1111"), 1);
    EXPECT_EQ(wextest::FilesIn(scratch.Root()), (std::set<std::string>{"items.ini"}));
    EXPECT_TRUE(ReadBytes(path) == withA);
}

}  // namespace
