// What a rewrite keeps of its target besides the content, and where the new
// content goes: the target's own permissions and owner, its creation time,
// alternate data streams, hard links and symbolic links, a read-only
// target, and a tmpnam file that never receives a byte of the content.
// Where Wine cannot show a case, the test says so (see the comments).
#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdio>
#include <set>
#include <string>

#include "capture.h"
#include "children.h"
#include "siblings.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::ReadBytes;
using wextest::WriteBytes;

// The owner, group and DACL of a file, as security descriptor text.
std::string SecurityText(const std::string& path) {
    constexpr SECURITY_INFORMATION kWhat =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), kWhat, nullptr, 0, &size);
    std::string descriptor(size, '\0');
    if (size == 0 || !GetFileSecurityA(path.c_str(), kWhat, &descriptor[0], size, &size)) return "<unreadable>";
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(&descriptor[0], SDDL_REVISION_1, kWhat, &text, nullptr))
        return "<unconvertible>";
    std::string result = text;
    LocalFree(text);
    return result;
}

std::string CurrentUserSid() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
    char buffer[256];
    DWORD size = 0;
    std::string sid;
    char* text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

bool SetSecurity(const std::string& path, SECURITY_INFORMATION what, const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const bool set = SetFileSecurityA(path.c_str(), what, descriptor) != 0;
    LocalFree(descriptor);
    return set;
}

