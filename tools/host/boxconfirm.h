// For unattended runs: confirms every message box of the host process with
// OK as soon as it shows, after printing it as "  [box CAPTION] text".
#pragma once

#include <windows.h>

#include <set>

namespace wexhost {

class BoxConfirmer {
public:
    BoxConfirmer();
    ~BoxConfirmer();
    BoxConfirmer(const BoxConfirmer&) = delete;
    BoxConfirmer& operator=(const BoxConfirmer&) = delete;

private:
    static DWORD WINAPI Watch(LPVOID self);
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self);
    void Consider(HWND hwnd);

    volatile LONG stop_ = 0;
    std::set<HWND> handled_;  // the watcher thread's own
    HANDLE watcher_ = nullptr;
    HANDLE firstPass_ = nullptr;
};

}  // namespace wexhost
