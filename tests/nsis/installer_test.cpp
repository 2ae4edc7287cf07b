// Runs one NSIS installer that was built with nsis/Wexlib.nsh silently and
// checks what it left against the golden files:
//
//   nsis_installer_tests --script provision|macros --installer EXE
//       --install-dir DIR --golden DIR --seed TEXT --max-strlen N
//       [--server DIR] [gtest flags]
//
// provision: the example setup (examples/nsis/provision.nsi), posting its
// registration to the form server whose folder --server names. macros: a call
// of every macro (tests/nsis/macros.nsi). The installer runs once, before the
// first test; each test checks one thing it left.
//
// Golden files hold the expected bytes; "@NAME@" stands for a value that
// only the run knows (see Placeholders). Files of expected log events hold
// one event a line, without its time stamp, in the order the log must hold
// them (other events may come between); lines starting with "#" are comments.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "programs.h"
#include "scratch.h"

namespace {

using wextest::ReadBytes;

struct Options {
    std::string script, installer, installDir, golden, seed, server;
    std::size_t maxStrlen = 0;
};
Options g_options;

const char kStores[] = "SOFTWARE\\Microsoft\\MerchantServer\\Stores";
const char kMerchant[] = "acme";
const char kMerchantService[] = "WexMerchantService";
const char kMacrosService[] = "WexNsisMacros";
// The example setup's registration: its merchant name and identifier, form-encoded.
const char kBody[] = "merchant=ACME+Store&id=acme-47";

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

std::string Replace(std::string text, const std::map<std::string, std::string>& values) {
    for (const auto& [name, value] : values) {
        const std::string mark = "@" + name + "@";
        for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    }
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// The body lines of the block that header opens in a key file, up to its "EOF".
std::vector<std::string> KeyBlock(const std::string& keyFile, const std::string& header) {
    std::vector<std::string> block;
    bool inside = false;
    for (const std::string& line : Lines(keyFile)) {
        if (line == header) {
            inside = true;
        } else if (inside && StartsWith(line, "EOF")) {
            inside = false;
        } else if (inside) {
            block.push_back(line);
        }
    }
    return block;
}

std::string Joined(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

constexpr std::size_t kStampLength = 24;  // "YYYY-MM-DD HH:MM:SS.mmm "

bool Stamped(const std::string& line) {
    static const char kShape[] = "dddd-dd-dd dd:dd:dd.ddd ";
    if (line.size() < kStampLength) return false;
    for (std::size_t i = 0; i < kStampLength; ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (kShape[i] == 'd' ? !digit : line[i] != kShape[i]) return false;
    }
    return true;
}

// A log's events without their time stamps.
std::vector<std::string> Events(const std::string& log) {
    std::vector<std::string> events;
    for (const std::string& line : Lines(log)) events.push_back(Stamped(line) ? line.substr(kStampLength) : line);
    return events;
}

// Each wanted event must occur, in this order; the first one missing is named.
void ExpectInOrder(const std::vector<std::string>& events, const std::string& wantedText) {
    std::vector<std::string> wanted;
    for (const std::string& line : Lines(wantedText))
        if (!line.empty() && line[0] != '#') wanted.push_back(line);
    std::size_t next = 0;
    for (const std::string& event : events)
        if (next < wanted.size() && event == wanted[next]) ++next;
    EXPECT_EQ(next, wanted.size()) << "missing or out of order: " << (next < wanted.size() ? wanted[next] : "")
                                   << "\nafter " << next << " of " << wanted.size() << " wanted events";
}

void ExpectLogShape(const std::string& log) {
    ASSERT_NE(log, "<missing>");
    const std::vector<std::string> lines = Lines(log);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) EXPECT_TRUE(Stamped(line)) << "no time stamp: " << line;
    EXPECT_EQ(Count(log, "\r\n"), lines.size()) << "every line ends in CR LF";
    EXPECT_EQ(log.compare(log.size() - 2, 2, "\r\n"), 0);
}

// Whether the service manager's registry lists the service. Wine's own
// eventlog service must be listed, or the listing proves nothing.
bool ServiceListed(const std::string& name) {
    const std::string services = "System\\CurrentControlSet\\Services\\";
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (services + "eventlog").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, (services + name).c_str(), 0, KEY_READ, &key);
    if (opened == ERROR_SUCCESS) RegCloseKey(key);
    return opened == ERROR_SUCCESS;
}

struct RegistryValue {
    DWORD type = REG_NONE;
    std::wstring data;  // the stored UTF-16 units, every zero included
};

// A key's values (names in ANSI) and the names of its subkeys.
struct RegistryKey {
    bool exists = false;
    std::map<std::string, RegistryValue> values;
    std::vector<std::string> subkeys;
};

RegistryKey ReadKey(const std::string& path) {
    RegistryKey result;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return result;
    result.exists = true;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        RegistryValue value;
        value.type = type;
        value.data.resize(size / sizeof(wchar_t));
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value.data[0]), &size);
        char narrow[256];
        WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof narrow, nullptr, nullptr);
        result.values[narrow] = value;
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        result.subkeys.push_back(name);
    }
    RegCloseKey(key);
    return result;
}

