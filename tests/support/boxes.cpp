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
    firstPass_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watcher_ = CreateThread(nullptr, 0, &BoxRecorder::Watch, this, 0, nullptr);
    // A box shown while the loader lock is held (the DLL's entry routine)
    // can only be dismissed by a watcher that has finished its own start-up.
    WaitForSingleObject(firstPass_, INFINITE);
}

BoxRecorder::~BoxRecorder() {
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(watcher_, INFINITE);
    CloseHandle(watcher_);
    CloseHandle(firstPass_);
    DeleteCriticalSection(&lock_);
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

DWORD WINAPI BoxRecorder::Watch(LPVOID param) {
    auto* self = static_cast<BoxRecorder*>(param);
    while (!self->stop_) {
        EnumWindows(&BoxRecorder::Visit, reinterpret_cast<LPARAM>(self));
        // Forget boxes that are gone, so a reused handle is seen again.
        auto& handled = self->handled_;
        for (auto it = handled.begin(); it != handled.end();) it = IsWindow(*it) ? std::next(it) : handled.erase(it);
        SetEvent(self->firstPass_);
        Sleep(5);
    }
    return 0;
}

BOOL CALLBACK BoxRecorder::Visit(HWND hwnd, LPARAM self) {
    reinterpret_cast<BoxRecorder*>(self)->Consider(hwnd);
    return TRUE;
}

void BoxRecorder::Consider(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || handled_.count(hwnd)) return;
    char cls[16] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return;

    Box box;
    char text[2048] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    box.caption = text;
    text[0] = '\0';
    GetDlgItemTextA(hwnd, 0xFFFF, text, sizeof text);
    box.text = text;
    // A box being destroyed can still be found for a moment, emptied.
    if (box.caption.empty() && box.text.empty()) return;

    handled_.insert(hwnd);
    {
        Locked hold(lock_);
        boxes_.push_back(box);
    }
    PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
}

}  // namespace wextest
