// The library's reporting channels: message boxes, standard error and standard
// output lines, and the process-wide message buffer. Declared without
// <windows.h> so that text cores can report without pulling in the platform.
#pragma once

#include <cstddef>

namespace wex {

// The message buffer holds at most 159 characters and the zero (bytes for an
// A export, UTF-16 units for a W export, counted as CallLength counts).
constexpr std::size_t kMessageBufferSize = 160;

// True when MY_DBGPRINT exists in the C runtime's environment, whatever its
// value. Looked up on every call, never cached.
bool DebugTraceOn();

// A message box with no owner window and only an OK button. Its result is
// never looked at.
void ShowBox(const char* text, const char* caption);

// "Debug" trace box, shown only while the trace switch is on.
void DebugBox(const char* text);

// A formatted line on the C runtime's standard error / standard output.
// Callers pass caller- or file-provided text only through "%s" arguments.
void ErrorLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void OutputLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The process-wide message buffer. Its text survives between calls.
char* MessageBuffer();

// Formats into the message buffer with the platform's wsprintf rules,
// shortened to 159 characters (a W export's text never in the middle of
// one). Arguments may point into the buffer itself: the text is formatted
// aside first and copied in afterwards.
void SetMessageText(const char* format, ...);

// Shows the message buffer's current text in a box with the given caption.
void ShowMessageBuffer(const char* caption);

}  // namespace wex
