// Installs that nobody watches, through the real DLL: silent mode turns
// every box into a standard error line and a log line, the log records each
// call, box, output line and poll, and the settings exports report what was
// set before.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "boxes.h"
#include "capture.h"
#include "loopback.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::ReadBytes;
using wextest::WriteBytes;
using Lines = std::vector<std::string>;

// The log's events: each line without its time stamp, which must be there.
Lines LogEvents(const std::string& path) {
    static const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
    Lines events;
    const std::string text = ReadBytes(path);
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::smatch m;
        const std::string line = text.substr(at, end - at);
        EXPECT_TRUE(std::regex_match(line, m, stamped)) << line;
        events.push_back(m.size() > 1 ? m[1].str() : line);
    }
    EXPECT_EQ(at, text.size()) << "every event ends its line";
    return events;
}

const char kRegistryRoot[] = "SOFTWARE\\WexlibTest\\Unattended";

class Unattended : public testing::Test {
protected:
    void SetUp() override {
        _putenv("MY_DBGPRINT=");
        ASSERT_EQ(SetLogFile(log_.c_str()), 1);
        ASSERT_EQ(SetSilentMode(1), 0);
    }
    void TearDown() override {
        SetSilentMode(0);
        SetLogFile(nullptr);
        _putenv("MY_DBGPRINT=");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRegistryRoot);
        EXPECT_TRUE(boxes_.Boxes().empty()) << "no box may appear in silent mode";
    }

    // The log's events since the last call of this.
    Lines NewEvents() {
        Lines all = LogEvents(log_);
        Lines fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
        seen_ = all.size();
        return fresh;
    }

    wextest::ScratchDir scratch_;
    wextest::BoxRecorder boxes_;
    std::string log_ = scratch_.Path("install.log");
    std::size_t seen_ = 0;
};

struct BoxPath {
    const char* family;
    std::function<void()> call;
    std::string err;      // all of standard error during the call
    Lines boxLines;       // the log's box lines, in order
    std::string callLine;  // the log's call line, last
};

