// The exports of the unattended-install settings: silent mode, the log file
// and the wait limit. Each logs its own call like every other export.
#include "frame/export.h"
#include "frame/unattended.h"

using namespace wex;

extern "C" int WEXCALL SetSilentMode(int on) {
    ExportCall call("SetSilentMode");
    call.Number(on);
    return call.Return(SetSilent(on != 0) ? 1 : 0);
}

extern "C" int WEXCALL SetLogFile(const char* path) {
    if (!path || !*path) {
        // The closing call is the last line of the log it closes.
        ExportCall("SetLogFile").Text(path).Return(1);
        CloseLog();
        return 1;
    }
    if (OpenLog(path)) return ExportCall("SetLogFile").Text(path).Return(1);
    // The old log (if any) records the failed switch, then closes: no log is
    // open after a failure.
    ExportCall("SetLogFile").Text(path).Return(0);
    CloseLog();
    return 0;
}

extern "C" int WEXCALL SetWaitLimit(int ms) {
    ExportCall call("SetWaitLimit");
    call.Number(ms);
    return call.Return(SetWaitLimitMs(ms));
}
