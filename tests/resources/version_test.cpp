// The version block of the built Wexlib.dll, read the way any tool reads a
// file's version (GetFileVersionInfoA / VerQueryValueA) and as stored bytes,
// which keep the order of the string table's keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "templatereader.h"

namespace {

struct StringRow {
    const char* key;
    const char* value;  // null: any non-empty text
};

// In the order in which the string table stores them.
const StringRow kStrings[] = {
    {"CompanyName", "Quorvel, Inc."},
    {"FileDescription", "Wexlib"},
    {"FileVersion", "1, 0, 0, 1"},
    {"InternalName", "Wexlib"},
    {"LegalCopyright", nullptr},
    {"OriginalFilename", "Wexlib.dll"},
    {"ProductName", "Quorvel, Inc. Wexlib"},
    {"ProductVersion", "1, 0, 0, 1"},
};

class VersionBlock : public testing::Test {
protected:
    void SetUp() override {
        dll_ = LoadLibraryA("Wexlib.dll");
        ASSERT_NE(dll_, nullptr) << GetLastError();
        ASSERT_GT(GetModuleFileNameA(dll_, path_, sizeof path_), 0u);
    }
    void TearDown() override {
        if (dll_) FreeLibrary(dll_);
    }

    HMODULE dll_ = nullptr;
    char path_[MAX_PATH] = {};
};

TEST_F(VersionBlock, FixedPartStringsAndTranslationReadThroughTheVersionApi) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path_, &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path_, 0, size, info.data())) << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwStrucVersion, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x0000003Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x00040004u);
    EXPECT_EQ(fixed->dwFileType, 2u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u) << "one translation entry";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);

    for (const StringRow& row : kStrings) {
        SCOPED_TRACE(row.key);
        const char* value = nullptr;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + row.key;
        ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(const_cast<char**>(&value)),
                                   &length));
        if (row.value) {
            EXPECT_STREQ(value, row.value);
        } else {
            EXPECT_EQ(std::strncmp(value, "Copyright", 9), 0) << value;
        }
    }
}

TEST_F(VersionBlock, StoredTreeHasOneStringTableInKeyOrderAndOneTranslation) {
    HRSRC found = FindResourceExA(dll_, RT_VERSION, MAKEINTRESOURCEA(1), 1033);
    ASSERT_NE(found, nullptr) << GetLastError();
    const auto* first = static_cast<const unsigned char*>(LockResource(LoadResource(dll_, found)));
    ASSERT_NE(first, nullptr);
    std::vector<unsigned char> bytes(first, first + SizeofResource(dll_, found));

    wextest::VersionNode root;
    std::string error;
    ASSERT_TRUE(wextest::ParseVersionResource(bytes, root, error)) << error;
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    EXPECT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    ASSERT_EQ(root.children.size(), 2u);

    const wextest::VersionNode& strings = root.children[0];
    EXPECT_EQ(strings.key, "StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u) << "one string table";
    const wextest::VersionNode& table = strings.children[0];
    EXPECT_EQ(table.key, "040904b0");
    ASSERT_EQ(table.children.size(), std::size(kStrings));
    for (size_t i = 0; i < table.children.size(); ++i) {
        SCOPED_TRACE(kStrings[i].key);
        EXPECT_EQ(table.children[i].key, kStrings[i].key);
        EXPECT_EQ(table.children[i].type, 1) << "text value";
        if (kStrings[i].value) {
            EXPECT_EQ(table.children[i].text, kStrings[i].value);
        }
    }

    const wextest::VersionNode& vars = root.children[1];
    EXPECT_EQ(vars.key, "VarFileInfo");
    ASSERT_EQ(vars.children.size(), 1u);
    EXPECT_EQ(vars.children[0].key, "Translation");
    EXPECT_EQ(vars.children[0].value, (std::vector<unsigned char>{0x09, 0x04, 0xB0, 0x04}));
}

}  // namespace
