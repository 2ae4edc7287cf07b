#include "boxes.h"

namespace wextest {

std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "{caption \"" << b.caption << "\", text \"" << b.text << "\"}";
}

namespace {

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Locked() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION& cs_;
};

}  // namespace

BoxRecorder::BoxRecorder() {
    InitializeCriticalSection(&lock_);
    watcher_ = std::make_unique<wexbox::BoxWatcher>(
        [this](const std::string& caption, const std::string& text) { Record(caption, text); });
}

BoxRecorder::~BoxRecorder() {
    watcher_.reset();
    DeleteCriticalSection(&lock_);
}

void BoxRecorder::Record(const std::string& caption, const std::string& text) {
    Locked hold(lock_);
    boxes_.push_back({caption, text});
}

std::vector<Box> BoxRecorder::Boxes() {
    Locked hold(lock_);
    return boxes_;
}

void BoxRecorder::Clear() {
    Locked hold(lock_);
    boxes_.clear();
}

std::vector<Box> BoxRecorder::WaitFor(size_t count, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<Box> now = Boxes();
        if (now.size() >= count || GetTickCount() - start > timeoutMs) return now;
        Sleep(10);
    }
}

}  // namespace wextest
