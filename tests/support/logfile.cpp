#include "logfile.h"

#include <gtest/gtest.h>

#include <regex>

#include "scratch.h"

namespace wextest {

std::vector<std::string> LogEvents(const std::wstring& path) {
    static const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
    const std::string text = FileExists(path) ? ReadBytes(path) : "";
    std::vector<std::string> events;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::smatch m;
        const std::string line = text.substr(at, end - at);
        EXPECT_TRUE(std::regex_match(line, m, stamped)) << "a line without its time stamp: " << line;
        events.push_back(m.size() > 1 ? m[1].str() : line);
    }
    EXPECT_EQ(at, text.size()) << "every event ends its line";
    return events;
}

}  // namespace wextest