FILETIME CreationTime(const std::string& path) {
    FILETIME created{};
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    GetFileTime(file, &created, nullptr, nullptr);
    CloseHandle(file);
    return created;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

DWORD LinkCount(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return info.nNumberOfLinks;
}

// A symbolic link at link to target. Wine's CreateSymbolicLinkW reports
// success and creates nothing, so under Wine the link is made on the Linux
// side: Wine starts a Linux program such as ln when asked to, and names the
// Linux path of a file through its wine_get_unix_file_name.
bool MakeSymbolicLink(const std::string& link, const std::string& target) {
    if (CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        wextest::FileExists(link))
        return true;
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName =
        reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    if (!unixName) return false;
    auto unixPath = [&](const std::string& path) {
        std::wstring wide(path.begin(), path.end());
        char* name = unixName(wide.c_str());
        std::string result = name ? name : "";
        if (name) HeapFree(GetProcessHeap(), 0, name);
        return result;
    };
    std::string command = "Z:\\bin\\ln -s " + unixPath(target) + " " + unixPath(link);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    if (info.hProcess) CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
    // What Wine hands back for a Linux program cannot be waited for: the
    // link is waited for instead.
    for (int i = 0; i < 1000 && !wextest::FileExists(link); ++i) Sleep(10);
    return wextest::FileExists(link);
}

class Kept : public testing::Test {
protected:
    std::string File(const std::string& bytes, const char* name = "items.ini") {
        std::string path = scratch_.Path(name);
        WriteBytes(path, bytes);
        return path;
    }

    wextest::ScratchDir scratch_;
};

// The target's own DACL (its owner and SYSTEM only, as a merchant file that
// holds the private key has it) and its owner survive every rewrite. Wine
// keeps no descriptor of a file's own: the DACL becomes Unix permission bits
// and is read back from them, and the owner is always the Unix user; so under
// Wine this DACL reads back as SYSTEM alone, which still differs from the
// default of a new file in the folder, and the owner cannot differ at all.
TEST_F(Kept, PermissionsAndOwnerOfTheTarget) {
    const std::string path = File("A = 1\r\n");
    const std::string fresh = File("", "fresh.ini");
    const std::string user = CurrentUserSid();
    ASSERT_FALSE(user.empty());
    ASSERT_TRUE(SetSecurity(path, DACL_SECURITY_INFORMATION, "D:P(A;;FA;;;SY)(A;;FA;;;" + user + ")"));
    // An elevated editor on Windows may make the administrators the owner.
    SetSecurity(path, OWNER_SECURITY_INFORMATION, "O:BA");
    const std::string before = SecurityText(path);
    ASSERT_NE(before, SecurityText(fresh)) << "the fixture shows nothing: the target has a new file's security";

    struct Row {
        const char* label;
        int result;
        int (*edit)(const char*);
    } rows[] = {
        {"SetFileItem", 1, [](const char* p) { return SetFileItem(p, "A", "2"); }},
        {"Substitute", 1, [](const char* p) { return Substitute(p, "2", "3"); }},
        {"DeleteFileItem", 0, [](const char* p) { return DeleteFileItem(p, "NONE", nullptr); }},
        {"AddFileItem", 1, [](const char* p) { return AddFileItem(p, "B", "4"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(row.edit(path.c_str()), row.result);
        EXPECT_EQ(SecurityText(path), before);
    }
    EXPECT_EQ(ReadBytes(path), "A =3\r\n\r\nB = 4\r\n");
}

// Wine's creation time changes with every write to a file and SetFileTime
// leaves it alone, so there it cannot be shown to stay.
TEST_F(Kept, CreationTimeOfTheTarget) {
    const std::string path = File("A = 1\r\n");
    const FILETIME old{0x5a3c0000, 0x01c0d000};  // early 2001
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFileTime(file, &old, nullptr, nullptr);
    CloseHandle(file);
    if (!SameTime(CreationTime(path), old)) GTEST_SKIP() << "this platform does not keep a creation time that is set";
    EXPECT_EQ(SetFileItem(path.c_str(), "A", "2"), 1);
    EXPECT_TRUE(SameTime(CreationTime(path), old));
}

// Under Wine "name:stream" is a file of its own, which no rewrite touches, so
// there the case passes without showing the copy that Windows needs.
TEST_F(Kept, AlternateDataStreamOfTheTarget) {
    const std::string path = File("A = 1\r\n");
    WriteBytes(path + ":note", "kept\r\n");
    EXPECT_EQ(SetFileItem(path.c_str(), "A", "2"), 1);
    EXPECT_EQ(ReadBytes(path), "A =2\r\n");
    EXPECT_EQ(ReadBytes(path + ":note"), "kept\r\n");
}

TEST_F(Kept, EveryHardLinkSeesTheNewContent) {
    const std::string path = File("A = 1\r\n");
    const std::string link = scratch_.Path("link.ini");
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), path.c_str(), nullptr));
    EXPECT_EQ(SetFileItem(path.c_str(), "A", "2"), 1);
    EXPECT_EQ(ReadBytes(link), "A =2\r\n");
    EXPECT_EQ(SetFileItem(link.c_str(), "B", "3"), 1);
    EXPECT_EQ(AddFileItem(link.c_str(), "C", "4"), 1);
    EXPECT_EQ(ReadBytes(path), "A =2\r\n\r\nB=3\r\n\r\nC = 4\r\n");
    EXPECT_EQ(LinkCount(path), 2u) << "the links stay one file";
    EXPECT_EQ(wextest::FilesIn(scratch_.Root()), (std::set<std::string>{"items.ini", "link.ini"}));
}

// A hard-linked target is written in place from a complete copy beside it;
// an edit that ended during that write left the copy, and the next edit
// finishes the write before it reads the file.
TEST_F(Kept, UnfinishedInPlaceWriteIsFinishedByTheNextEdit) {
    const std::string path = File("A = 1\r\nB = 2\r\nC = 3\r\n");
    const std::string link = scratch_.Path("link.ini");
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), path.c_str(), nullptr));
    WriteBytes(path + ".wexlib-copy", "A = 1\r\nB =9\r\nC = 3\r\n");
    WriteBytes(path, "A = 1\r\nB =9\r\n");  // the write stopped part-way
    EXPECT_EQ(SetFileItem(path.c_str(), "D", "4"), 1);
    EXPECT_EQ(ReadBytes(link), "A = 1\r\nB =9\r\nC = 3\r\n\r\nD=4\r\n");
    EXPECT_EQ(wextest::FilesIn(scratch_.Root()), (std::set<std::string>{"items.ini", "link.ini"}));
}

TEST_F(Kept, SymbolicLinkIsFollowedAndStays) {
    const std::string real = File("A = 1\r\n", "real.ini");
    const std::string link = scratch_.Path("link.ini");
    if (!MakeSymbolicLink(link, real)) GTEST_SKIP() << "no symbolic link can be made here";
    EXPECT_EQ(SetFileItem(link.c_str(), "A", "2"), 1);
    EXPECT_EQ(AddFileItem(link.c_str(), "B", "3"), 1);
    EXPECT_EQ(ReadBytes(real), "A =2\r\n\r\nB = 3\r\n");
    // Still a link: what the file it names holds shows through it.
    WriteBytes(real, "Z = 9\r\n");
    EXPECT_EQ(ReadBytes(link), "Z = 9\r\n");
    EXPECT_EQ(wextest::FilesIn(scratch_.Root()), (std::set<std::string>{"link.ini", "real.ini"}));
}

