// desktophold: holds a Wine prefix's desktop process for as long as it runs.
//
// Wine starts the desktop process (explorer.exe /desktop) when the first
// window of a prefix is made, and ends it when the last program that used
// it has gone. Started by the first window of a test, it would take over
// that test's output streams, and CTest would wait for them for ever. The
// tests' prefix fixture starts this program first, with no stream of
// CTest's: its hidden window starts the desktop process, and it waits until
// the prefix is ended (wineserver -k).
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"WexDesktopHold";
    if (!RegisterClassW(&windowClass)) return 1;
    // Hidden and untitled: no test's search for windows or titles finds it.
    if (!CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                         nullptr))
        return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
