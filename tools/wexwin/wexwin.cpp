// wexwin: a small GUI program for the process tests and the demo. It opens
// one top-level window per command-line argument, titled with that argument
// in any language (an empty argument gives an untitled window), and exits
// with code 0 as soon
// as any of its windows is asked to close. With no arguments it opens no
// window and runs until it is terminated.
//
//   wexwin [TITLE ...]
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The arguments, without the program name.
std::vector<std::wstring> Titles() {
    std::vector<std::wstring> titles;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return titles;
    for (int i = 1; i < count; ++i) titles.push_back(args[i]);
    LocalFree(args);
    return titles;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"WexWinWindow";
    if (!RegisterClassW(&windowClass)) return 2;

    int offset = 0;
    for (const std::wstring& title : Titles()) {
        HWND window = CreateWindowExW(0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                                      40 + offset, 40 + offset, 320, 160, nullptr, nullptr, instance,
                                      nullptr);
        if (!window) return 3;
        ShowWindow(window, SW_SHOWNORMAL);
        offset += 30;
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
