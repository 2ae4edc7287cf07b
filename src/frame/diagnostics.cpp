#include "frame/diagnostics.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace wex {
namespace {

char g_messageBuffer[kMessageBufferSize];

// wvsprintfA never writes more than 1024 bytes, whatever it is given.
constexpr int kWsprintfLimit = 1024;

}  // namespace

bool DebugTraceOn() {
    // The C runtime's getenv: sees the environment as it stood at load time
    // and compares names without regard to letter case.
    return std::getenv("MY_DBGPRINT") != nullptr;
}

void ShowBox(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

void DebugBox(const char* text) {
    if (DebugTraceOn()) ShowBox(text, "Debug");
}

void ErrorLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void OutputLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
}

char* MessageBuffer() { return g_messageBuffer; }

void SetMessageText(const char* format, ...) {
    char formatted[kWsprintfLimit + 1];
    va_list args;
    va_start(args, format);
    wvsprintfA(formatted, format, args);
    va_end(args);
    formatted[kWsprintfLimit] = '\0';
    lstrcpynA(g_messageBuffer, formatted, static_cast<int>(kMessageBufferSize));
}

void ShowMessageBuffer(const char* caption) { ShowBox(g_messageBuffer, caption); }

}  // namespace wex
