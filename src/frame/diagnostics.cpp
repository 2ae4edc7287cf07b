#include "frame/diagnostics.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/encoding.h"
#include "frame/logsecrets.h"
#include "frame/logtext.h"
#include "frame/unattended.h"

namespace wex {
namespace {

// Room for 159 characters of a W export's text as WTF-8 (up to three bytes
// each) and the zero; an A export's text takes at most 159 bytes of it.
char g_messageBuffer[3 * (kMessageBufferSize - 1) + 1];

// wvsprintfA never writes more than 1024 bytes, whatever it is given.
constexpr int kWsprintfLimit = 1024;

}  // namespace

bool DebugTraceOn() {
    // The C runtime's getenv: sees the environment as it stood at load time
    // and compares names without regard to letter case.
    return std::getenv("MY_DBGPRINT") != nullptr;
}

namespace {

// A box as the log records it. No allocation failure may escape: boxes are
// also shown by the entry routine.
void LogBox(const char* caption, const char* text, const char* how) noexcept {
    if (!LogOpen()) return;
    try {
        LogLine("box [" + LogEscape(LogForm(caption)) + "] " + LogEscape(LogForm(text)) + how);
    } catch (...) {
    }
}

}  // namespace

void ShowBox(const char* text, const char* caption) {
    if (IsSilent()) {
        // Straight to the stream: the log gets this as a box, not as a line.
        const std::size_t length = std::strlen(text);
        std::fprintf(stderr, "[%s] %s%s", caption, text, length > 0 && text[length - 1] == '\n' ? "" : "\n");
        LogBox(caption, text, " (suppressed)");
        return;
    }
    LogBox(caption, text, " (shown)");
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
}

void DebugBox(const char* text) {
    if (DebugTraceOn()) ShowBox(text, "Debug");
}

namespace {

void WriteLine(std::FILE* stream, const char* channel, const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) return;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    std::fwrite(text.data(), 1, text.size(), stream);
    // The log never changes what an export does, not even for want of memory.
    if (!LogOpen()) return;
    try {
        LogLine(channel + LogLineText(LogForm(text)));
    } catch (...) {
    }
}

}  // namespace

void ErrorLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(stderr, "stderr: ", format, args);
    va_end(args);
}

void OutputLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(stdout, "stdout: ", format, args);
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
    const std::string_view kept = CallPrefix(formatted, kMessageBufferSize - 1);
    std::memcpy(g_messageBuffer, kept.data(), kept.size());
    g_messageBuffer[kept.size()] = '\0';
}

void ShowMessageBuffer(const char* caption) { ShowBox(g_messageBuffer, caption); }

}  // namespace wex
