// The installer log keeps secrets, through the real DLL: the values of items
// with hidden names show as their lengths, and every text that passed through
// as such a value (or was handed to HideInLog) is masked wherever it turns up
// later, for A exports and W twins alike, while results, files, boxes and the
// standard streams stay exactly as without a log. And a log that cannot hurt:
// one writer at a time, a write that fails said once and given up, a file for
// its creator, the Administrators and SYSTEM only.
//
// The masked texts are the process's for good: each test uses secrets of its
// own that no other text of this program holds.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "capture.h"
#include "logfile.h"
#include "loopback.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using Lines = std::vector<std::string>;
using wextest::ReadBytes;
using wextest::WriteBytes;

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '"') out += "\\\"";
        else if (byte < 32 || byte == 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

// A form encoding: letters, digits and "*-._" kept, the rest "%xx".
std::string FormEncoded(const std::string& text, bool upper, const char* space) {
    std::string out;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '*' || c == '-' || c == '.' || c == '_') {
            out += c;
        } else if (c == ' ') {
            out += space;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, upper ? "%%%02X" : "%%%02x", byte);
            out += hex;
        }
    }
    return out;
}

// Every form in which a secret could stand in a log line.
std::vector<std::string> FormsOf(const std::string& secret) {
    std::vector<std::string> forms = {secret, Escaped(secret)};
    for (bool upper : {false, true}) {
        for (const char* space : {"+", "%20"}) forms.push_back(FormEncoded(secret, upper, space));
    }
    return forms;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// ---- a provisioning round ---------------------------------------------------

const std::string kPassword = "hunter2-very-secret";
const std::string kRotated = "rotated-secret";
// Echoed by the form server; a quote and a tab, which the log escapes.
const std::string kEchoed = "tok \"9f3a\"\tx";
const std::string kSeed = "seed words stay\nsecret";
const std::string kPublic = "TUlJQklqQU5CZ2txaGtpRzl3MEJBUUVGQUFPQ0FROEFNSUlCQ2dLQ0FRRUF4eXox";
const std::string kPrivate = "TUlJRXZBSUJBREFOQmdrcWhraUc5dzBCQVFFRkFBU0NCS2N3Z2dTakFnRUFBb0lC";
// A last key line with padding: an item name listing shows its text before the "=".
const std::string kPrivatePadded = "QVFDN3ZrUHJpdmF0ZQ==";
const std::string kPrivateAsName = "QVFDN3ZrUHJpdmF0ZQ";

struct Outcome {
    std::vector<int> results;
    std::vector<std::string> outputs;
    std::string items, reginfo, err, out, request;
};

// The round, logged to log or (empty) without a log, on fresh files in dir.
Outcome ProvisioningRound(const std::string& dir, const std::string& log) {
    const std::string items = dir + "\\merchant.ini";
    const std::string keyFile = dir + "\\shop.key";
    WriteBytes(items, "MERCHANT_ID = shop-58\r\nDB_HOST = db1\r\n");
    WriteBytes(keyFile,
               "$MerchantPUK\n" + kPublic + "\nEOF\n$MerchantPRK\n" + kPrivate + "\n" + kPrivatePadded + "\nEOF\n");
    DeleteFileA((dir + "\\reginfo.txt").c_str());
    wextest::LoopbackServer server("HTTP/1.0 200 OK\r\nX-Echo: " + kEchoed + "\r\n");
    const std::string body = "merchant=shop-58&pw=" + kPassword;
    const std::string command = dir + "\\missing.exe --password " + kPassword;
    const std::string form = "user=admin&pw=" + kPassword + " &k=" + kRotated;
    const std::string said = "say " + kEchoed;
    const std::string note = "seed was " + kSeed;

    Outcome o;
    char buffer[4096];
    const auto output = [&](int result) {
        o.results.push_back(result);
        o.outputs.push_back(buffer);
        buffer[0] = '\0';
    };
    buffer[0] = '\0';
    {
        wextest::StdCapture capture;
        if (!log.empty()) {
            EXPECT_EQ(SetLogFile(log.c_str()), 1);
        }
        output(SetSilentMode(1));
        output(HideInLog(kEchoed.c_str()));
        output(SetFileItem(items.c_str(), "DB_PASSWORD", kPassword.c_str()));
        output(GetFileItem(items.c_str(), "DB_PASSWORD", buffer));
        output(FindFileItem(items.c_str(), "DB_PASSWORD", "very"));
        output(SubstituteKeys(keyFile.c_str(), items.c_str(), buffer));
        output(GetAllItemNames(items.c_str(), buffer));
        output(Substitute(items.c_str(), kPassword.c_str(), kRotated.c_str()));
        output(GetFileItem(items.c_str(), "DB_HOST", buffer));
        output(URLEncode(form.c_str(), buffer));
        output(URLEncode(said.c_str(), buffer));
        output(RunCommand(command.c_str(), nullptr));
        output(SendMsg("127.0.0.1", server.PortText().c_str(), "/register", body.c_str()));
        output(MakeKeys(dir.c_str(), "shop", kSeed.c_str()));
        output(AddFileItem(items.c_str(), "NOTE", note.c_str()));
        output(SetFileItem(items.c_str(), "PORT", "8443"));
        output(SetSilentMode(0));
        if (!log.empty()) {
            EXPECT_EQ(SetLogFile(nullptr), 1);
        }
        o.err = capture.Err();
        o.out = capture.Out();
    }
    o.items = ReadBytes(items);
    o.reginfo = ReadBytes(dir + "\\reginfo.txt");
    o.request = server.Request();
    // Seed files are numbered through the process: the number is no outcome.
    o.err = std::regex_replace(o.err, std::regex("seed[0-9]+"), "seed#");
    return o;
}

TEST(LogSecrets, AProvisioningRoundKeepsEverySecretAndChangesNothingElse) {
    wextest::ScratchDir scratch;
    const std::string root = scratch.Root();
    const std::string logPath = scratch.Path("install.log");
    const Outcome logged = ProvisioningRound(root, logPath);
    const Outcome unlogged = ProvisioningRound(root, "");

    // Masking is the log's business only.
    EXPECT_EQ(logged.results, unlogged.results);
    EXPECT_EQ(logged.outputs, unlogged.outputs);
    EXPECT_EQ(logged.items, unlogged.items);
    EXPECT_EQ(logged.reginfo, unlogged.reginfo);
    EXPECT_EQ(logged.err, unlogged.err);
    EXPECT_EQ(logged.out, unlogged.out);
    EXPECT_EQ(logged.request, unlogged.request);
    // ... which still has them all in clear.
    EXPECT_EQ(logged.outputs[3], kPassword);
    EXPECT_NE(logged.items.find("DB_PASSWORD=" + kRotated + "\r\n"), std::string::npos) << logged.items;
    EXPECT_NE(logged.items.find(kPrivatePadded), std::string::npos);
    EXPECT_NE(logged.err.find("missing.exe --password " + kPassword), std::string::npos) << logged.err;
    EXPECT_NE(logged.out.find("X-Echo: " + kEchoed), std::string::npos);

    const std::string text = ReadBytes(logPath);
    for (const std::string& secret : {kPassword, kRotated, kEchoed, kSeed, kPublic, kPrivate, kPrivatePadded,
                                      kPrivateAsName}) {
        for (const std::string& form : FormsOf(secret)) {
            EXPECT_EQ(Count(text, form), 0u) << "\"" << form << "\", a form of \"" << secret << "\", in the log";
        }
    }

    // Every line is still there, each secret as its length or "***".
    const Lines events = wextest::LogEvents(wextest::Wide(logPath));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex(" -input (\\S+), Last Error: 2"))) << text;
    const std::string seedFile = m[1];
    const std::string items = root + "\\merchant.ini";
    const std::string keyFile = root + "\\shop.key";
    ASSERT_FALSE(events.empty());
    std::smatch port;
    ASSERT_TRUE(std::regex_search(text, port, std::regex("SendMsg\\(\"127.0.0.1\", \"(\\d+)\"")));
    const Lines expected = {
        "SetLogFile(\"" + logPath + "\") -> 1",
        "SetSilentMode(1) -> 0",
        "HideInLog(\"***\") -> 1",
        "SetFileItem(\"" + items + "\", \"DB_PASSWORD\", <hidden, 19 bytes>) -> 1",
        "GetFileItem(\"" + items + "\", \"DB_PASSWORD\", buf) -> 1 <hidden, 19 bytes>",
        "FindFileItem(\"" + items + "\", \"DB_PASSWORD\", <hidden, 4 bytes>) -> 1",
        "SubstituteKeys(\"" + keyFile + "\", \"" + items + "\", buf) -> 1 <hidden, 65 bytes>",
        "GetAllItemNames(\"" + items + "\", buf) -> 6 \"MERCHANT_ID&DB_HOST&DB_PASSWORD&MERCHANT_PUBLIC_KEY&"
                                                  "MERCHANT_PRIVATE_KEY&***&\"",
        "Substitute(\"" + items + "\", \"***\", \"***\") -> 1",
        "GetFileItem(\"" + items + "\", \"DB_HOST\", buf) -> 1 \"db1\"",
        "URLEncode(\"user=admin&pw=*** &k=***\", buf) -> 0 \"user%3dadmin%26pw%3d***+%26k%3d***\"",
        "URLEncode(\"say ***\", buf) -> 0 \"say+***\"",
        "box [StartProcess] Error executing " + root + "\\missing.exe --password ***, Last Error: 2 (suppressed)",
        "RunCommand(\"" + root + "\\missing.exe --password ***\", null) -> 0",
        "box [SendMsg] HTTP/1.0 200 OK\\r\\n (suppressed)",
        "stdout: HTTP/1.0 200 OK\\r",
        "box [SendMsg] X-Echo: ***\\r\\n (suppressed)",
        "stdout: X-Echo: ***\\r",
        "SendMsg(\"127.0.0.1\", \"" + port[1].str() + "\", \"/register\", <39 bytes>) -> 1",
        "box [StartProcess] Error executing " + root + "\\bin\\makekeys.exe -output " + root +
            "\\merchants\\shop\\shop.key -input " + seedFile + ", Last Error: 2 (suppressed)",
        "MakeKeys(\"" + root + "\", \"shop\", <22 bytes>) -> 0",
        "AddFileItem(\"" + items + "\", \"NOTE\", \"seed was ***\") -> 1",
        "SetFileItem(\"" + items + "\", \"PORT\", \"8443\") -> 1",
        "SetSilentMode(0) -> 1",
        "SetLogFile(null) -> 1",
    };
    EXPECT_EQ(events, expected);
}