std::string Golden(const std::string& name) {
    const std::string text = ReadBytes(g_options.golden + "\\" + name);
    if (text == "<missing>") ADD_FAILURE() << "no golden file " << name;
    return text;
}

// What the installer left, gathered once for all the tests of a run.
struct Run {
    wextest::ProgramRun installer;
    std::string requestsBefore, requestsAfter;
    std::map<std::string, std::string> values;  // the placeholders' values
};

Run g_run;

void RunInstaller() {
    wextest::RemoveTree(g_options.installDir);
    std::string command = "\"" + g_options.installer + "\" /S";
    if (g_options.script == "provision") {
        // Each run starts without the store, and the service is not there yet.
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kStores) + "\\" + kMerchant).c_str());
        EXPECT_FALSE(ServiceListed(kMerchantService)) << "registered before the run";
        const std::string port = ReadBytes(g_options.server + "\\port.txt");
        g_run.values["PORT"] = port.substr(0, port.find_first_of("\r\n"));
        g_run.requestsBefore = ReadBytes(g_options.server + "\\requests.log");
        command += " /REGHOST=127.0.0.1 /REGPORT=" + g_run.values["PORT"];
    }
    command += " /D=" + g_options.installDir;
    g_run.installer = wextest::RunProgram(command);
    if (g_options.script == "provision") g_run.requestsAfter = ReadBytes(g_options.server + "\\requests.log");

    auto& v = g_run.values;
    v["INSTDIR"] = g_options.installDir;
    v["SEED_BYTES"] = std::to_string(g_options.seed.size());
    v["BODY_BYTES"] = std::to_string(sizeof kBody - 1);
    std::string names;
    for (int i = 1; i <= 300; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "ITEM%03d&", i);
        names += name;
    }
    // An installer's variable holds NSIS_MAX_STRLEN - 1 bytes of a text.
    const std::size_t keep = g_options.maxStrlen - 1;
    v["NAMES_300"] = names;
    v["NAMES_300_CUT"] = names.substr(0, keep);
    v["AMPS_400"] = Repeat("&", 400);
    v["AMPS_400_ENCODED"] = Repeat("%26", 400);
    v["AMPS_400_ENCODED_CUT"] = v["AMPS_400_ENCODED"].substr(0, keep);
    const std::string keyFile = ReadBytes(g_options.installDir + "\\merchants\\acme\\acme.key");
    v["PUBLIC_KEY_LINES"] = Joined(KeyBlock(keyFile, "$MerchantPUK"), "\r\n");
    v["PRIVATE_KEY_LINES"] = Joined(KeyBlock(keyFile, "$MerchantPRK"), "\r\n");
    // The public key is a hidden item's value: the log shows its length, the
    // lines as the library read them.
    v["PUBLIC_KEY_BYTES"] = std::to_string(Joined(KeyBlock(keyFile, "$MerchantPUK"), "\n").size());
    // The console's process id, as the log's first GetPID line that found it gives it.
    const std::string log = ReadBytes(g_options.installDir + "\\install.log");
    for (const std::string& event : Events(log)) {
        const std::string prefix = "GetPID(\"wexwin\") -> ";
        if (StartsWith(event, prefix) && event != prefix + "0") {
            v["PID"] = event.substr(prefix.size());
            break;
        }
    }
}

class Installer : public testing::Test {
protected:
    static void SetUpTestSuite() { RunInstaller(); }

    static std::string Left(const std::string& name) { return ReadBytes(g_options.installDir + "\\" + name); }

    void ExpectLeft(const std::string& name, const std::string& goldenName) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Left(name), Replace(Golden(goldenName), g_run.values));
    }
};

using Provision = Installer;
using Macros = Installer;

TEST_F(Provision, EndsWithExitCodeZero) {
    EXPECT_EQ(g_run.installer.exitCode, 0u) << g_run.installer.output;
    EXPECT_FALSE(wextest::FileExists(g_options.installDir + "\\setup-error.txt")) << Left("setup-error.txt");
}

TEST_F(Provision, GeneratorWroteOnePublicAndOnePrivateBlock) {
    const std::string keyFile = Left("merchants\\acme\\acme.key");
    EXPECT_EQ(Count(keyFile, "$Merchant"), 2u);
    EXPECT_FALSE(KeyBlock(keyFile, "$MerchantPUK").empty());
    EXPECT_FALSE(KeyBlock(keyFile, "$MerchantPRK").empty());
}

TEST_F(Provision, ItemFileAndRegistrationInfoHoldExactlyTheirBytes) {
    ExpectLeft("merchants\\acme\\merchant.ini", "provision-merchant.ini");
    ExpectLeft("merchants\\acme\\reginfo.txt", "provision-reginfo.txt");
}

