// Watches for the message boxes of this process and confirms each with OK as
// soon as it shows, after handing its caption and text to a callback. Used by
// the test bed (to record boxes) and by the host (for unattended runs).
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>

namespace wexbox {

class BoxWatcher {
public:
    // Called on the watcher thread, before the box is confirmed, with the
    // caption and text as UTF-8 (read as the box shows them, in UTF-16).
    using OnBox = std::function<void(const std::string& caption, const std::string& text)>;

    explicit BoxWatcher(OnBox onBox);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

private:
    static DWORD WINAPI Watch(LPVOID self);
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self);
    void Consider(HWND hwnd);

    OnBox onBox_;
    volatile LONG stop_ = 0;
    std::set<HWND> handled_;  // the watcher thread's own
    HANDLE watcher_ = nullptr;
    HANDLE firstPass_ = nullptr;
};

}  // namespace wexbox
