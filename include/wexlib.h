/*
 * wexlib.h - the exports of Wexlib.dll, the install-time utility library.
 *
 * Every export uses the __stdcall convention with a plain, undecorated name
 * (ordinals in src/frame/wexlib.def). Text arguments are zero-terminated 8-bit
 * strings in the ANSI code page; paths use "\" separators. Results are 32-bit
 * integers: 1 for success and 0 for failure unless a comment says otherwise.
 *
 * No export receives the size of an output buffer. Each comment below states
 * how many bytes the export may write, which is what the caller must provide.
 * A null pointer where no meaning is given for null gets the failure result.
 *
 * Failures are reported through message boxes (no owner window, OK button),
 * lines on the C runtime's standard error or standard output, or the library's
 * process-wide message buffer. MY_DBGPRINT in the environment at load time
 * turns on "Debug" trace boxes.
 */
#ifndef WEXLIB_H
#define WEXLIB_H

#ifdef __cplusplus
extern "C" {
#endif

#ifndef WEXAPI
#define WEXAPI __declspec(dllimport)
#endif
#define WEXCALL __stdcall

/* ---- Item files: "NAME = value" settings files ------------------------- */

/* 1 when the file holds an item line for name whose text after the "="
 * contains filter (any item line when filter is null or empty); else 0. */
WEXAPI int WEXCALL FindFileItem(const char *path, const char *name, const char *filter);

/* 1 when an item line for name exists. value (may be null) receives the first
 * such line's value without leading spaces and newline: at most 399 bytes. */
WEXAPI int WEXCALL GetFileItem(const char *path, const char *name, char *value);

/* Writes each name that precedes a "=" on a line, followed by "&", and returns
 * the number of names. The caller's buffer must hold the file's size in bytes
 * plus 1: the names of a file never take more room than the file's own text.
 * The buffer holds the empty text after every failure. */
WEXAPI int WEXCALL GetAllItemNames(const char *path, char *names);

/* 1 when the passwd file opens; user receives the text of its first line
 * before the first ":" (empty text when there is none): at most 79 bytes. */
WEXAPI int WEXCALL _GetUserName(const char *passwd_path, char *user);

/* Sets every item line for name to "<text up to its =>value"; appends
 * "\nname=value\n" when there is none. 1 when the file was rewritten. */
WEXAPI int WEXCALL SetFileItem(const char *path, const char *name, const char *value);

/* Appends "\nname = value\n", creating the file when missing. */
WEXAPI int WEXCALL AddFileItem(const char *path, const char *name, const char *value);

/* Drops the item lines for name whose text from the "=" on contains filter
 * (all of them when filter is null). Returns the number of lines dropped;
 * 0 also after a failure. */
WEXAPI int WEXCALL DeleteFileItem(const char *path, const char *name, const char *filter);

/* Replaces every occurrence of search by replacement. 1 when rewritten. */
WEXAPI int WEXCALL Substitute(const char *path, const char *search, const char *replacement);

/* Appends the source file's text to the destination (created when missing). */
WEXAPI int WEXCALL AppendFile(const char *source_path, const char *destination_path);

/* ---- Processes: find running processes by pattern and end them ----------
 * A pattern is matched, without regard to the case of a to z, against a
 * process's name without extension, its name ("notepad.exe") and the title of
 * its top-level window: "*" any run, "?" one character, "[a-m]" a class.
 * Patterns longer than 79 characters match nothing. The calling process and
 * processes whose window title contains "kill" never match. Progress lines go
 * to standard output. No output buffers. */

/* process_id not 0: terminates that process (exit code 1); the pattern is
 * then only checked for null. Otherwise every matching process is asked to
 * close its window (force 0, when it has one) or terminated. 1 when the last
 * process acted on was ended or asked to close; 0 when none matched. */
WEXAPI int WEXCALL KillProcess(const char *task_pattern, int process_id, int force);

/* The id of the first matching process, 0 when none matches (-2 stands for
 * a process whose id reads 0). */
WEXAPI int WEXCALL GetPID(const char *task_pattern);

#ifdef __cplusplus
}
#endif

#endif /* WEXLIB_H */
