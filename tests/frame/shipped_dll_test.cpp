// Reads the built Wexlib.dll files with objdump (natively, no Wine needed):
// the shipped 32-bit one and the x64 one, each for its format, its export
// table against the table below and wexlib.def, and its imports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

struct BuiltDll {
    const char* label;
    const char* path;
    const char* objdump;
    const char* format;
};

std::ostream& operator<<(std::ostream& os, const BuiltDll& dll) { return os << dll.label; }

std::string Objdump(const BuiltDll& dll, const char* flags) {
    std::string command = std::string(dll.objdump) + " " + flags + " '" + dll.path + "' 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, p)) > 0;) out.append(chunk, n);
        pclose(p);
    }
    return out;
}

// name -> ordinal, as the export table file declares them.
std::map<std::string, int> DeclaredExports() {
    std::map<std::string, int> exports;
    std::ifstream def(WEX_DEF_FILE);
    std::regex entry(R"(^\s+([A-Za-z_]+)(@\d+)?\s+@(\d+)\s*$)");
    for (std::string line; std::getline(def, line);) {
        std::smatch m;
        if (std::regex_match(line, m, entry)) exports[m[1]] = std::stoi(m[3]);
    }
    return exports;
}

std::map<std::string, int> ExportsInDll(const std::string& dump) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(dump, m, std::regex(R"(Ordinal Base (\d+))")));
    int base = m.empty() ? 0 : std::stoi(m[1]);
    std::map<std::string, int> exports;
    size_t table = dump.find("[Ordinal/Name Pointer] Table");
    std::string rest = table == std::string::npos ? "" : dump.substr(table);
    std::regex row(R"(\n\t\[\s*(\d+)\] (\S+))");
    for (auto it = std::sregex_iterator(rest.begin(), rest.end(), row); it != std::sregex_iterator(); ++it)
        exports[(*it)[2]] = std::stoi((*it)[1]) + base;
    return exports;
}

class ShippedDll : public testing::TestWithParam<BuiltDll> {};

TEST_P(ShippedDll, IsAWindowsDllOfItsArchitecture) {
    EXPECT_NE(Objdump(GetParam(), "-f").find(std::string("file format ") + GetParam().format), std::string::npos);
}

// The export table, written out here so that a wrong ordinal in the table
// file or in the DLL fails: slots 29 to 33 stay empty; each wide twin is at
// its export's ordinal plus 100.
const std::map<std::string, int> kExportTable = {
    {"RunCommand", 1},      {"ServiceExists", 2},    {"ServiceRunning", 3},        {"StopService", 4},
    {"RemoveService", 5},   {"InstallService", 6},   {"BeginService", 7},          {"UnInstallService", 8},
    {"SetRegMultiSz", 9},   {"Substitute", 10},      {"SetFileItem", 11},          {"AddFileItem", 12},
    {"DeleteFileItem", 13}, {"FindFileItem", 14},    {"GetAllItemNames", 15},      {"SubstituteKeys", 16},
    {"MakeKeys", 17},       {"EnumKeys", 18},        {"KillProcess", 19},          {"GetPID", 20},
    {"StopServer", 21},     {"_GetUserName", 22},    {"GetFileItem", 23},          {"RegRemoveValue", 24},
    {"RegRemovePayComponent", 25}, {"ComputeMerchID", 26}, {"AppendFile", 27},     {"SendMsg", 28},
    {"URLEncode", 34},      {"SetSilentMode", 35},   {"SetLogFile", 36},           {"SetWaitLimit", 37},
    {"SendMsgSecure", 38},  {"HideInLog", 39},
    // The wide twins, at their exports' ordinals plus 100.
    {"RunCommandW", 101},   {"ServiceExistsW", 102}, {"ServiceRunningW", 103},     {"StopServiceW", 104},
    {"RemoveServiceW", 105}, {"InstallServiceW", 106}, {"BeginServiceW", 107},     {"UnInstallServiceW", 108},
    {"SetRegMultiSzW", 109}, {"SubstituteW", 110},   {"SetFileItemW", 111},        {"AddFileItemW", 112},
    {"DeleteFileItemW", 113}, {"FindFileItemW", 114}, {"GetAllItemNamesW", 115},   {"SubstituteKeysW", 116},
    {"MakeKeysW", 117},     {"EnumKeysW", 118},     {"KillProcessW", 119},        {"GetPIDW", 120},
    {"StopServerW", 121},   {"_GetUserNameW", 122}, {"GetFileItemW", 123},        {"RegRemoveValueW", 124},
    {"RegRemovePayComponentW", 125}, {"ComputeMerchIDW", 126}, {"AppendFileW", 127}, {"SendMsgW", 128},
    {"URLEncodeW", 134},    {"SetLogFileW", 136},   {"SendMsgSecureW", 138},      {"HideInLogW", 139},
};

TEST_P(ShippedDll, ExportsPlainNamesAtTheirOrdinals) {
    EXPECT_EQ(DeclaredExports(), kExportTable);
    EXPECT_EQ(ExportsInDll(Objdump(GetParam(), "-p")), kExportTable);
}

TEST_P(ShippedDll, ImportsOnlySystemDlls) {
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "advapi32.dll", "wsock32.dll",
                                           "secur32.dll", "crypt32.dll", "msvcrt.dll"};
    std::string dump = Objdump(GetParam(), "-p");
    std::regex import(R"(DLL Name: (\S+))");
    int count = 0;
    for (auto it = std::sregex_iterator(dump.begin(), dump.end(), import); it != std::sregex_iterator(); ++it) {
        std::string name = (*it)[1];
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(allowed.count(name)) << name;
        ++count;
    }
    EXPECT_GT(count, 0);
}

INSTANTIATE_TEST_SUITE_P(Builds, ShippedDll,
                         testing::Values(BuiltDll{"x86", WEX_SHIPPED_DLL, "i686-w64-mingw32-objdump", "pei-i386"}
#ifdef WEX_X64_DLL
                                         ,
                                         BuiltDll{"x64", WEX_X64_DLL, "x86_64-w64-mingw32-objdump", "pei-x86-64"}
#endif
                                         ),
                         [](const testing::TestParamInfo<BuiltDll>& info) { return std::string(info.param.label); });

}  // namespace
