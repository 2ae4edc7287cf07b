// StopServer through the real DLL: a real service (tools/testservice) under
// Wine's service manager and a real wexwin.exe process.
#include <gtest/gtest.h>

#include <string>

#include "boxes.h"
#include "capture.h"
#include "children.h"
#include "wexlib.h"

namespace {

using wextest::WindowChild;

constexpr char kService[] = "WexStopServerTest";

// The test's service, created on demand and removed (stopped first) at the end.
class ServerService {
public:
    ServerService() : manager_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
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
        service_ = CreateServiceA(manager_, kService, kService, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(), nullptr,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service_, nullptr) << GetLastError();
        if (!start) return;
        ASSERT_TRUE(StartServiceA(service_, 0, nullptr)) << GetLastError();
        for (int i = 0; i < 200 && State() != SERVICE_RUNNING; ++i) Sleep(25);
        ASSERT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
    }
    DWORD State() {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
    }

private:
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

}  // namespace