// Items appended from another file pass through without a line of their own:
// their hidden values and key blocks are masked from then on all the same.
TEST(LogSecrets, AppendedItemsAreMaskedFromThenOn) {
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    const std::string source = scratch.Path("defaults.ini");
    const std::string target = scratch.Path("merchant.ini");
    WriteBytes(source, "API_TOKEN = tok-appended-51\r\nMERCHANT_PRIVATE_KEY ={\r\nQXBwZW5kZWRLZXlMaW5l\r\n}\r\n"
                       "PORT = 1\r\n");
    WriteBytes(target, "MERCHANT_ID = shop-58\r\n");
    char out[128];
    ASSERT_EQ(SetLogFile(log.c_str()), 1);
    EXPECT_EQ(AppendFile(source.c_str(), target.c_str()), 1);
    EXPECT_EQ(Substitute(target.c_str(), "tok-appended-51", "tok-new-52"), 1);
    EXPECT_EQ(URLEncode("k=QXBwZW5kZWRLZXlMaW5l p=1", out), 0);
    EXPECT_EQ(SetLogFile(nullptr), 1);

    EXPECT_EQ(ReadBytes(target), "MERCHANT_ID = shop-58\r\nAPI_TOKEN = tok-new-52\r\nMERCHANT_PRIVATE_KEY ={\r\n"
                                 "QXBwZW5kZWRLZXlMaW5l\r\n}\r\nPORT = 1\r\n");
    EXPECT_EQ(wextest::LogEvents(wextest::Wide(log)),
              (Lines{
                  "SetLogFile(\"" + log + "\") -> 1",
                  "AppendFile(\"" + source + "\", \"" + target + "\") -> 1",
                  "Substitute(\"" + target + "\", \"***\", \"***\") -> 1",
                  "URLEncode(\"k=*** p=1\", buf) -> 0 \"k%3d***+p%3d1\"",
                  "SetLogFile(null) -> 1",
              }));
}

