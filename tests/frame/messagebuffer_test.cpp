// The process-wide message buffer, reached through the library's internals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/diagnostics.h"
#include "frame/encoding.h"

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

// A W export's text counts UTF-16 units, as its caller does, and is never
// cut inside a character: a pair that would not fit goes whole.
TEST(MessageBuffer, AWExportsTextIsShortenedTo159UnitsBetweenCharacters) {
    const wex::CallEncodingScope wide(wex::CallEncoding::Wtf8);
    const std::string cyrillic = "\xd0\x9c";      // one unit, two bytes
    const std::string card = "\xf0\x9f\x92\xb3";  // a surrogate pair: two units
    std::string name;
    for (int i = 0; i < 200; ++i) name += cyrillic;
    wex::SetMessageText("%s", name.c_str());
    std::string expected;
    for (int i = 0; i < 159; ++i) expected += cyrillic;
    EXPECT_EQ(std::string(wex::MessageBuffer()), expected);

    wex::SetMessageText("%s%s", std::string(158, 'n').c_str(), card.c_str());
    EXPECT_EQ(std::string(wex::MessageBuffer()), std::string(158, 'n'));
    wex::SetMessageText("%s%s", std::string(157, 'n').c_str(), card.c_str());
    EXPECT_EQ(std::string(wex::MessageBuffer()), std::string(157, 'n') + card);
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
