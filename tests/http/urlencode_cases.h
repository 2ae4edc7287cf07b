// The form encoding cases, shared by the native test of the encoder and the
// test of the URLEncode export under Wine.
#pragma once

namespace wextest {

struct EncodeCase {
    const char* text;
    const char* encoded;
};

inline constexpr EncodeCase kEncodeCases[] = {
    {"a b", "a+b"},
    {"x=1&y=2", "x%3d1%26y%3d2"},
    {"~", "%7e"},
    {"\xE9", "%e9"},
    {"", ""},
    {"AZaz09*-._", "AZaz09*-._"},
    {"+%/?#:", "%2b%25%2f%3f%23%3a"},
    {"\t\r\n\x01\x7F", "%09%0d%0a%01%7f"},
    {"\x80\xFF", "%80%ff"},
    {"  ", "++"},
    {"ACME Store & Co.", "ACME+Store+%26+Co."},
};

}  // namespace wextest
