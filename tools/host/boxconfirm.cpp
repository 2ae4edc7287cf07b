#include "boxconfirm.h"

#include <cstdio>
#include <string>

namespace wexhost {

BoxConfirmer::BoxConfirmer() {
    firstPass_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watcher_ = CreateThread(nullptr, 0, &BoxConfirmer::Watch, this, 0, nullptr);
    // Ready before the library is loaded: its entry routine may show a box.
    if (watcher_) WaitForSingleObject(firstPass_, INFINITE);
}

BoxConfirmer::~BoxConfirmer() {
    InterlockedExchange(&stop_, 1);
    if (watcher_) {
        WaitForSingleObject(watcher_, INFINITE);
        CloseHandle(watcher_);
    }
    CloseHandle(firstPass_);
}

DWORD WINAPI BoxConfirmer::Watch(LPVOID param) {
    auto* self = static_cast<BoxConfirmer*>(param);
    while (!self->stop_) {
        EnumWindows(&BoxConfirmer::Visit, reinterpret_cast<LPARAM>(self));
        // Forget boxes that are gone, so that a reused handle is seen again.
        auto& handled = self->handled_;
        for (auto it = handled.begin(); it != handled.end();) it = IsWindow(*it) ? std::next(it) : handled.erase(it);
        SetEvent(self->firstPass_);
        Sleep(5);
    }
    return 0;
}

BOOL CALLBACK BoxConfirmer::Visit(HWND hwnd, LPARAM self) {
    reinterpret_cast<BoxConfirmer*>(self)->Consider(hwnd);
    return TRUE;
}

void BoxConfirmer::Consider(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || handled_.count(hwnd)) return;
    char cls[16] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return;
    // Only a message box has the 0xFFFF text control; the dialog templates
    // that the host shows itself are dialogs of the same class.
    if (!GetDlgItem(hwnd, 0xFFFF)) return;

    char caption[256] = "";
    char text[2048] = "";
    GetWindowTextA(hwnd, caption, sizeof caption);
    GetDlgItemTextA(hwnd, 0xFFFF, text, sizeof text);
    // A box being destroyed can still be found for a moment, emptied.
    if (!caption[0] && !text[0]) return;
    handled_.insert(hwnd);

    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    // What the library wrote before the box goes out first, to keep the order.
    std::fflush(stdout);
    std::printf("  [box %s] %s\n", caption, shown.c_str());
    std::fflush(stdout);
    PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
}

}  // namespace wexhost
