// The process-wide message buffer, reached through the library's internals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/diagnostics.h"

namespace {

TEST(MessageBuffer, KeepsTheLastTextUntilTheNextWrite) {
    wex::SetMessageText("OpenService failed -->%s<--: %d", "first", 1060);
    wex::SetMessageText("ControlService failed: %d", 1062);
    EXPECT_STREQ(wex::MessageBuffer(), "ControlService failed: 1062");
}

TEST(MessageBuffer, LongTextIsShortenedTo159Characters) {
    std::string name(400, 'n');
    wex::SetMessageText("name %s", name.c_str());
    std::string expected = "name " + std::string(154, 'n');
    EXPECT_EQ(std::string(wex::MessageBuffer()), expected);
    EXPECT_EQ(std::strlen(wex::MessageBuffer()), wex::kMessageBufferSize - 1);
}

TEST(MessageBuffer, ArgumentMayBeTheBufferItself) {
    std::strcpy(wex::MessageBuffer(), "MyService");
    wex::SetMessageText("OpenService failed -->%s<--: %d", wex::MessageBuffer(), 1060);
    EXPECT_STREQ(wex::MessageBuffer(), "OpenService failed -->MyService<--: 1060");
}

TEST(MessageBuffer, PercentInArgumentsIsLiteral) {
    wex::SetMessageText("%s", "100%d%s");
    EXPECT_STREQ(wex::MessageBuffer(), "100%d%s");
}

}  // namespace
