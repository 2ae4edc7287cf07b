// How the installer log writes what it quotes, on its own (built natively
// under the sanitizers, and for Windows).
#include <gtest/gtest.h>

#include <string>

#include "frame/logtext.h"

namespace {

using namespace std::string_literals;

TEST(LogText, EveryEventStaysOneLine) {
    struct Row {
        std::string text;
        const char* logged;
    } rows[] = {
        {"plain C:\\path\\file.ini", "plain C:\\path\\file.ini"},
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"\x01\x1a\x1f\x7f"s + "\0"s, "\\x01\\x1a\\x1f\\x7f\\x00"},
        {"\xe9t\xe9 100%", "\xe9t\xe9 100%"},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.logged);
        EXPECT_EQ(wex::LogEscape(row.text), row.logged);
    }
    EXPECT_EQ(wex::LogQuote("a\"b"), "\"a\\\"b\"");
    EXPECT_EQ(wex::LogLineText("HTTP/1.0 200 OK\r\n"), "HTTP/1.0 200 OK\\r");
    EXPECT_EQ(wex::LogLineText("cut piece"), "cut piece");
}

TEST(LogText, CallsReadLikeTheHostPrintsThem) {
    wex::CallText get("GetFileItem");
    get.Text("C:\\m.ini");
    get.Text("PORT");
    get.Buffer(&get);
    get.Output("84\n43");
    EXPECT_EQ(get.Line(1), "GetFileItem(\"C:\\m.ini\", \"PORT\", buf) -> 1 \"84\\n43\"");

    wex::CallText send("SendMsg");
    send.Text(nullptr);
    send.Number(-2);
    send.Secret("card=4111");
    send.Secret(nullptr);
    send.Buffer(nullptr);
    EXPECT_EQ(send.Line(0), "SendMsg(null, -2, <9 bytes>, null, null) -> 0");

    EXPECT_EQ(wex::CallText("SetSilentMode").Line(0), "SetSilentMode() -> 0");
}

TEST(LogText, HiddenValuesShowTheirLengthOnly) {
    wex::CallText set("SetFileItem");
    set.Text("C:\\m.ini");
    set.Text("DB_PASSWORD");
    set.Hidden("hunter\"2\n");
    set.Hidden(nullptr);
    EXPECT_EQ(set.Line(1), "SetFileItem(\"C:\\m.ini\", \"DB_PASSWORD\", <hidden, 9 bytes>, null) -> 1");

    wex::CallText get("GetFileItem");
    get.Buffer(&get);
    get.HiddenOutput("hunter2");
    get.HiddenOutput("");
    EXPECT_EQ(get.Line(1), "GetFileItem(buf) -> 1 <hidden, 7 bytes> <hidden, 0 bytes>");
}

}  // namespace
