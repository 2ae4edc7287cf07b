// The seed file name scheme: directory choice, "seed" and a process-wide
// counter that skips names already taken.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "keys/keys.h"
#include "scratch.h"

namespace {

class SeedName : public testing::Test {
protected:
    void SetUp() override {
        if (const char* tmp = std::getenv("TMP")) savedTmp_ = tmp;
    }
    void TearDown() override { _putenv(("TMP=" + savedTmp_).c_str()); }

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
    std::string name;
    ASSERT_TRUE(wex::keys::MakeSeedName(nullptr, name));
    long first = NumberIn(name, scratch_.Root());
    ASSERT_GT(first, 0) << name;
    EXPECT_FALSE(wextest::FileExists(name)) << "only a name is made";
    for (long taken = first + 1; taken <= first + 2; ++taken) {
        wextest::WriteBytes(scratch_.Root() + "\\seed" + std::to_string(taken), "");
    }
    ASSERT_TRUE(wex::keys::MakeSeedName(nullptr, name));
    EXPECT_EQ(NumberIn(name, scratch_.Root()), first + 3);
}

TEST_F(SeedName, DirectoryChoice) {
    std::string missing = scratch_.Path("missing");
    struct Row {
        const char* label;
        std::string tmp;
        const char* preferred;
        std::string dir;  // where the name lands, without the trailing "\"
    } rows[] = {
        {"TMP with a trailing backslash", scratch_.Root() + "\\", nullptr, scratch_.Root()},
        {"TMP missing, preferred directory", missing, scratch_.Root().c_str(), scratch_.Root()},
        {"neither exists: the root of the drive", missing, missing.c_str(), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        _putenv(("TMP=" + row.tmp).c_str());
        std::string name;
        ASSERT_TRUE(wex::keys::MakeSeedName(row.preferred, name));
        EXPECT_GT(NumberIn(name, row.dir), 0) << name;
    }
}

}  // namespace
