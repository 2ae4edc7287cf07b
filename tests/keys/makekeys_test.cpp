// MakeKeys and ComputeMerchID through the real DLL. A recording program
// stands in for the generator under <install root>\bin\makekeys.exe: it
// writes down its command line, its directory and the seed file's bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "boxes.h"
#include "capture.h"
#include "children.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::Box;
using wextest::ReadBytes;

class MakeKeysTest : public testing::Test {
protected:
    void SetUp() override {
        if (const char* tmp = std::getenv("TMP")) savedTmp_ = tmp;
        _putenv("MY_DBGPRINT=");
        root_ = scratch_.Root();
        bin_ = scratch_.Path("bin");
        tmp_ = scratch_.Path("tmp");
        ASSERT_TRUE(CreateDirectoryA(bin_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(tmp_.c_str(), nullptr));
        record_ = scratch_.Path("record.txt");
        _putenv(("WEXTEST_RECORD=" + record_).c_str());
    }
    void TearDown() override {
        wextest::EndChildrenNamed("makekeys.exe");
        _putenv(("TMP=" + savedTmp_).c_str());
        _putenv("WEXTEST_RECORD=");
        _putenv("WEXTEST_LINGER=");
    }

    void InstallGenerator(const char* program) {
        std::string generator = bin_ + "\\makekeys.exe";
        ASSERT_TRUE(CopyFileA(wextest::BesideTest(program).c_str(), generator.c_str(), FALSE));
    }

    // Calls MakeKeys and measures how long it took.
    int Run(const std::string& merchant, const char* seed, DWORD& elapsedMs) {
        DWORD start = GetTickCount();
        int result = MakeKeys(root_.c_str(), merchant.c_str(), seed);
        elapsedMs = GetTickCount() - start;
        return result;
    }

    std::string CommandLine(const std::string& merchant, const std::string& seedFile) const {
        return root_ + "\\bin\\makekeys.exe -output " + root_ + "\\merchants\\" + merchant + "\\" + merchant +
               ".key -input " + seedFile;
    }

    // Waits up to 20 s for a file that a generator writes.
    static std::string WaitForFile(const std::string& path) {
        for (int i = 0; i < 200 && !wextest::FileExists(path); ++i) Sleep(100);
        return ReadBytes(path);
    }

    static bool IsSeedName(const std::string& path, const std::string& dir) {
        std::string prefix = dir + "\\seed";
        if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) return false;
        return path.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
    }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::string savedTmp_, root_, bin_, tmp_, record_;
};

// The generator's pause, less the tick counter's granularity.
const DWORD kPauseMs = 1500 - 20;