TEST_F(Unattended, EveryBoxGoesToStandardErrorAndTheLog) {
    const std::string missing = scratch_.Path("missing.ini");
    const std::string keyFile = scratch_.Path("shop.key");
    const std::string items = scratch_.Path("merchant.ini");
    std::string forward = items;
    for (char& c : forward) c = c == '\\' ? '/' : c;
    // Key lines as long as real ones: the log masks them wherever they occur.
    WriteBytes(keyFile, "$MerchantPUK\nTUlJQkNnS0NBUUVB\nEOF\n$MerchantPRK\nTUlJRXZRSUJBREFO\nEOF\n");
    WriteBytes(items, "MERCHANT_ID = 1\r\n");
    const std::string program = scratch_.Path("missing.exe");
    const std::string startFailed = "Error executing " + program + ", Last Error: 2";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    wextest::LoopbackServer server("HTTP/1.0 200 OK\r\nX: 1%s\r\n");
    char buffer[4096];

    const BoxPath rows[] = {
        {"item files", [&] { GetAllItemNames(missing.c_str(), buffer); },
         "Could not open file " + missing + " for reading.\n[" + missing + "] Could not open file\n",
         {"box [" + missing + "] Could not open file (suppressed)"},
         "GetAllItemNames(\"" + missing + "\", buf) -> 0 \"\""},
        {"keys: no key file", [&] { SubstituteKeys(missing.c_str(), items.c_str(), buffer); },
         "[Info] Unable to open key file : " + missing + ".\n",
         {"box [Info] Unable to open key file : " + missing + ". (suppressed)"},
         "SubstituteKeys(\"" + missing + "\", \"" + items + "\", buf) -> 0"},
        {"keys: no reginfo file", [&] { SubstituteKeys(keyFile.c_str(), forward.c_str(), buffer); },
         "[Info] Unable to create reginfo file.\n", {"box [Info] Unable to create reginfo file. (suppressed)"},
         "SubstituteKeys(\"" + keyFile + "\", \"" + forward + "\", buf) -> 1 <hidden, 17 bytes>"},
        {"services: stop", [&] { StopService("WexNoSuchService"); },
         "[Inside StopService] OpenService failed -->WexNoSuchService<--: 1060\n",
         {"box [Inside StopService] OpenService failed -->WexNoSuchService<--: 1060 (suppressed)"},
         "StopService(\"WexNoSuchService\") -> 0"},
        {"services: remove", [&] { RemoveService("WexNoSuchService"); },
         "[Inside RemoveService] OpenService failed -->WexNoSuchService<--: 1060\n",
         {"box [Inside RemoveService] OpenService failed -->WexNoSuchService<--: 1060 (suppressed)"},
         "RemoveService(\"WexNoSuchService\") -> 0"},
        {"registry: no key", [&] {
             char list[] = "a+b";
             SetRegMultiSz("SOFTWARE\\WexlibTest\\NoSuchKey", "V", list);
         },
         "[Inside SetRegMultiSz] RegOpenKeyEx:-->2<--\n",
         {"box [Inside SetRegMultiSz] RegOpenKeyEx:-->2<-- (suppressed)"},
         "SetRegMultiSz(\"SOFTWARE\\WexlibTest\\NoSuchKey\", \"V\", \"a+b\") -> 0"},
        {"registry: ten pieces", [&] {
             char list[] = "1+2+3+4+5+6+7+8+9+10";
             SetRegMultiSz(kRegistryRoot, "V", list);
         },
         "[Inside SetRegMultiSz] Internal error. Increase value of MAX_STRINGS.\n",
         {"box [Inside SetRegMultiSz] Internal error. Increase value of MAX_STRINGS. (suppressed)"},
         std::string("SetRegMultiSz(\"") + kRegistryRoot + "\", \"V\", \"1+2+3+4+5+6+7+8+9+10\") -> 1"},
        {"processes: start fails", [&] { RunCommand(program.c_str(), nullptr); }, "[StartProcess] " + startFailed + "\n",
         {"box [StartProcess] " + startFailed + " (suppressed)"}, "RunCommand(\"" + program + "\", null) -> 0"},
        {"processes: debug trace", [&] {
             _putenv("MY_DBGPRINT=1");
             RunCommand(program.c_str(), nullptr);
             _putenv("MY_DBGPRINT=");
         },
         "[Debug] RunCommand\n[Debug] Process not created\n[Debug] " + startFailed + "\n[StartProcess] " + startFailed +
             "\n",
         {"box [Debug] RunCommand (suppressed)", "box [Debug] Process not created (suppressed)",
          "box [Debug] " + startFailed + " (suppressed)", "box [StartProcess] " + startFailed + " (suppressed)"},
         "RunCommand(\"" + program + "\", null) -> 0"},
        // Reply lines keep their CR LF: on the stream (which the capture
        // reads back in text mode) and, escaped, in the log.
        {"form post", [&] { SendMsg("127.0.0.1", server.PortText().c_str(), "/r", "a=1"); },
         "[SendMsg] HTTP/1.0 200 OK\n[SendMsg] X: 1%s\n",
         {"box [SendMsg] HTTP/1.0 200 OK\\r\\n (suppressed)", "box [SendMsg] X: 1%s\\r\\n (suppressed)"},
         "SendMsg(\"127.0.0.1\", \"" + server.PortText() + "\", \"/r\", <3 bytes>) -> 1"},
    };
    NewEvents();
    for (const BoxPath& row : rows) {
        SCOPED_TRACE(row.family);
        wextest::StdCapture capture;
        row.call();
        EXPECT_EQ(capture.Err(), row.err);
        Lines boxLines, lines = NewEvents();
        for (const std::string& line : lines) {
            EXPECT_NE(line.rfind("stderr: [", 0), 0u) << "a box is logged as a box, not as its standard error line";
            if (line.rfind("box ", 0) == 0) boxLines.push_back(line);
        }
        EXPECT_EQ(boxLines, row.boxLines);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), row.callLine);
    }
}

