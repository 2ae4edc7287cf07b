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

/* ---- Dialog templates and version block (resources, no exports) -------- */

/* The module holds nine classic dialog templates, type RT_DIALOG, language
 * 1033, named ISU_ASKOPTION, ISU_FINISH, ISU_MULEDIT, ISU_PASSWORD,
 * ISU_SELECT, ISU_SELECTMUL, ISU_SHOWEDIT4, ISU_SHOWFOLDER and ISU_SHOWINFO,
 * and version block 1. The host shows a template with its own dialog
 * procedure; control 1200's text is a picture specifier and "%p" in a text
 * stands for the product name, both for the host to fill in. Control ids:
 * 1 next (or OK), 2 hidden, 9 cancel, 12 back, 100/101 select/clear all,
 * 301-304 edit fields, 401 list, 501-506 check boxes, 710-712 texts,
 * 719-722 field labels, 1200 picture, 1300 separator line. */

#ifdef __cplusplus
}
#endif

#endif /* WEXLIB_H */
