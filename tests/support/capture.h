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

// Standard error while it lives. What the test itself writes to standard
// output meanwhile (a failed expectation) is passed on once the capture
// ends, so that a failure inside a capture still shows.
class ErrCapture {
public:
    ErrCapture() = default;
    ErrCapture(const ErrCapture&) = delete;
    ErrCapture& operator=(const ErrCapture&) = delete;
    ~ErrCapture() { Err(); }
    // Ends the capture (once) and returns standard error's text.
    std::string Err();

private:
    StdCapture capture_;
    std::string err_;
    bool ended_ = false;
};

}  // namespace wextest