// One short round of a provisioning, every log line checked. The seed text
// and the form body never appear in it.
TEST_F(Unattended, LogOfAProvisioningRound) {
    const std::string root = scratch_.Root();
    const std::string items = scratch_.Path("merchant.ini");
    const std::string keyFile = scratch_.Path("shop.key");
    WriteBytes(items, "MERCHANT_ID = shop-58\r\n");
    WriteBytes(keyFile, "$MerchantPUK\nAAA\nEOF\n$MerchantPRK\nPPP\nEOF\n");
    const char kSeed[] = "a seed that stays secret";
    const char kBody[] = "card=4111111111111111";
    wextest::LoopbackServer server("HTTP/1.0 200 OK\r\n");
    const std::string missingGenerator = root + "\\bin\\makekeys.exe -output " + root + "\\merchants\\shop\\shop.key";
    char value[400] = "", identifier[16] = "", name[] = "ABC", publicKey[256] = "";
    std::string err, out;
    {
        wextest::StdCapture capture;
        EXPECT_EQ(SetFileItem(items.c_str(), "PORT", "8443"), 1);
        EXPECT_EQ(GetFileItem(items.c_str(), "PORT", value), 1);
        EXPECT_EQ(GetFileItem(items.c_str(), "NONE", value), 0);
        EXPECT_EQ(ComputeMerchID(name, identifier), 0);
        EXPECT_EQ(MakeKeys(root.c_str(), "shop", kSeed), 0);  // no generator here: the start fails
        EXPECT_EQ(SubstituteKeys(keyFile.c_str(), items.c_str(), publicKey), 1);
        EXPECT_EQ(SetFileItem(scratch_.Path("none.ini").c_str(), "A", "1"), 0);
        EXPECT_EQ(SendMsg("127.0.0.1", server.PortText().c_str(), "/register", kBody), 1);
        EXPECT_EQ(SetLogFile(nullptr), 1);
        err = capture.Err();
        out = capture.Out();
    }
    const std::string logText = ReadBytes(log_);
    EXPECT_EQ(logText.find(kSeed), std::string::npos);
    EXPECT_EQ(logText.find("4111111111111111"), std::string::npos);

    // The seed file's name holds a counter: take it from the log itself.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(logText, m, std::regex(" -input (\\S+), Last Error: 2"))) << logText;
    const std::string seedFile = m[1];
    const std::string startFailed = "Error executing " + missingGenerator + " -input " + seedFile + ", Last Error: 2";
    const std::string noFile = "Could not open file " + scratch_.Path("none.ini") + " for reading.";
    const Lines expected = {
        "SetLogFile(\"" + log_ + "\") -> 1",
        "SetSilentMode(1) -> 0",
        "SetFileItem(\"" + items + "\", \"PORT\", \"8443\") -> 1",
        "GetFileItem(\"" + items + "\", \"PORT\", buf) -> 1 \"8443\"",
        "GetFileItem(\"" + items + "\", \"NONE\", buf) -> 0",
        "ComputeMerchID(\"ABC\", buf) -> 0 \"ABC-03\"",
        "box [StartProcess] " + startFailed + " (suppressed)",
        "MakeKeys(\"" + root + "\", \"shop\", <24 bytes>) -> 0",
        "SubstituteKeys(\"" + keyFile + "\", \"" + items + "\", buf) -> 1 <hidden, 4 bytes>",
        "stderr: " + noFile,
        "SetFileItem(\"" + scratch_.Path("none.ini") + "\", \"A\", \"1\") -> 0",
        "box [SendMsg] HTTP/1.0 200 OK\\r\\n (suppressed)",
        "stdout: HTTP/1.0 200 OK\\r",
        "SendMsg(\"127.0.0.1\", \"" + server.PortText() + "\", \"/register\", <21 bytes>) -> 1",
        "SetLogFile(null) -> 1",
    };
    EXPECT_EQ(LogEvents(log_), expected);
    EXPECT_EQ(err, "[StartProcess] " + startFailed + "\n" + noFile + "\n[SendMsg] HTTP/1.0 200 OK\n");
    EXPECT_EQ(out, "HTTP/1.0 200 OK\n");
}

