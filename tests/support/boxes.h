// Records the message boxes that the test process shows and dismisses them
// with OK, so that a test can assert the exact sequence of boxes.
#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "boxwatcher.h"

namespace wextest {

struct Box {
    std::string caption;
    std::string text;
    bool operator==(const Box& o) const { return caption == o.caption && text == o.text; }
};
std::ostream& operator<<(std::ostream& os, const Box& b);

class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    // The boxes seen so far, in the order they appeared. A box that blocks
    // an export is recorded before it is dismissed, so after the export
    // returns its boxes are all here.
    std::vector<Box> Boxes();
    void Clear();

    // Waits up to timeoutMs for at least count boxes (for boxes shown by a
    // thread other than the test's own).
    std::vector<Box> WaitFor(size_t count, DWORD timeoutMs);

private:
    void Record(const std::string& caption, const std::string& text);

    CRITICAL_SECTION lock_;
    std::vector<Box> boxes_;
    std::unique_ptr<wexbox::BoxWatcher> watcher_;  // last: it stops first
};

}  // namespace wextest