// ---- A exports and W twins --------------------------------------------------

// A secret is one text whichever export saw it: one handed to a W twin is
// masked where an A export shows it (converted from the code page, and in
// the form encoding of its code page bytes), and the other way round.
TEST(LogSecrets, ATextIsMaskedWhereverItCameFromAndWhereverItTurnsUp) {
    ASSERT_EQ(GetACP(), 1252u) << "the texts below are code page 1252";
    wextest::ScratchDir scratch;
    const std::wstring log = wextest::Wide(scratch.Path("install.log"));
    const std::wstring folder = wextest::Wide(scratch.Root()) + L"\\Kennwort-\u00e4 card-\U0001F4B3";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::string root = scratch.Root();
    char out[128];

    ASSERT_EQ(SetLogFileW(log.c_str()), 1);
    EXPECT_EQ(HideInLogW(L"geheim-Schl\u00fcssel"), 1);
    EXPECT_EQ(URLEncode("pw=geheim-Schl\xfcssel!", out), 0);  // the same text, code page 1252
    EXPECT_STREQ(out, "pw%3dgeheim-Schl%fcssel%21");
    EXPECT_EQ(HideInLog("Kennwort-\xe4"), 1);                  // "Kennwort-ä"
    EXPECT_EQ(HideInLogW(L"card-\U0001F4B3"), 1);             // a character outside the BMP
    const std::wstring second = folder + L"\\install.log";
    ASSERT_EQ(SetLogFileW(second.c_str()), 1);
    EXPECT_EQ(URLEncode("Kennwort-\xe4", out), 0);
    EXPECT_EQ(HideInLog(nullptr), 0);
    EXPECT_EQ(HideInLog(""), 0);
    EXPECT_EQ(HideInLogW(nullptr), 0);
    EXPECT_EQ(HideInLogW(L""), 0);
    ASSERT_EQ(SetLogFileW(nullptr), 1);

    EXPECT_EQ(wextest::LogEvents(log), (Lines{
                                           "SetLogFileW(\"" + wextest::Utf8(log) + "\") -> 1",
                                           "HideInLogW(\"***\") -> 1",
                                           "URLEncode(\"pw=***!\", buf) -> 0 \"pw%3d***%21\"",
                                           "HideInLog(\"***\") -> 1",
                                           "HideInLogW(\"***\") -> 1",
                                       }));
    EXPECT_EQ(wextest::LogEvents(second), (Lines{
                                              "SetLogFileW(\"" + root + "\\*** ***\\install.log\") -> 1",
                                              "URLEncode(\"***\", buf) -> 0 \"***\"",
                                              "HideInLog(null) -> 0",
                                              "HideInLog(\"\") -> 0",
                                              "HideInLogW(null) -> 0",
                                              "HideInLogW(\"\") -> 0",
                                              "SetLogFileW(null) -> 1",
                                          }));
}

