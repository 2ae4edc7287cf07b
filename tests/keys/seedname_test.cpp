// The seed file: directory choice, "seed" and a process-wide counter that
// moves past names already taken, and a file that only its creator may open.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "keys/seedfile.h"
#include "scratch.h"

namespace {

using wex::keys::SeedFile;
using wex::keys::SeedOutcome;

class SeedName : public testing::Test {
protected:
    void SetUp() override {
        if (const char* tmp = std::getenv("TMP")) savedTmp_ = tmp;
    }
    void TearDown() override { _putenv(("TMP=" + savedTmp_).c_str()); }

    static SeedOutcome Create(const char* preferredDir, SeedFile& seed) {
        return wex::keys::CreateSeedFile(preferredDir, [](const std::string&) { return true; }, seed);
    }

    static void Remove(SeedFile& seed) {
        seed.file.Reset();
        DeleteFileA(seed.name.c_str());
    }

    // The number after dir + "\seed", or -1 when the name is not of that form.
    static long NumberIn(const std::string& name, const std::string& dir) {
        std::string prefix = dir + "\\seed";
        if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return -1;
        if (name.find_first_not_of("0123456789", prefix.size()) != std::string::npos) return -1;
        return std::atol(name.c_str() + prefix.size());
    }

    wextest::ScratchDir scratch_;
    std::string savedTmp_;
};

TEST_F(SeedName, CounterSkipsNamesThatExist) {
    _putenv(("TMP=" + scratch_.Root()).c_str());
    SeedFile seed;
    ASSERT_EQ(Create(nullptr, seed), SeedOutcome::Created);
    long first = NumberIn(seed.name, scratch_.Root());
    ASSERT_GT(first, 0) << seed.name;
    EXPECT_TRUE(wextest::FileExists(seed.name)) << "the file is made with its name";
    Remove(seed);
    const std::string takenByFile = scratch_.Root() + "\\seed" + std::to_string(first + 1);
    const std::string takenByFolder = scratch_.Root() + "\\seed" + std::to_string(first + 2);
    wextest::WriteBytes(takenByFile, "someone else's");
    ASSERT_TRUE(CreateDirectoryA(takenByFolder.c_str(), nullptr));

    ASSERT_EQ(Create(nullptr, seed), SeedOutcome::Created);
    EXPECT_EQ(NumberIn(seed.name, scratch_.Root()), first + 3);
    Remove(seed);
    EXPECT_EQ(wextest::ReadBytes(takenByFile), "someone else's");
    EXPECT_TRUE(wextest::FilesIn(takenByFolder).empty());
}

TEST_F(SeedName, DirectoryChoice) {
    std::string missing = scratch_.Path("missing");
    struct Row {
        const char* label;
        std::string tmp;
        const char* preferred;
        std::string dir;  // where the file lands, without the trailing "\"
    } rows[] = {
        {"TMP with a trailing backslash", scratch_.Root() + "\\", nullptr, scratch_.Root()},
        {"TMP missing, preferred directory", missing, scratch_.Root().c_str(), scratch_.Root()},
        // The tests run in C:\.
        {"neither exists: the root of the drive", missing, missing.c_str(), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        _putenv(("TMP=" + row.tmp).c_str());
        SeedFile seed;
        ASSERT_EQ(Create(row.preferred, seed), SeedOutcome::Created);
        EXPECT_GT(NumberIn(seed.name, row.dir), 0) << seed.name;
        Remove(seed);
    }
}

TEST_F(SeedName, EveryNameIsOfferedBeforeTheFileIsMade) {
    _putenv(("TMP=" + scratch_.Root()).c_str());
    std::string offered;
    SeedFile seed;
    EXPECT_EQ(wex::keys::CreateSeedFile(
                  nullptr,
                  [&](const std::string& name) {
                      offered = name;
                      return false;
                  },
                  seed),
              SeedOutcome::DoesNotFit);
    EXPECT_GT(NumberIn(offered, scratch_.Root()), 0) << offered;
    EXPECT_FALSE(seed.file);
    EXPECT_TRUE(wextest::FilesIn(scratch_.Root()).empty()) << "no file for a name that was refused";
}

// The user SID of this process's token, as text.
std::string OwnUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    char buffer[256];
    DWORD size = 0;
    std::string text;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        char* sid = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
            text = sid;
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return text;
}

struct Grant {
    std::string sid;  // empty for an entry that does not allow
    DWORD mask;
};

// What a file's DACL allows, entry by entry.
std::vector<Grant> Grants(const std::string& path) {
    std::vector<Grant> grants;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        ADD_FAILURE() << "no DACL for " << path;
        return grants;
    }
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        Grant grant{"", allowed->Mask};
        char* sid = nullptr;
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            ConvertSidToStringSidA(reinterpret_cast<PSID>(&allowed->SidStart), &sid)) {
            grant.sid = sid;
            LocalFree(sid);
        }
        grants.push_back(grant);
    }
    LocalFree(descriptor);
    return grants;
}

constexpr char kLocalSystem[] = "S-1-5-18";

// Wine keeps no DACL of a file's own: it turns one into Unix permission bits
// and builds the DACL it reads back from them, always with an entry for
// SYSTEM. So SYSTEM may show beside the creator; anyone else may not.
TEST_F(SeedName, OnlyItsCreatorMayOpenTheFile) {
    _putenv(("TMP=" + scratch_.Root()).c_str());
    const std::string user = OwnUserSid();
    ASSERT_FALSE(user.empty());
    SeedFile seed;
    ASSERT_EQ(Create(nullptr, seed), SeedOutcome::Created);
    HANDLE second = CreateFileA(seed.name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD secondError = GetLastError();
    EXPECT_EQ(second, INVALID_HANDLE_VALUE) << "shared with nobody while it is being written";
    EXPECT_EQ(secondError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    ASSERT_TRUE(wex::keys::WriteSeedText(seed, "one\ntwo"));
    EXPECT_FALSE(seed.file) << "closed once written";
    EXPECT_EQ(wextest::ReadBytes(seed.name), "one\r\ntwo") << "its creator reads it";

    bool creatorReads = false;
    for (const Grant& grant : Grants(seed.name)) {
        SCOPED_TRACE(grant.sid);
        EXPECT_TRUE(grant.sid == user || grant.sid == kLocalSystem) << "mask " << std::hex << grant.mask;
        if (grant.sid == user && (grant.mask & FILE_GENERIC_READ) == FILE_GENERIC_READ) creatorReads = true;
    }
    EXPECT_TRUE(creatorReads);
    Remove(seed);

    // A file made with the folder's defaults lets others in here, so the
    // check above can tell the two apart.
    const std::string plain = scratch_.Path("plain");
    wextest::WriteBytes(plain, "");
    const std::vector<Grant> grants = Grants(plain);
    EXPECT_TRUE(std::any_of(grants.begin(), grants.end(),
                            [&](const Grant& grant) { return grant.sid != user && grant.sid != kLocalSystem; }));
}

}  // namespace
