// testservice: a real Win32 service whose behaviour its command line chooses,
// for driving the service exports through the real service manager.
//
//   testservice.exe prompt            stops at once when asked
//   testservice.exe slowstop MS       stays stop pending for MS, then stops
//   testservice.exe stopback MS       stays stop pending for MS, then reports
//                                     running again (and ignores that stop)
//   testservice.exe diestart MS       stays start pending for MS, then the
//                                     process exits without reporting stopped
//   testservice.exe slowstart MS      stays start pending for MS, then runs
//   testservice.exe stuckstop         stays stop pending for its whole life
//   testservice.exe stuckstart        stays start pending for its whole life
//
// Whatever the mode, the process ends by itself after kLifetimeMs, so that a
// test that fails half-way leaves nothing running for long.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kLifetimeMs = 120000;
constexpr DWORD kStepMs = 250;

enum class Mode { Prompt, SlowStop, StopBack, DieStart, SlowStart };

Mode g_mode = Mode::Prompt;
DWORD g_delayMs = 0;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopRequested = nullptr;
DWORD g_checkPoint = 0;

void Report(DWORD state, DWORD waitHint = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? ++g_checkPoint : 0;
    status.dwWaitHint = waitHint;
    SetServiceStatus(g_statusHandle, &status);
}

// Holds a pending state for ms, reporting progress every step.
void StayPending(DWORD state, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += kStepMs) {
        Report(state, ms - waited + kStepMs);
        Sleep(ms - waited < kStepMs ? ms - waited : kStepMs);
    }
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control == SERVICE_CONTROL_STOP) {
        SetEvent(g_stopRequested);
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

// The service's name comes as UTF-16: a service may be named in any language.
void WINAPI ServiceMain(DWORD, LPWSTR* argv) {
    g_statusHandle = RegisterServiceCtrlHandlerExW(argv && argv[0] ? argv[0] : L"", Handler, nullptr);
    if (!g_statusHandle) return;
    DWORD started = GetTickCount();

    if (g_mode == Mode::DieStart) {
        StayPending(SERVICE_START_PENDING, g_delayMs);
        ExitProcess(3);
    }
    if (g_mode == Mode::SlowStart) StayPending(SERVICE_START_PENDING, g_delayMs);
    Report(SERVICE_RUNNING);

    for (;;) {
        DWORD lived = GetTickCount() - started;
        DWORD left = lived < kLifetimeMs ? kLifetimeMs - lived : 0;
        if (WaitForSingleObject(g_stopRequested, left) != WAIT_OBJECT_0) break;  // lifetime over
        if (g_mode == Mode::SlowStop) StayPending(SERVICE_STOP_PENDING, g_delayMs);
        if (g_mode != Mode::StopBack) break;
        StayPending(SERVICE_STOP_PENDING, g_delayMs);
        Report(SERVICE_RUNNING);
    }
    Report(SERVICE_STOPPED);
}

bool ParseArguments(int argc, char** argv) {
    if (argc < 2) return false;
    struct {
        const char* name;
        Mode mode;
        bool needsDelay;
        DWORD fixedDelayMs;
    } const modes[] = {
        {"prompt", Mode::Prompt, false, 0},         {"slowstop", Mode::SlowStop, true, 0},
        {"stopback", Mode::StopBack, true, 0},      {"diestart", Mode::DieStart, true, 0},
        {"slowstart", Mode::SlowStart, true, 0},    {"stuckstop", Mode::SlowStop, false, kLifetimeMs},
        {"stuckstart", Mode::SlowStart, false, kLifetimeMs},
    };
    for (const auto& m : modes) {
        if (std::strcmp(argv[1], m.name) != 0) continue;
        if (m.needsDelay != (argc == 3) || argc > 3) return false;
        g_mode = m.mode;
        g_delayMs = m.needsDelay ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : m.fixedDelayMs;
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (!ParseArguments(argc, argv)) {
        std::fprintf(stderr,
                     "usage: testservice prompt | stuckstop | stuckstart | slowstop|stopback|diestart|slowstart MS\n");
        return 2;
    }
    g_stopRequested = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // A service in its own process: the manager gives it whatever name it
    // was installed under.
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        std::fprintf(stderr, "testservice runs only under the service manager: %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