// ---- a log that cannot hurt ---------------------------------------------------

struct Race {
    std::string first, second, third;
    std::atomic<bool> done{false};
    std::atomic<int> switches{0};
    int logged = 0;
};

constexpr int kSwitches = 300;

// Logs line after line for as long as the switches go on.
DWORD WINAPI LogInALoop(LPVOID context) {
    Race& race = *static_cast<Race*>(context);
    while (race.switches < kSwitches) {
        SetWaitLimit(0);
        ++race.logged;
    }
    return 0;
}

DWORD WINAPI SwitchLogs(LPVOID context) {
    Race& race = *static_cast<Race*>(context);
    while (!race.done) {
        SetLogFile(race.second.c_str());
        SetLogFile(race.first.c_str());
        race.switches += 2;
    }
    return 0;
}

// Opens and closes a third file all the time, so that a handle the log has
// closed is soon this file's: a line written through a stale handle lands here.
DWORD WINAPI OpenAThirdFile(LPVOID context) {
    Race& race = *static_cast<Race*>(context);
    while (!race.done) {
        HANDLE file = CreateFileA(race.third.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    return 0;
}

TEST(LogSafety, ASwitchOfLogsNeverMeetsALineOfAnotherThread) {
    wextest::ScratchDir scratch;
    Race race;
    race.first = scratch.Path("first.log");
    race.second = scratch.Path("second.log");
    race.third = scratch.Path("third.txt");
    ASSERT_EQ(SetLogFile(race.first.c_str()), 1);
    HANDLE switcher = CreateThread(nullptr, 0, SwitchLogs, &race, 0, nullptr);
    HANDLE opener = CreateThread(nullptr, 0, OpenAThirdFile, &race, 0, nullptr);
    HANDLE logger = CreateThread(nullptr, 0, LogInALoop, &race, 0, nullptr);
    ASSERT_TRUE(switcher && opener && logger);
    WaitForSingleObject(logger, INFINITE);
    race.done = true;
    WaitForSingleObject(switcher, INFINITE);
    WaitForSingleObject(opener, INFINITE);
    for (HANDLE thread : {switcher, opener, logger}) CloseHandle(thread);
    ASSERT_EQ(SetLogFile(nullptr), 1);

    EXPECT_EQ(ReadBytes(race.third), "") << "a line went through a closed handle";
    int logged = 0, switchLines = 0;
    for (const std::string* path : {&race.first, &race.second}) {
        SCOPED_TRACE(*path);
        // Every line whole (LogEvents checks each one's time stamp and line end).
        for (const std::string& event : wextest::LogEvents(wextest::Wide(*path))) {
            if (event == "SetWaitLimit(0) -> 0") {
                ++logged;
            } else if (event == "SetLogFile(\"" + *path + "\") -> 1") {
                ++switchLines;
            } else {
                EXPECT_EQ(event, "SetLogFile(null) -> 1") << "a line of the other log, or a torn one";
            }
        }
    }
    EXPECT_EQ(logged, race.logged) << "lines lost";
    EXPECT_EQ(switchLines, race.switches + 1);
    EXPECT_GT(race.logged, kSwitches) << "the calls ran beside the switches";
}

// Wine maps the Linux root as drive Z:, so a log on /dev/full opens and
// fails on its first write ("disk full"), as a log on a vanished share does.
TEST(LogSafety, ALogThatCannotBeWrittenIsSaidOnceAndGivenUp) {
    const char kFull[] = "Z:\\dev\\full";
    HANDLE full =
        CreateFileA(kFull, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (full == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no /dev/full as " << kFull << ": " << GetLastError();
    CloseHandle(full);
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    std::string err;
    {
        wextest::StdCapture capture;
        EXPECT_EQ(SetLogFile(kFull), 1) << "it opens: only writing fails, and that changes no result";
        EXPECT_EQ(SetWaitLimit(0), 0);
        EXPECT_EQ(ServiceExists("WexNoSuchService"), 0);
        EXPECT_EQ(SetLogFile(nullptr), 1);
        // A missing folder: the log cannot even be opened.
        const std::string unopenable = scratch.Path("no such folder\\install.log");
        EXPECT_EQ(SetLogFile(unopenable.c_str()), 0);
        EXPECT_EQ(SetWaitLimit(0), 0);
        EXPECT_EQ(SetLogFile(log.c_str()), 1) << "named again, a log is tried again";
        EXPECT_EQ(SetWaitLimit(0), 0);
        EXPECT_EQ(SetLogFile(nullptr), 1);
        err = capture.Err();
        const std::regex said("Wexlib: installer log (.*) not written: (.+)\n");
        std::vector<std::string> paths;
        for (auto it = std::sregex_iterator(err.begin(), err.end(), said); it != std::sregex_iterator(); ++it)
            paths.push_back((*it)[1]);
        EXPECT_EQ(paths, (Lines{kFull, unopenable})) << err;
        EXPECT_EQ(std::regex_replace(err, said, ""), "") << "nothing else on standard error";
    }
    EXPECT_EQ(wextest::LogEvents(wextest::Wide(log)),
              (Lines{"SetLogFile(\"" + log + "\") -> 1", "SetWaitLimit(0) -> 0", "SetLogFile(null) -> 1"}));
}

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string copy = text;
    LocalFree(text);
    return copy;
}

std::string OwnUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    char buffer[256];
    DWORD size = 0;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    CloseHandle(token);
    return sid;
}

struct Grant {
    std::string sid;
    DWORD mask;
};

// The allowing entries of a file's DACL, as GetFileSecurityW reads it back.
std::vector<Grant> Grants(const std::string& path) {
    std::vector<Grant> grants;
    const std::wstring wide = wextest::Wide(path);
    DWORD size = 0;
    GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<unsigned char> descriptor(size);
    if (size == 0 || !GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size)) {
        ADD_FAILURE() << "no security descriptor for " << path << ": " << GetLastError();
        return grants;
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted) || !present || !dacl) {
        ADD_FAILURE() << "no DACL for " << path;
        return grants;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        grants.push_back({SidText(const_cast<DWORD*>(&allowed->SidStart)), allowed->Mask});
    }
    return grants;
}

