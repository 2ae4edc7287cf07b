// StopServer through the real DLL: a real service (tools/testservice) under
// Wine's service manager and a real wexwin.exe process.
#include <gtest/gtest.h>

#include <string>

#include "boxes.h"
#include "capture.h"
#include "children.h"
#include "programs.h"
#include "scratch.h"
#include "wexlib.h"

namespace {

using wextest::WindowChild;

constexpr char kService[] = "WexStopServerTest";

// The test's service, created on demand and removed (stopped first) at the
// end; its name in UTF-8, any language.
class ServerService {
public:
    explicit ServerService(const std::string& name = kService)
        : name_(wextest::Wide(name)), manager_(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
    ~ServerService() {
        if (service_) {
            SERVICE_STATUS status;
            ControlService(service_, SERVICE_CONTROL_STOP, &status);
            for (int i = 0; i < 100 && State() != SERVICE_STOPPED; ++i) Sleep(50);
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_) CloseServiceHandle(manager_);
    }
    ServerService(const ServerService&) = delete;
    ServerService& operator=(const ServerService&) = delete;

    void Create(bool start) {
        const std::string command = "\"" + wextest::BesideTest("testservice.exe") + "\" prompt";
        service_ = CreateServiceW(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                  wextest::Wide(command).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service_, nullptr) << GetLastError();
        if (!start) return;
        ASSERT_TRUE(StartServiceW(service_, 0, nullptr)) << GetLastError();
        for (int i = 0; i < 200 && State() != SERVICE_RUNNING; ++i) Sleep(25);
        ASSERT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
    }
    DWORD State() {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
    }

private:
    std::wstring name_;
    SC_HANDLE manager_;
    SC_HANDLE service_ = nullptr;
};

std::string KilledLine(DWORD id) {
    return "process #" + std::to_string(static_cast<int>(id)) + " [wexwin.exe] killed\n";
}

TEST(StopServerExport, RunningServiceIsStoppedAndTheProcessLeftAlone) {
    wextest::BoxRecorder boxes;
    ServerService service;
    ASSERT_NO_FATAL_FAILURE(service.Create(true));
    WindowChild server({"Server"});
    wextest::StdCapture capture;
    EXPECT_EQ(StopServer("wexwin", kService), 1);
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(server.Running());
    EXPECT_EQ(capture.Out(), "");
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(StopServerExport, WithoutARunningServiceTheProcessIsTerminated) {
    for (bool serviceExists : {false, true}) {
        SCOPED_TRACE(serviceExists ? "service stopped" : "service absent");
        wextest::BoxRecorder boxes;
        ServerService service;
        if (serviceExists) {
            ASSERT_NO_FATAL_FAILURE(service.Create(false));
        }
        WindowChild server({"Server"});
        wextest::StdCapture capture;
        EXPECT_EQ(StopServer("WEXWIN", kService), 1);
        EXPECT_EQ(server.ExitCode(5000), 1);  // terminated, not asked to close
        EXPECT_EQ(capture.Out(), KilledLine(server.Id()));
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

TEST(StopServerExport, NeitherServiceNorProcess) {
    wextest::BoxRecorder boxes;
    wextest::StdCapture capture;
    EXPECT_EQ(StopServer("wexwin", kService), 0);
    EXPECT_EQ(capture.Out(), "");
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(StopServerExport, OverlongServiceNameIsRefused) {
    WindowChild server({"Server"});
    const std::string name(160, 'S');
    EXPECT_EQ(StopServer("wexwin", name.c_str()), 0);
    EXPECT_EQ(StopServer(nullptr, kService), 0);
    EXPECT_EQ(StopServer("wexwin", nullptr), 0);
    EXPECT_TRUE(server.Running());
}

// ---- The wide twin -----------------------------------------------------------

using wextest::Wide;

const char kUnicodeService[] = "WexStopServerTest_Магазин_店舗_💳";

TEST(StopServerTwin, RunningServiceNamedInAnyLanguageIsStopped) {
    wextest::BoxRecorder boxes;
    ServerService service(kUnicodeService);
    ASSERT_NO_FATAL_FAILURE(service.Create(true));
    WindowChild server({"Server"});
    wextest::StdCapture capture;
    EXPECT_EQ(StopServerW(L"wexwin", Wide(kUnicodeService).c_str()), 1);
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(server.Running());
    EXPECT_EQ(capture.Out(), "");
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Without the service, the process named in any language is terminated; the
// service name may have 159 UTF-16 units, not one more.
TEST(StopServerTwin, ProcessNamedInAnyLanguageAndTheNamesLimit) {
    wextest::ScratchDir scratch;
    const std::string program = scratch.Path("магазин店💳.exe");
    ASSERT_TRUE(CopyFileW(Wide(wextest::BesideTest("wexwin.exe")).c_str(), Wide(program).c_str(), TRUE));
    std::string longest, tooLong;
    for (int i = 0; i < 159; ++i) longest += "Ж";
    tooLong = longest + "Ж";
    struct Row {
        std::string service;
        int result;
    } const rows[] = {{kUnicodeService, 1}, {longest, 1}, {tooLong, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.service.substr(0, 40));
        wextest::BoxRecorder boxes;
        WindowChild server(Wide(program), {"Кассовое окно"});
        wextest::StdCapture capture;
        EXPECT_EQ(StopServerW(Wide("МАГАЗИН店💳").c_str(), Wide(row.service).c_str()), row.result);
        if (row.result == 1) {
            EXPECT_EQ(server.ExitCode(5000), 1);
            const std::string id = std::to_string(static_cast<int>(server.Id()));
            EXPECT_EQ(capture.Out(), "process #" + id + " [магазин店💳.exe] killed\n");
        } else {
            EXPECT_TRUE(server.Running()) << "refused: nothing touched";
            EXPECT_EQ(capture.Out(), "");
        }
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

}  // namespace
