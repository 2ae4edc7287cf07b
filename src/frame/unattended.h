// The settings for installs that nobody watches: silent mode, the installer
// log and the wait limit. Each starts from the environment the library was
// loaded with, read the way MY_DBGPRINT is read (the C runtime's copy, names
// in any letter case): WEXLIB_SILENT present turns silent mode on,
// WEXLIB_LOG names a log file to append to (read from the C runtime's wide
// copy, so that the log's folder may have a name in any language),
// WEXLIB_WAIT_LIMIT gives a limit in decimal milliseconds. The exports
// SetSilentMode, SetLogFile and SetWaitLimit change them later.
#pragma once

#include <string>
#include <string_view>

namespace wex {

// Silent mode: no message box is shown; each goes to standard error and to
// the log instead, and the export goes on as if OK had been pressed.
bool IsSilent();
// Returns the previous mode.
bool SetSilent(bool on);

// True while a log is open.
bool LogOpen();
// Opens path for appending (created when missing) in place of any open log.
// False when it cannot be opened; an open log then stays open.
bool OpenLog(const std::wstring& path);
void CloseLog();
// Writes one event as one line: the local time ("YYYY-MM-DD HH:MM:SS.mmm"),
// a space, the text (in the call's encoding; the log holds it as UTF-8). The
// caller escapes what the text quotes. Nothing
// happens without a log, and a line that cannot be written is let go: the
// log never changes a result.
void LogEvent(std::string_view text);

// The longest a service or network wait may take, in milliseconds; 0: no
// limit. Negative values count as 0.
int WaitLimitMs();
// Returns the previous limit.
int SetWaitLimitMs(int ms);

}  // namespace wex
