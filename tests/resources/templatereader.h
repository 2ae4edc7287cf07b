// Walks the stored bytes of a classic dialog template and of a version
// resource, with bounds checks on every read, so that tests can compare each
// field with what they expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wextest {

// A field that holds either a 16-bit ordinal (0xFFFF, n) or a zero-terminated
// UTF-16 string (kept here as 8-bit text; a character above 0x7F becomes '?').
struct SzOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::string text;
};

struct ParsedControl {
    size_t offset = 0;  // from the start of the template
    uint32_t style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    SzOrOrdinal windowClass, text;
    uint16_t creationBytes = 0;
};

struct ParsedDialog {
    bool extended = false;  // starts with the extended form's signature
    uint32_t style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    SzOrOrdinal menu, windowClass;
    std::string caption;
    uint16_t pointSize = 0;
    std::string face;
    std::vector<ParsedControl> controls;
    size_t end = 0;  // where the last control record ends
};

// False with a reason when the bytes are not a well-formed classic template.
bool ParseDialogTemplate(const std::vector<unsigned char>& bytes, ParsedDialog& out, std::string& error);

// One node of a version resource: a key, its value and its children.
struct VersionNode {
    std::string key;
    uint16_t type = 0;  // 1 text, 0 binary
    std::vector<unsigned char> value;  // raw bytes (text: UTF-16 with its terminator)
    std::string text;  // type 1: the value as 8-bit text, without the terminator
    std::vector<VersionNode> children;
};

bool ParseVersionResource(const std::vector<unsigned char>& bytes, VersionNode& root, std::string& error);

}  // namespace wextest
