// Captures what the C runtime writes to standard output and standard error
// while it is alive: the library shares the test's msvcrt.dll, so its lines
// land in the same streams.
#pragma once

#include <string>

namespace wextest {

class StdCapture {
public:
    StdCapture();
    ~StdCapture();
    StdCapture(const StdCapture&) = delete;
    StdCapture& operator=(const StdCapture&) = delete;

    // Ends the capture (once) and returns the text, read back in text mode.
    std::string Out();
    std::string Err();

private:
    void Stop();

    struct Stream {
        int fd;
        int saved = -1;
        std::string path;
        std::string text;
    };
    Stream out_{1, -1, {}, {}};
    Stream err_{2, -1, {}, {}};
    bool stopped_ = false;
};

}  // namespace wextest
