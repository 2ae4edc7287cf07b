// Reading back an installer log that a test made.
#pragma once

#include <string>
#include <vector>

namespace wextest {

// The log's events in order, each line without its time stamp, which must be
// there ("YYYY-MM-DD HH:MM:SS.mmm "), and without its CR LF, which every
// line must end in. None for a missing file.
std::vector<std::string> LogEvents(const std::wstring& path);

}  // namespace wextest