TEST(UnattendedSettings, ExportsReturnWhatWasSetBefore) {
    EXPECT_EQ(SetSilentMode(7), 0);
    EXPECT_EQ(SetSilentMode(-1), 1) << "any nonzero value turns it on";
    EXPECT_EQ(SetSilentMode(0), 1);
    EXPECT_EQ(SetSilentMode(0), 0);
    EXPECT_EQ(SetWaitLimit(250), 0);
    EXPECT_EQ(SetWaitLimit(-1), 250);
    EXPECT_EQ(SetWaitLimit(0), 0) << "a negative limit counts as none";

    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    WriteBytes(log, "an earlier install\r\n");
    ASSERT_EQ(SetLogFile(log.c_str()), 1);
    EXPECT_EQ(SetLogFile(nullptr), 1);
    EXPECT_EQ(ReadBytes(log).rfind("an earlier install\r\n", 0), 0u) << "appended to, never truncated";

    // A log that cannot be opened leaves none open: the old one records the
    // failed switch as its last line.
    const std::string second = scratch.Path("second.log");
    ASSERT_EQ(SetLogFile(second.c_str()), 1);
    const std::string unopenable = scratch.Root();  // a folder
    EXPECT_EQ(SetLogFile(unopenable.c_str()), 0);
    EXPECT_EQ(ServiceExists("WexNoSuchService"), 0);
    Lines events = LogEvents(second);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "SetLogFile(\"" + unopenable + "\") -> 0");
    EXPECT_EQ(SetLogFile(""), 1);
    EXPECT_EQ(SetLogFile(nullptr), 1);
    EXPECT_EQ(LogEvents(second).size(), events.size()) << "nothing is logged without a log";
}

// The log is UTF-8 whichever export wrote to it, and may live in a folder of
// any name; an A export's texts keep their code page bytes on standard error
// and are shown in a box as the characters they stand for.
TEST(LogEncoding, AnAExportsTextsAreConvertedAndAWExportsKept) {
    ASSERT_EQ(GetACP(), 1252u) << "the texts below are code page 1252";
    wextest::ScratchDir scratch;
    const std::wstring folder = wextest::Wide(scratch.Root()) + L"\\\u041c\u0430\u0433\u0430\u0437\u0438\u043d \u5e97\u8217";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring log = folder + L"\\install.log";
    const std::string logUtf8 = wextest::Utf8(log);

    ASSERT_EQ(SetLogFileW(log.c_str()), 1);
    const std::string items = scratch.Path("Z\xfcrich.ini");  // "Zürich" in code page 1252
    ASSERT_EQ(SetSilentMode(1), 0);
    char names[64];
    EXPECT_EQ(GetAllItemNames(items.c_str(), names), 0);
    SetSilentMode(0);
    EXPECT_EQ(SetLogFileW(nullptr), 1);

    const std::string shown = scratch.Root() + "\\Z\xc3\xbcrich.ini";  // the same path in UTF-8
    // Without their time stamps.
    const std::string text = wextest::ReadBytes(log);
    Lines lines;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at + 24, end - at - 24));
    EXPECT_EQ(lines, (Lines{
                         "SetLogFileW(\"" + logUtf8 + "\") -> 1",
                         "SetSilentMode(1) -> 0",
                         "stderr: Could not open file " + shown + " for reading.",
                         "box [" + shown + "] Could not open file (suppressed)",
                         "GetAllItemNames(\"" + shown + "\", buf) -> 0 \"\"",
                         "SetSilentMode(0) -> 1",
                         "SetLogFileW(null) -> 1",
                     }));
}

TEST(LogEncoding, ABoxShowsTheCharactersOfAnAExportsText) {
    ASSERT_EQ(GetACP(), 1252u);
    wextest::ScratchDir scratch;
    wextest::BoxRecorder boxes;
    wextest::StdCapture capture;
    const std::string items = scratch.Path("Z\xfcrich.ini");
    char names[64];
    EXPECT_EQ(GetAllItemNames(items.c_str(), names), 0);
    // Standard error keeps the caller's code page bytes; the box, UTF-16,
    // shows "Zürich" (recorded as UTF-8).
    EXPECT_EQ(capture.Err(), "Could not open file " + items + " for reading.\n");
    EXPECT_EQ(boxes.Boxes(), (std::vector<wextest::Box>{{scratch.Root() + "\\Z\xc3\xbcrich.ini", "Could not open file"}}));
}

}  // namespace