// Wine keeps no DACL of a file's own: it turns the one the library sets into
// Unix permission bits and builds the DACL it reads back from them, an entry
// for the owner and one for SYSTEM (the Administrators' entry has no bits of
// its own there). What it does keep is that nobody else is let in, which a
// file made with the folder's defaults does.
TEST(LogSafety, TheLogIsForItsCreatorTheAdministratorsAndSystemOnly) {
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    ASSERT_EQ(SetLogFile(log.c_str()), 1);
    ASSERT_EQ(SetLogFile(nullptr), 1);
    const std::string user = OwnUserSid();
    ASSERT_FALSE(user.empty());
    const std::vector<std::string> allowed = {user, "S-1-5-32-544", "S-1-5-18"};
    bool creatorReadsAndWrites = false;
    for (const Grant& grant : Grants(log)) {
        SCOPED_TRACE(grant.sid);
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), grant.sid), allowed.end()) << std::hex << grant.mask;
        const DWORD readWrite = FILE_GENERIC_READ | FILE_GENERIC_WRITE;
        if (grant.sid == user && (grant.mask & readWrite) == readWrite) creatorReadsAndWrites = true;
    }
    EXPECT_TRUE(creatorReadsAndWrites);

    const std::string plain = scratch.Path("plain.txt");
    WriteBytes(plain, "");
    bool othersLetIn = false;
    for (const Grant& grant : Grants(plain))
        othersLetIn |= std::find(allowed.begin(), allowed.end(), grant.sid) == allowed.end();
    EXPECT_TRUE(othersLetIn) << "a file made with the folder's defaults lets others in, so the check can tell";
}

}  // namespace
