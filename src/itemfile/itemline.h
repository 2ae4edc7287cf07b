// The text rules of item files ("NAME = value" lines), kept free of the
// platform so they can be built and fuzzed natively.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wex::itemfile {

// Item files are read 400 bytes at a time: at most 399 characters a read,
// stopping after a newline. A longer line arrives as several pieces, each
// handled as a line of its own.
constexpr std::size_t kLineBufferSize = 400;

// The passwd file's first line is read into 80 bytes.
constexpr std::size_t kPasswdLineSize = 80;

constexpr std::size_t kNoItem = std::string_view::npos;

// The item-line test: the leftmost occurrence of name in line, followed by
// zero or more spaces (code 32 only) and "=". Returns the offset just after
// that "=" (where the value part starts), or kNoItem.
std::size_t ValuePartOffset(std::string_view line, std::string_view name);

// Offset of the "=" itself, or kNoItem.
std::size_t EqualsOffset(std::string_view line, std::string_view name);

// The item value: the value part without its leading spaces and without the
// line's final newline, if any.
std::string_view ItemValue(std::string_view valuePart);

// The name a line contributes to the list of all names: the text before its
// first "=", after leading newlines, carriage returns and spaces, without
// trailing spaces. False when the line holds no "=".
bool NameBeforeEquals(std::string_view line, std::string_view& name);

// One piece with every non-overlapping occurrence of search replaced, scanning
// left to right and never rescanning a replacement. An empty search text has
// no occurrences: the piece comes back unchanged.
std::string ReplaceAll(std::string_view piece, std::string_view search, std::string_view replacement);

// The passwd rule: the text of the first line before its first ":", or the
// empty text when the line holds none.
std::string_view UserNameOf(std::string_view firstLine);

// True when dropping this text would take bytes of a further line with it: a
// lone CR inside it is followed by something other than CRs and the piece's
// final newline. The text mode reads only CR LF as a line end, but a file with
// lone-CR line ends ("A = 1\rPORT = 80\rB = 2\r") holds whole lines there, so
// the edits refuse such a drop rather than guess.
bool DropCrossesLoneCr(std::string_view dropped);

}  // namespace wex::itemfile