TEST_F(MakeKeysTest, SeedFileInTmpElseInstallRootAndGoneAfterwards) {
    InstallGenerator("fakegen.exe");
    struct Row {
        const char* label;
        std::string tmp;  // empty: TMP unset
        std::string seedDir;
    } rows[] = {
        {"TMP names a directory", tmp_, tmp_},
        {"TMP in double quotes", "\"" + tmp_ + "\"", tmp_},
        {"TMP unset", "", root_},
        {"TMP names a missing directory", scratch_.Path("missing"), root_},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        _putenv(("TMP=" + row.tmp).c_str());
        DeleteFileA(record_.c_str());
        DWORD elapsed = 0;
        EXPECT_EQ(Run("shop1", "one\ntwo %s", elapsed), 1);
        EXPECT_GE(elapsed, kPauseMs);

        std::string record = WaitForFile(record_);
        std::size_t lineEnd = record.find('\n');
        std::string commandLine = record.substr(0, lineEnd);
        std::string rest = record.substr(lineEnd + 1);
        std::string seedFile = commandLine.substr(commandLine.rfind(' ') + 1);
        EXPECT_TRUE(IsSeedName(seedFile, row.seedDir)) << seedFile;
        EXPECT_EQ(commandLine, CommandLine("shop1", seedFile));
        EXPECT_EQ(rest, bin_ + "\n" + "one\r\ntwo %s") << "working directory, then the seed in text mode";
        EXPECT_FALSE(wextest::FileExists(seedFile)) << "the seed file is deleted";
    }
    EXPECT_TRUE(wextest::FilesIn(tmp_).empty());
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// A space in the install root, the merchant name or the seed file's folder:
// every path is quoted, so that the generator itself starts ("C:\\Program
// Files\\..." must not start "C:\\Program.exe") and gets each path whole.
TEST_F(MakeKeysTest, PathsWithSpacesAreQuoted) {
    struct Row {
        const char* label;
        std::string root;
        std::string merchant;
        std::string tmp;
    } rows[] = {
        {"install root", scratch_.Path("Pay Root"), "shop1", tmp_},
        {"merchant name", root_, "my shop", tmp_},
        {"seed folder", root_, "shop1", scratch_.Path("tmp dir")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CreateDirectoryA(row.root.c_str(), nullptr);
        CreateDirectoryA((row.root + "\\bin").c_str(), nullptr);
        CreateDirectoryA(row.tmp.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(wextest::BesideTest("fakegen.exe").c_str(), (row.root + "\\bin\\makekeys.exe").c_str(),
                              FALSE));
        _putenv(("TMP=" + row.tmp).c_str());
        DeleteFileA(record_.c_str());
        EXPECT_EQ(MakeKeys(row.root.c_str(), row.merchant.c_str(), "seed text"), 1);

        std::string record = WaitForFile(record_);
        std::size_t lineEnd = record.find('\n');
        std::string commandLine = record.substr(0, lineEnd);
        std::size_t seedStart = commandLine.rfind("-input \"") + 8;
        std::string seedFile = commandLine.substr(seedStart, commandLine.size() - seedStart - 1);
        EXPECT_TRUE(IsSeedName(seedFile, row.tmp)) << seedFile;
        const std::string& m = row.merchant;
        EXPECT_EQ(commandLine, "\"" + row.root + "\\bin\\makekeys.exe\" -output \"" + row.root + "\\merchants\\" + m + "\\" +
                                   m + ".key\" -input \"" + seedFile + "\"");
        EXPECT_EQ(record.substr(lineEnd + 1), row.root + "\\bin\n" + "seed text")
            << "the generator ran in its folder and read the seed file";
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(MakeKeysTest, MissingGeneratorShowsTheBoxPausesAndDeletesTheSeed) {
    _putenv(("TMP=" + tmp_).c_str());
    DWORD elapsed = 0;
    EXPECT_EQ(Run("shop1", "seed", elapsed), 0);
    EXPECT_GE(elapsed, kPauseMs);
    std::vector<Box> boxes = boxes_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "StartProcess");
    const std::string suffix = ", Last Error: 2";
    ASSERT_GT(boxes[0].text.size(), suffix.size());
    std::string commandLine = boxes[0].text.substr(16, boxes[0].text.size() - 16 - suffix.size());
    EXPECT_EQ(boxes[0].text, "Error executing " + commandLine + suffix);
    std::string seedFile = commandLine.substr(commandLine.rfind(' ') + 1);
    EXPECT_TRUE(IsSeedName(seedFile, tmp_)) << seedFile;
    EXPECT_EQ(commandLine, CommandLine("shop1", seedFile));
    EXPECT_TRUE(wextest::FilesIn(tmp_).empty()) << "the seed file is deleted after a failed start too";
}

TEST_F(MakeKeysTest, LongRunningGeneratorDoesNotDelayTheReturn) {
    _putenv(("TMP=" + tmp_).c_str());
    _putenv("WEXTEST_LINGER=1");
    InstallGenerator("fakegen.exe");
    DWORD elapsed = 0;
    EXPECT_EQ(Run("shop1", "seed", elapsed), 1);
    EXPECT_GE(elapsed, kPauseMs);
    EXPECT_LT(elapsed, 3000u);
    EXPECT_EQ(wextest::ChildrenNamed("makekeys.exe").size(), 1u) << "the generator still runs";
    EXPECT_TRUE(wextest::FilesIn(tmp_).empty()) << "its seed file is gone all the same";
}

TEST_F(MakeKeysTest, RefusesNamesThatDoNotFit) {
    InstallGenerator("fakegen.exe");
    // TMP of 246 characters: with "seed" and 12 more the name would pass 260.
    std::string longTmp = root_ + "\\" + std::string(245 - root_.size(), 't');
    ASSERT_TRUE(CreateDirectoryA(longTmp.c_str(), nullptr));
    struct Row {
        const char* label;
        std::string tmp;
        std::string root;
        std::string merchant;
        std::string error;
    } rows[] = {
        {"seed file name too long", longTmp, root_, "shop1", "Could not open temp file.\n"},
        // 2 x 190 characters of merchant name: the command line passes 399.
        {"command line too long", tmp_, root_, std::string(190, 'm'),
         "Generator command line too long for install root " + root_ + ".\n"},
        {"install root too long", tmp_, root_ + "\\" + std::string(195 - root_.size(), 'r'), "shop1",
         "Generator command line too long for install root " + root_ + "\\" + std::string(195 - root_.size(), 'r') +
             ".\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        _putenv(("TMP=" + row.tmp).c_str());
        wextest::StdCapture capture;
        DWORD start = GetTickCount();
        EXPECT_EQ(MakeKeys(row.root.c_str(), row.merchant.c_str(), "seed"), 0);
        EXPECT_LT(GetTickCount() - start, 1000u) << "nothing started, no pause";
        EXPECT_EQ(capture.Err(), row.error);
        EXPECT_FALSE(wextest::FileExists(record_)) << "the generator was not started";
        EXPECT_TRUE(wextest::FilesIn(row.tmp).empty());
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// A symbolic link in folder to target in the same folder, which does not
// exist (any more). Wine 8's CreateSymbolicLinkA reports success and makes
// nothing; there the Unix side's ln makes the link (Wine starts Unix programs
// as well, though it gives no handle to wait on), and the link shows once its
// target exists.
bool MakeDanglingLink(const std::string& folder, const std::string& link, const std::string& target) {
    const std::string linkPath = folder + "\\" + link, targetPath = folder + "\\" + target;
    wextest::WriteBytes(targetPath, "");
    if (!CreateSymbolicLinkA(linkPath.c_str(), targetPath.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        !wextest::FileExists(linkPath)) {
        std::string command = "Z:\\bin\\ln -s " + target + " " + link;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION ln{};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &ln)) {
            if (ln.hThread) CloseHandle(ln.hThread);
            if (ln.hProcess) CloseHandle(ln.hProcess);
        }
        for (int i = 0; i < 200 && !wextest::FileExists(linkPath); ++i) Sleep(50);
    }
    const bool made = wextest::FileExists(linkPath);
    DeleteFileA(targetPath.c_str());
    return made;
}

// Removes a link that MakeDanglingLink made; Wine sees it only while its
// target exists.
void RemoveDanglingLink(const std::string& folder, const std::string& link, const std::string& target) {
    wextest::WriteBytes(folder + "\\" + target, "");
    DeleteFileA((folder + "\\" + link).c_str());
    DeleteFileA((folder + "\\" + target).c_str());
}

// The seed is secret material: a file, a hard link to another file or a
// symbolic link that stands at the next seed name beforehand is left as it
// is, and the seed goes to the name after it. The dangling link is the one
// that a look before the open cannot see: the seed would be written to
// wherever it points.
TEST_F(MakeKeysTest, NameTakenBeforehandIsLeftAlone) {
    InstallGenerator("fakegen.exe");
    _putenv(("TMP=" + tmp_).c_str());
    const std::string linkedFile = scratch_.Path("linked.txt");
    // What this process's last seed file was called: the next one takes the
    // next number.
    auto lastSeed = [&](long& number) {
        std::string record = WaitForFile(record_);
        std::string commandLine = record.substr(0, record.find('\n'));
        std::string seedFile = commandLine.substr(commandLine.rfind(' ') + 1);
        if (!IsSeedName(seedFile, tmp_)) return false;
        number = std::atol(seedFile.c_str() + tmp_.size() + 5);
        return true;
    };
    DWORD elapsed = 0;
    ASSERT_EQ(Run("shop1", "first", elapsed), 1);
    long number = 0;
    ASSERT_TRUE(lastSeed(number));

    enum class Obstacle { File, HardLink, DanglingLink };
    struct Row {
        const char* label;
        Obstacle obstacle;
    } const rows[] = {
        {"a file", Obstacle::File},
        {"a hard link to another file", Obstacle::HardLink},
        {"a symbolic link to a missing file", Obstacle::DanglingLink},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string taken = "seed" + std::to_string(number + 1);
        const std::string takenPath = tmp_ + "\\" + taken;
        switch (row.obstacle) {
        case Obstacle::File:
            wextest::WriteBytes(takenPath, "someone else's");
            break;
        case Obstacle::HardLink:
            wextest::WriteBytes(linkedFile, "someone else's");
            ASSERT_TRUE(CreateHardLinkA(takenPath.c_str(), linkedFile.c_str(), nullptr)) << GetLastError();
            break;
        case Obstacle::DanglingLink:
            ASSERT_TRUE(MakeDanglingLink(tmp_, taken, "pointed-at.txt")) << "no symbolic link could be made";
            break;
        }

        DeleteFileA(record_.c_str());
        ASSERT_EQ(Run("shop1", "one\ntwo", elapsed), 1);
        long used = 0;
        ASSERT_TRUE(lastSeed(used));
        EXPECT_EQ(used, number + 2) << "the seed goes to the next name";
        std::string record = ReadBytes(record_);
        EXPECT_EQ(record.substr(record.find('\n') + 1), bin_ + "\n" + "one\r\ntwo") << "the seed file as ever";
        EXPECT_FALSE(wextest::FileExists(tmp_ + "\\seed" + std::to_string(used))) << "and it is deleted";

        switch (row.obstacle) {
        case Obstacle::File:
            EXPECT_EQ(ReadBytes(takenPath), "someone else's");
            DeleteFileA(takenPath.c_str());
            break;
        case Obstacle::HardLink:
            EXPECT_EQ(ReadBytes(takenPath), "someone else's");
            EXPECT_EQ(ReadBytes(linkedFile), "someone else's");
            DeleteFileA(takenPath.c_str());
            DeleteFileA(linkedFile.c_str());
            break;
        case Obstacle::DanglingLink:
            EXPECT_FALSE(wextest::FileExists(tmp_ + "\\pointed-at.txt"))
                << "the seed went where the link points: " << ReadBytes(tmp_ + "\\pointed-at.txt");
            RemoveDanglingLink(tmp_, taken, "pointed-at.txt");
            break;
        }
        number = used;
    }
    EXPECT_TRUE(wextest::FilesIn(tmp_).empty());
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(MakeKeysTest, StandInGeneratorFeedsSubstituteKeys) {
    _putenv(("TMP=" + tmp_).c_str());
    InstallGenerator("makekeys.exe");
    auto keyFile = [&](const std::string& merchant) {
        return root_ + "\\merchants\\" + merchant + "\\" + merchant + ".key";
    };
    DWORD elapsed = 0;
    ASSERT_EQ(Run("shop1", "alpha", elapsed), 1);
    ASSERT_EQ(Run("shop2", "alpha", elapsed), 1);
    ASSERT_EQ(Run("shop3", "beta", elapsed), 1);
    std::string key1 = WaitForFile(keyFile("shop1"));
    EXPECT_EQ(WaitForFile(keyFile("shop2")), key1) << "the same seed gives the same keys";
    EXPECT_NE(WaitForFile(keyFile("shop3")), key1);
    ASSERT_EQ(key1.compare(0, 14, "$MerchantPUK\r\n"), 0) << key1;

    std::string items = root_ + "\\merchants\\shop1\\merchant.ini";
    wextest::WriteBytes(items, "MERCHANT_ID = shop1-77\r\n");
    char publicKey[4096] = "";
    EXPECT_EQ(SubstituteKeys(keyFile("shop1").c_str(), items.c_str(), publicKey), 1);
    std::string publicLines = publicKey;
    EXPECT_FALSE(publicLines.empty());
    std::string crlf;
    for (char c : publicLines) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    EXPECT_EQ(key1.compare(14, crlf.size() + 5, crlf + "EOF\r\n"), 0) << "the public lines, then EOF";
    std::string stored = ReadBytes(items);
    EXPECT_EQ(stored.compare(0, 50, "MERCHANT_ID = shop1-77\r\nMERCHANT_PUBLIC_KEY={\r\n" + crlf.substr(0, 3)), 0)
        << stored;
    EXPECT_NE(stored.find("\r\nMERCHANT_PRIVATE_KEY={\r\n"), std::string::npos) << stored;
    EXPECT_EQ(ReadBytes(root_ + "\\merchants\\shop1\\reginfo.txt"),
              "MERHANT_ID = shop1-77\r\nPublic Key ={\r\n" + crlf + "}\r\n");
    EXPECT_TRUE(wextest::FilesIn(tmp_).empty());
}

TEST_F(MakeKeysTest, StandInGeneratorSaysWhatItIs) {
    wextest::ProgramRun run = wextest::RunProgram("\"" + wextest::BesideTest("makekeys.exe") + "\" -output only");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.output.find("Stand-in for the real key-pair generator"), std::string::npos);
}

TEST(ComputeMerchID, WorkedExamplesThroughTheExport) {
    struct Row {
        const char* name;
        const char* identifier;
        const char* nameAfter;
    } rows[] = {
        {"abc", "abc-03", "abc"},
        {"ABC", "ABC-03", "abc"},
        {"", "-58", ""},
        {"\xE9", "\xE9-60", "\xE9"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.identifier);
        char name[8];
        lstrcpyA(name, row.name);
        char identifier[16];
        EXPECT_EQ(ComputeMerchID(name, identifier), 0);
        EXPECT_STREQ(identifier, row.identifier);
        EXPECT_STREQ(name, row.nameAfter);
    }
    EXPECT_EQ(ComputeMerchID(nullptr, nullptr), 0);
}

}  // namespace