TEST_F(Provision, StoreKeyHoldsTheCatalogAndThePaymentListOnly) {
    const std::string store = std::string(kStores) + "\\" + kMerchant;
    const RegistryKey storeKey = ReadKey(store);
    ASSERT_TRUE(storeKey.exists);
    EXPECT_TRUE(storeKey.values.empty());
    EXPECT_EQ(storeKey.subkeys, std::vector<std::string>{"Components"});
    const RegistryKey components = ReadKey(store + "\\Components");
    ASSERT_EQ(components.values.size(), 2u);
    const RegistryValue& catalog = components.values.at("Components_Catalog");
    EXPECT_EQ(catalog.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(catalog.data, std::wstring(L"WexCatalog", 11));
    // Each piece and its zero, then the library's two more zeros.
    const RegistryValue& payment = components.values.at("Components_Payment");
    EXPECT_EQ(payment.type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(payment.data, std::wstring(L"WexPay.Card\0WexPay.Invoice\0\0\0", 29));
    EXPECT_TRUE(components.subkeys.empty());
}

TEST_F(Provision, ServiceIsGoneAgain) { EXPECT_FALSE(ServiceListed(kMerchantService)); }

TEST_F(Provision, LogHasEveryCallInOrderAndEndsClosed) {
    const std::string log = Left("install.log");
    ExpectLogShape(log);
    ASSERT_FALSE(g_run.values["PID"].empty()) << "no GetPID line found the console";
    const std::vector<std::string> events = Events(log);
    ExpectInOrder(events, Replace(Golden("provision.log"), g_run.values));
    EXPECT_EQ(events.back(), "SetLogFile(\"\") -> 1");
}

TEST_F(Provision, LogShowsNoSecretAndNoBox) {
    const std::vector<std::string> events = Events(Left("install.log"));
    ASSERT_FALSE(events.empty());
    const std::string keyFile = Left("merchants\\acme\\acme.key");
    std::vector<std::string> keyLines = KeyBlock(keyFile, "$MerchantPUK");
    for (const std::string& line : KeyBlock(keyFile, "$MerchantPRK")) keyLines.push_back(line);
    ASSERT_FALSE(keyLines.empty());
    for (const std::string& event : events) {
        EXPECT_EQ(event.find(g_options.seed), std::string::npos) << "the seed in clear: " << event;
        for (const std::string& line : keyLines)
            EXPECT_EQ(event.find(line), std::string::npos) << "a key line in clear: " << event;
        // The demo server quotes the body back, and the library logs every
        // reply line: those lines aside, the body must not show.
        const bool replyLine = StartsWith(event, "box [SendMsg] ") || StartsWith(event, "stdout: ");
        if (!replyLine) {
            EXPECT_EQ(event.find(kBody), std::string::npos) << "the form body in clear: " << event;
        }
        EXPECT_EQ(event.find("(shown)"), std::string::npos) << "a box was shown in silent mode: " << event;
    }
}

TEST_F(Provision, ServerGotTheRegistrationOnce) {
    EXPECT_EQ(Count(g_run.requestsAfter, kBody) - Count(g_run.requestsBefore, kBody), 1u);
}

TEST_F(Macros, EndsWithExitCodeZero) { EXPECT_EQ(g_run.installer.exitCode, 0u) << g_run.installer.output; }

// A "KEPT" line would name a register or the stack that a macro changed.
TEST_F(Macros, EveryMacroGaveItsResultAndOutput) { ExpectLeft("macros.txt", "macros.txt"); }

TEST_F(Macros, LogHasTheWholeTextsTheInstallerCut) {
    const std::string log = Left("macros.log");
    ExpectLogShape(log);
    ExpectInOrder(Events(log), Replace(Golden("macros.log"), g_run.values));
}

TEST_F(Macros, ServiceIsGone) { EXPECT_FALSE(ServiceListed(kMacrosService)); }

bool TakeOptions(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--script") g_options.script = value;
        else if (name == "--installer") g_options.installer = value;
        else if (name == "--install-dir") g_options.installDir = value;
        else if (name == "--golden") g_options.golden = value;
        else if (name == "--seed") g_options.seed = value;
        else if (name == "--server") g_options.server = value;
        else if (name == "--max-strlen") g_options.maxStrlen = std::strtoul(value.c_str(), nullptr, 10);
        else return false;
    }
    const bool provision = g_options.script == "provision";
    return (provision || g_options.script == "macros") && !g_options.installer.empty() &&
           !g_options.installDir.empty() && !g_options.golden.empty() && g_options.maxStrlen > 1 &&
           (!provision || (!g_options.server.empty() && !g_options.seed.empty()));
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // The library's temporary files go to the root of the current drive.
    SetCurrentDirectoryA("C:\\");
    testing::InitGoogleTest(&argc, argv);
    if (!TakeOptions(argc, argv)) {
        std::fprintf(stderr,
                     "usage: nsis_installer_tests --script provision|macros --installer EXE --install-dir DIR "
                     "--golden DIR --max-strlen N [--seed TEXT --server DIR]\n");
        return 2;
    }
    // Only the tests of the script that ran, unless a filter was asked for.
    if (testing::GTEST_FLAG(filter) == "*")
        testing::GTEST_FLAG(filter) = g_options.script == "provision" ? "Provision.*" : "Macros.*";
    return RUN_ALL_TESTS();
}
