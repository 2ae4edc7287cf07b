#include "boxwatcher.h"

#include <utility>

namespace wexbox {
namespace {

std::string Utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], length, nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}

}  // namespace

BoxWatcher::BoxWatcher(OnBox onBox) : onBox_(std::move(onBox)) {
    firstPass_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // The toolchain's C++ runtime has no std::thread: plain Win32 it is.
    watcher_ = CreateThread(nullptr, 0, &BoxWatcher::Watch, this, 0, nullptr);
    // A box shown while the loader lock is held (the DLL's entry routine)
    // can only be dismissed by a watcher that has finished its own start-up.
    if (watcher_) WaitForSingleObject(firstPass_, INFINITE);
}

BoxWatcher::~BoxWatcher() {
    InterlockedExchange(&stop_, 1);
    if (watcher_) {
        WaitForSingleObject(watcher_, INFINITE);
        CloseHandle(watcher_);
    }
    CloseHandle(firstPass_);
}

DWORD WINAPI BoxWatcher::Watch(LPVOID param) {
    auto* self = static_cast<BoxWatcher*>(param);
    while (!self->stop_) {
        EnumWindows(&BoxWatcher::Visit, reinterpret_cast<LPARAM>(self));
        // Forget boxes that are gone, so that a reused handle is seen again.
        auto& handled = self->handled_;
        for (auto it = handled.begin(); it != handled.end();) it = IsWindow(*it) ? std::next(it) : handled.erase(it);
        SetEvent(self->firstPass_);
        Sleep(5);
    }
    return 0;
}

BOOL CALLBACK BoxWatcher::Visit(HWND hwnd, LPARAM self) {
    reinterpret_cast<BoxWatcher*>(self)->Consider(hwnd);
    return TRUE;
}

void BoxWatcher::Consider(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || handled_.count(hwnd)) return;
    char cls[16] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return;
    // Only a message box has the 0xFFFF text control; dialogs made from
    // templates are of the same class and are left alone.
    if (!GetDlgItem(hwnd, 0xFFFF)) return;

    wchar_t caption[1024] = L"";
    wchar_t text[4096] = L"";
    GetWindowTextW(hwnd, caption, 1024);
    GetDlgItemTextW(hwnd, 0xFFFF, text, 4096);
    // A box being destroyed can still be found for a moment, emptied.
    if (!caption[0] && !text[0]) return;

    handled_.insert(hwnd);
    onBox_(Utf8(caption), Utf8(text));
    PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
}

}  // namespace wexbox
