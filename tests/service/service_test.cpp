// The service exports against Wine's real service manager, driving the test
// service program (tools/testservice) in each of its modes. Every service a
// test creates has a name of its own and is removed, its process ended, when
// the test ends, whatever happened.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "boxes.h"
#include "programs.h"
#include "scratch.h"
#include "frame/diagnostics.h"
#include "frame/export.h"
#include "service/service.h"

namespace {

using wextest::Box;

const char kPrevious[] = "previous text";

std::string ServiceCommand(const std::string& arguments) {
    return "\"" + wextest::BesideTest("testservice.exe") + "\" " + arguments;
}

// The service's process id as the manager reports it, 0 when none.
DWORD ServiceProcessId(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
        return 0;
    return status.dwProcessId;
}

bool ProcessAlive(DWORD pid) {
    if (pid == 0) return false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

struct ServiceState {
    bool present = false;
    DWORD state = 0;
    DWORD pid = 0;
};

// Names are UTF-8 here, and meet the manager as UTF-16.
ServiceState StateOf(const std::string& name) {
    ServiceState result;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return result;
    if (SC_HANDLE service = OpenServiceW(manager, wextest::Wide(name).c_str(), SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        result.present = true;
        if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                 sizeof status, &needed)) {
            result.state = status.dwCurrentState;
            result.pid = status.dwProcessId;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return result;
}

// Waits until a process has ended (the manager reports a service stopped a
// moment before its process is gone).
bool WaitForExit(DWORD pid, DWORD timeoutMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return true;
    bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// Ends the service's process and deletes the service; quiet about what is
// already gone.
void Dispose(const std::string& name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE service = OpenServiceW(manager, wextest::Wide(name).c_str(), SERVICE_ALL_ACCESS)) {
        DWORD pid = ServiceProcessId(service);
        if (HANDLE process = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

DWORD Elapsed(DWORD since) { return GetTickCount() - since; }

// Lower bounds only: a sleep of 1000 ms may end a tick early on the clock.
constexpr DWORD kTickSlack = 20;

class Services : public testing::Test {
protected:
    void SetUp() override { std::strcpy(wex::MessageBuffer(), kPrevious); }
    void TearDown() override {
        for (const std::string& name : names_) Dispose(name);
    }

    // A fresh name, remembered for removal.
    std::string NewName() {
        static int counter = 0;
        std::string name = "WexTest" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        names_.push_back(name);
        return name;
    }

    // Installs the test service through the export, on demand start.
    std::string Install(const std::string& arguments) {
        std::string name = NewName();
        EXPECT_EQ(InstallService(name.c_str(), ServiceCommand(arguments).c_str(), SERVICE_DEMAND_START), 1)
            << wex::MessageBuffer();
        return name;
    }

    // Installs and starts it with the manager's own calls, returning once the
    // service reports running.
    std::string Running(const std::string& arguments) {
        std::string name = Install(arguments);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
        EXPECT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        for (int i = 0; i < 200 && StateOf(name).state != SERVICE_RUNNING; ++i) Sleep(50);
        EXPECT_EQ(StateOf(name).state, static_cast<DWORD>(SERVICE_RUNNING));
        return name;
    }

    std::string Buffer() const { return wex::MessageBuffer(); }

    wextest::BoxRecorder boxes_;
    std::vector<std::string> names_;
};

TEST_F(Services, ExistsAndRunningFollowTheManagersState) {
    std::string missing = NewName();
    EXPECT_EQ(ServiceExists(missing.c_str()), 0);
    EXPECT_EQ(ServiceRunning(missing.c_str()), 0);

    std::string stopped = Install("prompt");
    EXPECT_EQ(ServiceExists(stopped.c_str()), 1);
    EXPECT_EQ(ServiceRunning(stopped.c_str()), 0);

    std::string running = Running("prompt");
    EXPECT_EQ(ServiceExists(running.c_str()), 1);
    EXPECT_EQ(ServiceRunning(running.c_str()), 1);

    // Stop pending counts as not running.
    std::string stopping = Running("slowstop 3000");
    SERVICE_STATUS status{};
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, stopping.c_str(), SERVICE_ALL_ACCESS);
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    Sleep(300);
    EXPECT_EQ(StateOf(stopping).state, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(ServiceRunning(stopping.c_str()), 0);

    EXPECT_EQ(Buffer(), kPrevious) << "no path here writes a text";
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(Services, StartPendingIsNotRunning) {
    std::string name = Install("slowstart 3000");
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    EXPECT_TRUE(StartServiceA(service, 0, nullptr));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    EXPECT_EQ(StateOf(name).state, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(ServiceRunning(name.c_str()), 0);
}

// Counts the status queries and passes them on. After a successful query
// the last error is whatever the manager left; it is pinned here, so that
// the text that quotes it ("QueryServiceStatus failed: %d" when a service
// leaves for an unexpected state) can be checked whole.
constexpr DWORD kPinnedLastError = ERROR_SERVICE_REQUEST_TIMEOUT;  // 1053

class CountingStatus : public wex::service::ServiceManager {
public:
    SC_HANDLE Open() override { return system_.Open(); }
    BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
        ++queries;
        const BOOL ok = system_.QueryStatus(service, status);
        if (ok) SetLastError(kPinnedLastError);
        return ok;
    }
    int queries = 0;

private:
    wex::service::SystemServiceManager system_;
};

TEST_F(Services, StopServiceWaitsInOneSecondPolls) {
    struct Row {
        const char* arguments;  // nullptr: no such service
        bool start;
        int result;
        const char* text;  // the message buffer afterwards; "%s" stands for the name
        bool box;
        DWORD minimumMs;
        DWORD finalState;
        int queries;  // status queries of the stop wait, one a second
    } const rows[] = {
        // The first test only after the first sleep, even for a prompt stop.
        {"prompt", true, 1, kPrevious, false, 1000, SERVICE_STOPPED, 1},
        // Polls at 1, 2 and 3 seconds: pending, pending, stopped.
        {"slowstop 2500", true, 1, kPrevious, false, 3000, SERVICE_STOPPED, 3},
        // Pending at 1 second, running again at 2.
        {"stopback 1500", true, 0, "QueryServiceStatus failed: 1053", false, 2000, SERVICE_RUNNING, 2},
        {"prompt", false, 0, "ControlService failed: 1062", false, 0, SERVICE_STOPPED, 0},
        {nullptr, false, 0, "OpenService failed -->%s<--: 1060", true, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments ? row.arguments : "(missing)");
        std::strcpy(wex::MessageBuffer(), kPrevious);
        boxes_.Clear();
        std::string name = !row.arguments ? NewName() : row.start ? Running(row.arguments) : Install(row.arguments);
        DWORD pid = StateOf(name).pid;

        CountingStatus counting;
        DWORD since = GetTickCount();
        EXPECT_EQ(wex::service::Stop(name.c_str(), counting), row.result);
        DWORD elapsed = Elapsed(since);
        EXPECT_EQ(counting.queries, row.queries);

        std::string text = row.text;
        if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, name);
        EXPECT_EQ(Buffer(), text);
        EXPECT_GE(elapsed + kTickSlack, row.minimumMs);
        std::vector<Box> expectedBoxes;
        if (row.box) expectedBoxes.push_back({"Inside StopService", text});
        EXPECT_EQ(boxes_.Boxes(), expectedBoxes);
        if (row.arguments) {
            EXPECT_EQ(StateOf(name).state, row.finalState);
        }
        if (row.result == 1) {
            EXPECT_TRUE(WaitForExit(pid, 5000));
        }
    }
}

// The state the manager reports on Windows for a service whose process has
// died: Wine leaves such a service start pending for good.
class WindowsStatus : public wex::service::ServiceManager {
public:
    SC_HANDLE Open() override { return system_.Open(); }
    BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
        if (++queries > 30) {
            ADD_FAILURE() << "the start wait did not end";
            SetLastError(ERROR_TIMEOUT);
            return FALSE;
        }
        if (!system_.QueryStatus(service, status)) return FALSE;
        if (status->dwCurrentState == SERVICE_START_PENDING && !ProcessAlive(ServiceProcessId(service)))
            status->dwCurrentState = SERVICE_STOPPED;
        return TRUE;
    }
    int queries = 0;

private:
    wex::service::SystemServiceManager system_;
};

TEST_F(Services, BeginServiceWaitsInOneSecondPollsAndIsSilent) {
    struct Row {
        const char* arguments;  // nullptr: no such service
        bool alreadyRunning;
        int result;
        DWORD minimumMs;
        int queries;  // status queries of the start wait
    } const rows[] = {
        {"prompt", false, 1, 1000, 1},
        // Polls at 1, 2 and 3 seconds: pending, pending, running.
        {"slowstart 2500", false, 1, 3000, 3},
        // The program ends 1.5 s into its start: pending at 1 s, stopped at 2 s.
        {"diestart 1500", false, 0, 2000, 2},
        {"prompt", true, 0, 0, 0},
        {nullptr, false, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments ? row.arguments : "(missing)");
        WindowsStatus windows;
        std::string name = !row.arguments       ? NewName()
                           : row.alreadyRunning ? Running(row.arguments)
                                                : Install(row.arguments);
        DWORD since = GetTickCount();
        EXPECT_EQ(wex::service::Begin(name.c_str(), windows), row.result);
        EXPECT_GE(Elapsed(since) + kTickSlack, row.minimumMs);
        EXPECT_EQ(windows.queries, row.queries);
        if (row.result == 1) {
            EXPECT_EQ(StateOf(name).state, static_cast<DWORD>(SERVICE_RUNNING));
        }
        EXPECT_EQ(Buffer(), kPrevious);
        EXPECT_TRUE(boxes_.Boxes().empty());
    }
}

// With a wait limit, the waits for a service that stays pending end at the
// limit, not a poll later: the last sleep is cut short. Each poll is logged.
TEST_F(Services, WaitLimitEndsTheWaitsOfStuckServices) {
    const int kLimitMs = 2500;
    wextest::ScratchDir scratch;
    const std::string log = scratch.Path("install.log");
    std::string stopping = Running("stuckstop");
    std::string starting = Install("stuckstart");
    std::strcpy(wex::MessageBuffer(), kPrevious);

    ASSERT_EQ(SetWaitLimit(kLimitMs), 0);
    ASSERT_EQ(SetLogFile(log.c_str()), 1);
    DWORD since = GetTickCount();
    EXPECT_EQ(StopService(stopping.c_str()), 0);
    const DWORD stopMs = Elapsed(since);
    const std::string stopText = Buffer();
    std::strcpy(wex::MessageBuffer(), kPrevious);
    since = GetTickCount();
    EXPECT_EQ(BeginService(starting.c_str()), 0);
    const DWORD startMs = Elapsed(since);
    EXPECT_EQ(SetLogFile(nullptr), 1);
    EXPECT_EQ(SetWaitLimit(0), kLimitMs);

    for (DWORD elapsed : {stopMs, startMs}) {
        EXPECT_GE(elapsed + kTickSlack, static_cast<DWORD>(kLimitMs));
        EXPECT_LT(elapsed, static_cast<DWORD>(kLimitMs + 400)) << "a poll later would be 3000 ms";
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_match(stopText, m, std::regex("StopService: " + stopping + " still stop pending after (\\d+) ms")))
        << stopText;
    EXPECT_GE(std::stoi(m[1]) + static_cast<int>(kTickSlack), kLimitMs);
    EXPECT_LE(static_cast<DWORD>(std::stoi(m[1])), stopMs);
    EXPECT_EQ(Buffer(), kPrevious) << "BeginService writes no text";
    EXPECT_TRUE(boxes_.Boxes().empty());

    // Every line: the local time, then the event. Three polls each: 1000,
    // 2000 and (cut short) 2500 ms.
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
    std::vector<std::string> events;
    std::string text = wextest::ReadBytes(log);
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::string line = text.substr(at, end - at);
        ASSERT_TRUE(std::regex_match(line, m, stamped)) << line;
        events.push_back(m[1]);
    }
    const std::regex poll(R"re(wait (\w+)\("(\w+)"\): (stop|start) pending \(([23])\), (\d+) ms waited)re");
    std::vector<std::string> shapes;
    for (const std::string& event : events) {
        if (!std::regex_match(event, m, poll)) continue;
        shapes.push_back(m[1].str() + " " + m[2].str() + " " + m[3].str());
    }
    const std::vector<std::string> expected = {
        "StopService " + stopping + " stop",   "StopService " + stopping + " stop",
        "StopService " + stopping + " stop",   "BeginService " + starting + " start",
        "BeginService " + starting + " start", "BeginService " + starting + " start"};
    EXPECT_EQ(shapes, expected);
    ASSERT_EQ(events.size(), 10u) << text;
    EXPECT_EQ(events[0], "SetLogFile(\"" + log + "\") -> 1");
    EXPECT_EQ(events[4], "StopService(\"" + stopping + "\") -> 0");
    EXPECT_EQ(events[8], "BeginService(\"" + starting + "\") -> 0");
    EXPECT_EQ(events[9], "SetLogFile(null) -> 1") << "the closing call ends the log";
}

TEST_F(Services, RemoveServiceDeletesWithoutStopping) {
    std::string missing = NewName();
    EXPECT_EQ(RemoveService(missing.c_str()), 0);
    std::string missingText = "OpenService failed -->" + missing + "<--: 1060";
    EXPECT_EQ(Buffer(), missingText);

    std::string stopped = Install("prompt");
    EXPECT_EQ(RemoveService(stopped.c_str()), 1);
    EXPECT_EQ(ServiceExists(stopped.c_str()), 0);

    // A running service is only marked for deletion: its process goes on,
    // and a second deletion is refused.
    std::string running = Running("prompt");
    DWORD pid = StateOf(running).pid;
    EXPECT_EQ(RemoveService(running.c_str()), 1);
    EXPECT_TRUE(ProcessAlive(pid));
    EXPECT_EQ(RemoveService(running.c_str()), 0);
    std::string markedText = "DeleteService failed -->" + running + "<--: 1072";
    EXPECT_EQ(Buffer(), markedText);

    std::vector<Box> expected = {{"Inside RemoveService", missingText}, {"Inside RemoveService", markedText}};
    EXPECT_EQ(boxes_.Boxes(), expected);
}

struct ServiceConfig {
    DWORD type = 0, startType = 0, errorControl = 0;
    std::string binary, displayName, dependencies;
};

// The configuration's texts as UTF-8.
ServiceConfig ConfigOf(const std::string& name) {
    ServiceConfig result;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, wextest::Wide(name).c_str(), SERVICE_QUERY_CONFIG);
    alignas(QUERY_SERVICE_CONFIGW) BYTE bytes[8192];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(bytes);
    DWORD needed = 0;
    const auto text = [](const wchar_t* t) { return t ? wextest::Utf8(t) : std::string(); };
    if (service && QueryServiceConfigW(service, config, sizeof bytes, &needed)) {
        result.type = config->dwServiceType;
        result.startType = config->dwStartType;
        result.errorControl = config->dwErrorControl;
        result.binary = text(config->lpBinaryPathName);
        result.displayName = text(config->lpDisplayName);
        result.dependencies = text(config->lpDependencies);
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

TEST_F(Services, InstallServiceCreatesWithTheGivenParameters) {
    const DWORD startTypes[] = {SERVICE_AUTO_START, SERVICE_DEMAND_START, SERVICE_DISABLED};
    for (DWORD startType : startTypes) {
        SCOPED_TRACE(startType);
        std::string name = NewName();
        std::string command = ServiceCommand("slowstop 100");
        EXPECT_EQ(InstallService(name.c_str(), command.c_str(), static_cast<int>(startType)), 1);
        ServiceConfig config = ConfigOf(name);
        EXPECT_EQ(config.type, 0x110u);
        EXPECT_EQ(config.startType, startType);
        EXPECT_EQ(config.errorControl, 1u);
        EXPECT_EQ(config.binary, command);
        EXPECT_EQ(config.displayName, name);
        EXPECT_EQ(config.dependencies, "");
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(Services, InstallServiceStopsRemovesThenCreatesARunningService) {
    std::string name = Running("prompt");
    DWORD oldPid = StateOf(name).pid;
    std::string command = ServiceCommand("slowstart 100");
    // The creation can only succeed once the old process was stopped and the
    // old service removed.
    EXPECT_EQ(InstallService(name.c_str(), command.c_str(), SERVICE_DISABLED), 1) << Buffer();
    EXPECT_FALSE(ProcessAlive(oldPid));
    EXPECT_EQ(ConfigOf(name).binary, command);
    EXPECT_EQ(ConfigOf(name).startType, static_cast<DWORD>(SERVICE_DISABLED));
    EXPECT_EQ(StateOf(name).state, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(Services, InstallServiceReportsTheNameItWasGivenAfterNestedTexts) {
    // The service refuses to stop, so the removal only marks it and the
    // creation fails. The name comes in as the message buffer, which the
    // nested stop overwrites before the creation's text is formatted.
    std::string name = Running("stopback 1500");
    std::strcpy(wex::MessageBuffer(), name.c_str());
    EXPECT_EQ(InstallService(wex::MessageBuffer(), ServiceCommand("prompt").c_str(), SERVICE_DEMAND_START), 0);
    std::string text = "CreateService -->" + name + "<-- failed: 1072";
    EXPECT_EQ(Buffer(), text);
    std::vector<Box> expected = {{"Inside InstallService", text}};
    EXPECT_EQ(boxes_.Boxes(), expected);
}

TEST_F(Services, UnInstallServiceReturnsOneWhateverTheNestedCallsDid) {
    std::string missing = NewName();
    EXPECT_EQ(UnInstallService(missing.c_str()), 1);
    EXPECT_EQ(Buffer(), kPrevious);

    std::string running = Running("prompt");
    DWORD pid = StateOf(running).pid;
    EXPECT_EQ(UnInstallService(running.c_str()), 1);
    EXPECT_TRUE(WaitForExit(pid, 5000));
    EXPECT_EQ(ServiceExists(running.c_str()), 0);
    EXPECT_TRUE(boxes_.Boxes().empty());

    // Already marked for deletion and refusing to stop: the stop and the
    // removal both fail, the removal's box still appears, the result is 1.
    std::string stubborn = Running("stopback 1500");
    EXPECT_EQ(RemoveService(stubborn.c_str()), 1);
    EXPECT_EQ(UnInstallService(stubborn.c_str()), 1);
    std::string text = "DeleteService failed -->" + stubborn + "<--: 1072";
    std::vector<Box> expected = {{"Inside RemoveService", text}};
    EXPECT_EQ(boxes_.Boxes(), expected);
}

// A status query that fails leaves the record unset; under Wine the query of
// an open service does not fail, so the failure comes through the seam.
class FailingStatus : public wex::service::ServiceManager {
public:
    SC_HANDLE Open() override { return system_.Open(); }
    BOOL QueryStatus(SC_HANDLE, SERVICE_STATUS* status) override {
        status->dwCurrentState = SERVICE_RUNNING;  // what an unset record might hold
        ++queries;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int queries = 0;

private:
    wex::service::SystemServiceManager system_;
};

TEST_F(Services, FailedStatusQueryEndsWithZero) {
    std::string running = Running("prompt");
    std::string stopped = Install("prompt");
    FailingStatus failing;

    EXPECT_EQ(wex::service::Running(running.c_str(), failing), 0);
    EXPECT_EQ(Buffer(), kPrevious);

    EXPECT_EQ(wex::service::Begin(stopped.c_str(), failing), 0);
    EXPECT_EQ(Buffer(), kPrevious);
    EXPECT_EQ(failing.queries, 2) << "one for ServiceRunning, one poll of the start wait";

    EXPECT_EQ(wex::service::Stop(running.c_str(), failing), 0);
    EXPECT_EQ(Buffer(), "QueryServiceStatus failed: 6");
    EXPECT_EQ(failing.queries, 3);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// On Windows a user without administrator rights cannot open the manager
// with all access; under Wine every process runs elevated and it always
// opens, so the refusal comes through the seam.
class NoManager : public wex::service::ServiceManager {
public:
    SC_HANDLE Open() override {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    BOOL QueryStatus(SC_HANDLE, SERVICE_STATUS*) override {
        ADD_FAILURE() << "a status query without a manager";
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
};

TEST_F(Services, ManagerThatCannotBeOpened) {
    struct Row {
        const char* exportName;
        int (*call)(const char* name, wex::service::ServiceManager& manager);
        const char* caption;  // nullptr: no box
        bool writesText;
    } const rows[] = {
        {"ServiceExists", wex::service::Exists, nullptr, true},
        {"ServiceRunning", wex::service::Running, "Inside ServiceRunning", true},
        {"StopService", wex::service::Stop, nullptr, true},
        {"RemoveService", wex::service::Remove, "Inside RemoveService", true},
        {"InstallService",
         [](const char* n, wex::service::ServiceManager& m) { return wex::service::Install(n, "C:\\x.exe", 3, m); },
         "Inside InstallService", true},
        {"BeginService", wex::service::Begin, nullptr, false},
        {"UnInstallService", wex::service::Uninstall, "Inside UnInstallService", true},
    };
    NoManager noManager;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.exportName);
        std::strcpy(wex::MessageBuffer(), "Svc%d");
        boxes_.Clear();
        EXPECT_EQ(row.call(wex::MessageBuffer(), noManager), 0);
        std::string text = row.writesText ? "OpenSCManager Failed:-->5 Svc%d<--" : "Svc%d";
        EXPECT_EQ(Buffer(), text);
        std::vector<Box> expected;
        if (row.caption) expected.push_back({row.caption, text});
        EXPECT_EQ(boxes_.Boxes(), expected);
    }
}

// ---- The wide twins ----------------------------------------------------------

using wextest::Wide;

// Who calls: the A export, or its twin. The twin also gets names that the
// ANSI code page (1252 here) cannot hold: Cyrillic, Japanese and a
// character beyond the BMP (a surrogate pair).
struct Caller {
    bool wide;
    const char* name;  // UTF-8; the service's name ends in it
};
const Caller kCallers[] = {
    {false, "Plain"}, {true, "Plain"}, {true, "Магазин"}, {true, "店舗"}, {true, "💳"}, {true, "Магазин_店舗_💳"},
};

// One export and its twin: the same call with the name as the caller's text.
struct Twin {
    int(WEXCALL* a)(const char*);
    int(WEXCALL* w)(const wchar_t*);
    int operator()(const Caller& c, const std::string& name) const {
        return c.wide ? w(Wide(name).c_str()) : a(name.c_str());
    }
};
const Twin kExists{ServiceExists, ServiceExistsW}, kRunning{ServiceRunning, ServiceRunningW},
    kStop{StopService, StopServiceW}, kRemove{RemoveService, RemoveServiceW}, kBegin{BeginService, BeginServiceW},
    kUninstall{UnInstallService, UnInstallServiceW};

int InstallBy(const Caller& c, const std::string& name, const std::string& command, int startType) {
    return c.wide ? InstallServiceW(Wide(name).c_str(), Wide(command).c_str(), startType)
                  : InstallService(name.c_str(), command.c_str(), startType);
}

// A copy of the test service in a folder whose name the ANSI code page
// cannot hold.
class ProgramFolder {
public:
    ProgramFolder() {
        folder_ = scratch_.Root() + "\\Магазин 店舗 💳";
        program_ = folder_ + "\\testservice.exe";
        EXPECT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr)) << GetLastError();
        EXPECT_TRUE(CopyFileW(Wide(wextest::BesideTest("testservice.exe")).c_str(), Wide(program_).c_str(), TRUE))
            << GetLastError();
    }
    // The service command line, UTF-8.
    std::string Command(const std::string& arguments) const { return "\"" + program_ + "\" " + arguments; }

private:
    wextest::ScratchDir scratch_;
    std::string folder_, program_;
};

TEST_F(Services, TwinsControlServicesNamedInAnyLanguage) {
    const ProgramFolder folder;
    for (const Caller& c : kCallers) {
        SCOPED_TRACE(std::string(c.wide ? "W " : "A ") + c.name);
        const std::string name = NewName() + "_" + c.name;
        names_.push_back(name);
        // The A export is given a program path it can hold.
        const std::string command = c.wide ? folder.Command("prompt") : ServiceCommand("prompt");

        EXPECT_EQ(kExists(c, name), 0);
        EXPECT_EQ(InstallBy(c, name, command, SERVICE_DEMAND_START), 1) << Buffer();
        const ServiceConfig config = ConfigOf(name);
        EXPECT_EQ(config.binary, command);
        EXPECT_EQ(config.displayName, name);
        EXPECT_EQ(config.type, 0x110u);
        EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_DEMAND_START));

        EXPECT_EQ(kExists(c, name), 1);
        EXPECT_EQ(kRunning(c, name), 0);
        EXPECT_EQ(kBegin(c, name), 1);
        EXPECT_EQ(kRunning(c, name), 1);
        const DWORD pid = StateOf(name).pid;
        EXPECT_EQ(kStop(c, name), 1);
        EXPECT_EQ(kRunning(c, name), 0);
        EXPECT_TRUE(WaitForExit(pid, 5000));
        // Installed again over the old one, started, then uninstalled while
        // it runs.
        EXPECT_EQ(InstallBy(c, name, command, SERVICE_DEMAND_START), 1) << Buffer();
        EXPECT_EQ(kBegin(c, name), 1);
        const DWORD second = StateOf(name).pid;
        EXPECT_EQ(kUninstall(c, name), 1);
        EXPECT_TRUE(WaitForExit(second, 5000));
        EXPECT_EQ(kExists(c, name), 0);
        EXPECT_EQ(kRemove(c, name), 0);
        const std::string missing = "OpenService failed -->" + name + "<--: 1060";
        EXPECT_EQ(Buffer(), missing);
        std::strcpy(wex::MessageBuffer(), kPrevious);
        EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{"Inside RemoveService", missing}}));
        boxes_.Clear();
    }
}

// The twins' texts quote the name as it was given, in the message buffer
// and in the boxes alike; the buffer keeps 159 characters of it, counted as
// the caller counts them (UTF-16 units for a twin, a pair never cut).
TEST_F(Services, TwinsQuoteTheNameInTheirTexts) {
    std::string longCyrillic, longPairs;
    for (int i = 0; i < 150; ++i) longCyrillic += "Ж";
    for (int i = 0; i < 75; ++i) longPairs += "💳";
    struct Row {
        bool wide;
        std::string name;
        int (*call)(const Caller&, const std::string&);
        std::string text;  // the message buffer afterwards
        const char* caption;
    } const rows[] = {
        {true, "Нет_такой_службы_店舗_💳", [](const Caller& c, const std::string& n) { return kStop(c, n); },
         "OpenService failed -->Нет_такой_службы_店舗_💳<--: 1060", "Inside StopService"},
        {true, "Нет_такой_службы_店舗_💳", [](const Caller& c, const std::string& n) { return kRemove(c, n); },
         "OpenService failed -->Нет_такой_службы_店舗_💳<--: 1060", "Inside RemoveService"},
        // A name the manager refuses: a backslash is no part of a name.
        {true, "Магазин\\店舗",
         [](const Caller& c, const std::string& n) { return InstallBy(c, n, "C:\\x.exe", SERVICE_DEMAND_START); },
         "CreateService -->Магазин\\店舗<-- failed: 123", "Inside InstallService"},
        {false, "Shop\\Store",
         [](const Caller& c, const std::string& n) { return InstallBy(c, n, "C:\\x.exe", SERVICE_DEMAND_START); },
         "CreateService -->Shop\\Store<-- failed: 123", "Inside InstallService"},
        // 22 characters of text, then 137 of the name's 150.
        {true, longCyrillic, [](const Caller& c, const std::string& n) { return kStop(c, n); },
         "OpenService failed -->" + longCyrillic.substr(0, 137 * 2), "Inside StopService"},
        {false, std::string(150, 'S'), [](const Caller& c, const std::string& n) { return kStop(c, n); },
         "OpenService failed -->" + std::string(137, 'S'), "Inside StopService"},
        // 137 units hold 68 pairs: the 69th would be cut in two.
        {true, longPairs, [](const Caller& c, const std::string& n) { return kStop(c, n); },
         "OpenService failed -->" + longPairs.substr(0, 68 * 4), "Inside StopService"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.wide ? "W " : "A ") + row.name.substr(0, 40));
        boxes_.Clear();
        std::strcpy(wex::MessageBuffer(), kPrevious);
        EXPECT_EQ(row.call(Caller{row.wide, ""}, row.name), 0);
        EXPECT_EQ(Buffer(), row.text);
        EXPECT_EQ(boxes_.Boxes(), (std::vector<Box>{{row.caption, row.text}}));
    }
}

}  // namespace