// A read-only file is one its owner asked not to be changed: every edit
// refuses it with its line, on Windows and under Wine alike (where an editor
// running as root could otherwise write over it).
TEST_F(Kept, ReadOnlyTargetIsRefusedByEveryEdit) {
    const std::string path = File("A = 1\r\n");
    const std::string source = File("B = 2\r\n", "source.txt");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string line = "File " + path + " left unchanged: it is read-only.\n";
    struct Row {
        const char* label;
        int (*edit)(const std::string& path, const std::string& source);
    } rows[] = {
        {"SetFileItem", [](const std::string& p, const std::string&) { return SetFileItem(p.c_str(), "A", "2"); }},
        {"DeleteFileItem",
         [](const std::string& p, const std::string&) { return DeleteFileItem(p.c_str(), "A", nullptr); }},
        {"Substitute", [](const std::string& p, const std::string&) { return Substitute(p.c_str(), "1", "2"); }},
        {"AddFileItem", [](const std::string& p, const std::string&) { return AddFileItem(p.c_str(), "C", "3"); }},
        {"AppendFile", [](const std::string& p, const std::string& s) { return AppendFile(s.c_str(), p.c_str()); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        wextest::StdCapture capture;
        EXPECT_EQ(row.edit(path, source), 0);
        EXPECT_EQ(capture.Err(), line);
        EXPECT_EQ(ReadBytes(path), "A = 1\r\n");
        EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY,
                  static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The files in the root of drive C: with their sizes.
std::set<std::pair<std::string, long long>> RootFiles() {
    std::set<std::pair<std::string, long long>> files;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\*", &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.insert({data.cFileName, (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
}

// The tmpnam file that a rewrite creates in the root of the drive and holds
// while it works receives no byte of the content, which goes only to the
// sibling: looked at while a rewriter of a 20 MiB file stands still, its
// sibling part-written.
TEST_F(Kept, TmpnamFileReceivesNoByteOfTheContent) {
    std::string text;
    text.reserve(21 << 20);
    char line[64];
    for (int i = 0; i < 400000; ++i) {
        std::snprintf(line, sizeof line, "ITEM_%06d = value of item %06d, padded\r\n", i, i);
        text += line;
        if (i == 200000) text += "PORT = 1111\r\n";
    }
    const std::string path = File(text);
    text.clear();
    const std::set<std::string> rootBefore = wextest::FilesIn("C:");
    wextest::ChildProcess rewriter("\"" + wextest::BesideTest("rewriter.exe") + "\" \"" + path + "\"");
    ASSERT_TRUE(rewriter.Started()) << "error " << rewriter.StartError();
    for (long long written : {1ll << 20, 8ll << 20, 16ll << 20}) {
        SCOPED_TRACE(written);
        ASSERT_TRUE(itemtest::StopMidRewrite(rewriter, scratch_.Root(), "items.ini", written));
        std::set<std::pair<std::string, long long>> added;
        for (const auto& file : RootFiles())
            if (!rootBefore.count(file.first)) added.insert(file);
        ASSERT_EQ(added.size(), 1u) << "the rewrite holds its tmpnam file, and only that, in the root";
        EXPECT_EQ(added.begin()->second, 0) << added.begin()->first << " holds content";
        // Opened the only way a delete-on-close file lets others in: sharing
        // its deletion.
        HANDLE temp = CreateFileA(("C:\\" + added.begin()->first).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(temp, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        char byte;
        DWORD read = 1;
        EXPECT_TRUE(ReadFile(temp, &byte, 1, &read, nullptr));
        EXPECT_EQ(read, 0u);
        CloseHandle(temp);
        ASSERT_TRUE(rewriter.Resume());
    }
    rewriter.End();
    EXPECT_EQ(wextest::FilesIn("C:"), rootBefore);
}

}  // namespace
