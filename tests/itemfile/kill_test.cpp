// A rewrite that is ended at any moment leaves its target whole: exactly the
// old content or exactly the complete new one, and no files that pile up.
// rewriter.exe rewrites a 20 MiB item file over and over; the test ends it at
// random moments, and at moments when it is known to be mid-rewrite, and
// looks at what is left.
//
// Mid-rewrite is told by what the rewrite itself leaves in the target's
// folder: from the moment its new content starts until that content takes
// the target's place, a sibling named after the target with ".wexlib-new"
// (and whatever else a rewrite adds to that name) exists beside it. Once the
// sibling shows, the test stops the rewriter where it stands, looks again,
// and ends it only when the sibling is still there. So every kill counted as
// mid-rewrite was one, on a machine of any speed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "children.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::ReadBytes;

constexpr char kTarget[] = "items.ini";
constexpr char kSiblingStart[] = "items.ini.wexlib-new";

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

bool IsSibling(const std::string& name) { return name.compare(0, sizeof kSiblingStart - 1, kSiblingStart) == 0; }

// The root of drive C: once the system has closed an ended process's
// handles: Wine closes them, and so removes its delete-on-close temporary
// file, a moment after the process reads as ended. A file that stays is
// still seen after a second.
std::set<std::string> RootAfterCleanUp(const std::set<std::string>& expected) {
    std::set<std::string> now = wextest::FilesIn("C:");
    for (int wait = 0; wait < 100 && now != expected; ++wait) {
        Sleep(10);
        now = wextest::FilesIn("C:");
    }
    return now;
}

// Siblings that ended rewrites left: gone before a mid-rewrite kill, so that
// only a sibling of the rewriter about to be ended can show.
void RemoveSiblings(const std::string& folder) {
    for (const std::string& name : wextest::FilesIn(folder))
        if (IsSibling(name)) DeleteFileA((folder + "\\" + name).c_str());
}

bool SiblingExists(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\" + kSiblingStart + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

// What an ended rewrite may leave: the target and at most one sibling.
// Returns the number of siblings, or -1 when anything else is there.
int SiblingsBeside(const std::string& folder) {
    int siblings = 0;
    for (const std::string& name : wextest::FilesIn(folder)) {
        if (IsSibling(name)) {
            ++siblings;
        } else if (name != kTarget) {
            return -1;
        }
    }
    return siblings;
}

class Rewriter : public wextest::ChildProcess {
public:
    // On drive C:, where the library's temporary files go.
    explicit Rewriter(const std::string& itemFile)
        : ChildProcess("\"" + wextest::BesideTest("rewriter.exe") + "\" \"" + itemFile + "\"") {}
};

// Waits until a rewrite's sibling shows in the folder: false when the
// rewriter stopped by itself first (a failed rewrite) or none came at all.
bool WaitForSibling(const Rewriter& rewriter, const std::string& folder) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
        if (SiblingExists(folder)) return true;
        if (!rewriter.Running()) return false;
        Sleep(1);
    }
    return false;
}

class RewriteKill : public testing::Test {
protected:
    void SetUp() override {
        path_ = scratch_.Path(kTarget);
        wextest::WriteBytes(path_, withA_);
        rootBefore_ = wextest::FilesIn("C:");
    }

    bool Whole(const std::string& content) const { return content == withA_ || content == withB_; }

    wextest::ScratchDir scratch_;
    std::string path_;
    const std::string withA_ = ItemFileWithPort("1111"), withB_ = ItemFileWithPort("2222");
    std::set<std::string> rootBefore_;
};

