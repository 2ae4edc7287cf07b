// The exports of the unattended-install settings: silent mode, the log file,
// the wait limit and the texts the log masks. Each logs its own call like
// every other export.
#include "frame/export.h"
#include "frame/unattended.h"

using namespace wex;

extern "C" int WEXCALL SetSilentMode(int on) {
    ExportCall call("SetSilentMode");
    call.Number(on);
    return call.Return(SetSilent(on != 0) ? 1 : 0);
}

namespace {

template <class Char>
int SetLogFileCall(const char* exportName, const Char* given) {
    const CallEncodingScope encoding(kEncodingOf<Char>);
    const InText path(given);
    const auto logged = [&](int result) {
        return ExportCall(exportName, kEncodingOf<Char>).Text(path).Return(result);
    };
    // A text that could not even be converted names no log to switch to.
    if (given && !path) return logged(0);
    if (!path || !*path) {
        // The closing call is the last line of the log it closes.
        logged(1);
        CloseLog();
        return 1;
    }
    const char* text = path;
    if (OpenLog(Widen(text))) return logged(1);
    // The old log (if any) records the failed switch, then closes: no log is
    // open after a failure.
    logged(0);
    CloseLog();
    return 0;
}

}  // namespace

extern "C" int WEXCALL SetLogFile(const char* path) { return SetLogFileCall("SetLogFile", path); }

extern "C" int WEXCALL SetLogFileW(const wchar_t* path) { return SetLogFileCall("SetLogFileW", path); }

namespace {

template <class Char>
int HideInLogCall(const char* exportName, const Char* given) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText text(given);
    const char* hidden = text;
    if (!hidden || !*hidden) return call.Text(hidden).Return(0);
    // Masked before its own line is written: that line shows "***" too.
    MaskInLog(hidden);
    return call.Text(hidden).Return(1);
}

}  // namespace

extern "C" int WEXCALL HideInLog(const char* text) { return HideInLogCall("HideInLog", text); }

extern "C" int WEXCALL HideInLogW(const wchar_t* text) { return HideInLogCall("HideInLogW", text); }

extern "C" int WEXCALL SetWaitLimit(int ms) {
    ExportCall call("SetWaitLimit");
    call.Number(ms);
    return call.Return(SetWaitLimitMs(ms));
}
