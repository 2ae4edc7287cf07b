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

// The installer log. One lock guards its handle and each line's write, so
// that a switch of logs on one thread never lets another write through a
// closed handle, and two threads' lines never tear or mix. The log named by
// WEXLIB_LOG is opened at the first export call, not while the library is
// being loaded: nothing is opened or written inside the loader lock. A log
// that cannot be opened or written says so once on standard error ("Wexlib:
// installer log PATH not written: REASON") and is closed; nothing is tried
// again until SetLogFile names a log. A log file that the library creates is
// readable and writable by its creator, the Administrators and SYSTEM only.

// True while a log is open (in the entry routine: while one is to be opened).
bool LogOpen();
// Opens path for appending (created when missing) in place of any open log.
// False when it cannot be opened, said so on standard error; an open log
// then stays open.
bool OpenLog(const std::wstring& path);
void CloseLog();
// Writes one event as one line: the local time ("YYYY-MM-DD HH:MM:SS.mmm"),
// a space, the text. LogLine takes UTF-8 whose texts were quoted or escaped
// from their LogForm (frame/logsecrets.h); LogEvent takes a text in the
// call's encoding whose texts were escaped as they came, converts it and masks
// every masked text in it. Nothing happens without a log, and a line that
// cannot be written closes the log: the log never changes a result.
void LogLine(std::string_view utf8);
void LogEvent(std::string_view text);
// Closes the log as one that cannot be written, for the reason given as a
// platform error code, said so on standard error.
void AbandonLog(unsigned long error);

// While the entry routine runs, inside the loader lock, the log is neither
// opened nor written: the lines of the attach path wait for the log to be
// opened at the first export call, those of the detach path are dropped.
class EntryRoutineScope {
public:
    explicit EntryRoutineScope(bool attach);
    ~EntryRoutineScope();
    EntryRoutineScope(const EntryRoutineScope&) = delete;
    EntryRoutineScope& operator=(const EntryRoutineScope&) = delete;
};

// The longest a service or network wait may take, in milliseconds; 0: no
// limit. Negative values count as 0.
int WaitLimitMs();
// Returns the previous limit.
int SetWaitLimitMs(int ms);

}  // namespace wex