TEST_F(RewriteKill, TargetIsAlwaysOneWholeVersion) {
    // One rewrite's time sets the spread of the moments; no check depends on it.
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    ASSERT_EQ(SetFileItem(path_.c_str(), "PORT", "1111"), 1);
    QueryPerformanceCounter(&end);
    const DWORD rewriteMs = static_cast<DWORD>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart) + 1;
    ASSERT_TRUE(ReadBytes(path_) == withA_);
    std::mt19937 random(20261210);

    // Anywhere: before the first rewrite, between two, inside one.
    std::uniform_int_distribution<DWORD> anyMoment(0, 150 + 3 * rewriteMs);
    const int kRandomKills = 55;
    int oldContent = 0, newContent = 0, randomMidRewrite = 0;
    for (int kill = 0; kill < kRandomKills; ++kill) {
        SCOPED_TRACE("random kill " + std::to_string(kill));
        {
            Rewriter rewriter(path_);
            ASSERT_TRUE(rewriter.Started()) << "error " << rewriter.StartError();
            Sleep(anyMoment(random));
            ASSERT_TRUE(rewriter.Running()) << "a rewrite failed";
        }
        const std::string now = ReadBytes(path_);
        ASSERT_TRUE(Whole(now)) << "damaged target: " << now.size() << " bytes";
        (now == withA_ ? oldContent : newContent) += 1;
        const int siblings = SiblingsBeside(scratch_.Root());
        ASSERT_TRUE(siblings == 0 || siblings == 1) << siblings << " siblings or other files beside the target";
        randomMidRewrite += siblings;
        ASSERT_EQ(RootAfterCleanUp(rootBefore_), rootBefore_) << "a temporary file stayed in the root of the drive";
    }

    // Mid-rewrite, at a random point of it. A stop that comes after the
    // rewrite ended (the sibling gone) lets the rewriter go on to its next
    // rewrite; such stops are not counted. Siblings that the random kills
    // left were replaced by the next rewrite above; here the test removes
    // them itself, so that no stale one passes for a rewrite in progress.
    std::uniform_int_distribution<DWORD> intoTheRewrite(0, rewriteMs);
    const int kMidRewriteKills = 55;
    int missed = 0;
    for (int kill = 0; kill < kMidRewriteKills; ++kill) {
        SCOPED_TRACE("mid-rewrite kill " + std::to_string(kill));
        std::string before;
        RemoveSiblings(scratch_.Root());
        ASSERT_FALSE(SiblingExists(scratch_.Root()));
        {
            Rewriter rewriter(path_);
            ASSERT_TRUE(rewriter.Started()) << "error " << rewriter.StartError();
            // After a stop that came too late, the next one comes as soon
            // as the next rewrite's sibling shows.
            for (DWORD delay = intoTheRewrite(random);; delay = 0) {
                ASSERT_TRUE(WaitForSibling(rewriter, scratch_.Root())) << "no rewrite began, or one failed";
                Sleep(delay);
                ASSERT_TRUE(rewriter.Suspend()) << "error " << GetLastError();
                if (SiblingExists(scratch_.Root())) break;
                ++missed;
                ASSERT_TRUE(rewriter.Resume()) << "error " << GetLastError();
            }
            // Stopped mid-rewrite, the target still holds a whole version.
            before = ReadBytes(path_);
            ASSERT_TRUE(Whole(before)) << "damaged target: " << before.size() << " bytes";
        }
        const std::string after = ReadBytes(path_);
        ASSERT_TRUE(after == before) << "ending a rewrite changed its target";
        ASSERT_EQ(SiblingsBeside(scratch_.Root()), 1) << "an ended rewrite leaves its sibling, and nothing else";
        ASSERT_EQ(RootAfterCleanUp(rootBefore_), rootBefore_) << "a temporary file stayed in the root of the drive";
    }
    std::printf("one rewrite: %lu ms; %d kills at random moments (%d left PORT 1111, %d PORT 2222, %d ended "
                "mid-rewrite); %d kills mid-rewrite (stops that came after a rewrite had ended: %d)\n",
                static_cast<unsigned long>(rewriteMs), kRandomKills, oldContent, newContent, randomMidRewrite,
                kMidRewriteKills, missed);

    // The next rewrite of the target removes the sibling the last kill left.
    ASSERT_EQ(SetFileItem(path_.c_str(), "PORT", "1111"), 1);
    EXPECT_EQ(wextest::FilesIn(scratch_.Root()), (std::set<std::string>{kTarget}));
    EXPECT_TRUE(ReadBytes(path_) == withA_);
}

}  // namespace
