/*
 * wexlib.h - the exports of Wexlib.dll, the install-time utility library.
 *
 * Every export uses the __stdcall convention with a plain, undecorated name
 * (ordinals in src/frame/wexlib.def). Text arguments are zero-terminated 8-bit
 * strings in the ANSI code page; paths use "\" separators. Results are 32-bit
 * integers: 1 for success and 0 for failure unless a comment says otherwise.
 *
 * Each export that takes or returns text has a wide twin, declared below it:
 * its name with "W" appended, at its ordinal plus 100, with UTF-16 texts
 * (const wchar_t * inputs, wchar_t * output buffers) in the same order, and
 * the same results, channels and texts. A twin's output buffer holds as many
 * wchar_t as its export's buffer holds bytes, and every limit counted in
 * bytes by an export counts UTF-16 units in its twin. The A exports' standard
 * error and output lines are in the ANSI code page, the twins' in UTF-8; the
 * log is UTF-8.
 *
 * No export receives the size of an output buffer. Each comment below states
 * how many bytes the export may write, which is what the caller must provide.
 * A null pointer where no meaning is given for null gets the failure result.
 *
 * Failures are reported through message boxes (no owner window, OK button),
 * lines on the C runtime's standard error or standard output, or the library's
 * process-wide message buffer. MY_DBGPRINT in the environment at load time
 * turns on "Debug" trace boxes.
 *
 * Unattended installs: in silent mode no box is shown (each goes to standard
 * error as "[CAPTION] TEXT" and to the log instead, as if OK was pressed); a
 * log file records every export call, box, output line and service poll; a
 * wait limit bounds the service and network waits. WEXLIB_SILENT (present),
 * WEXLIB_LOG (a path) and WEXLIB_WAIT_LIMIT (milliseconds) in the environment
 * at load time set them; the exports below change them. The log never holds
 * the value of an item whose name holds PASSWORD, PASSWD, PWD, SECRET, TOKEN,
 * PRIVATE, CREDENTIAL or KEY (any letter case) or matches a pattern of
 * WEXLIB_LOG_HIDE (";"-separated, "*" and "?" wildcards): its call line
 * shows "<hidden, N bytes>", and the value, MakeKeys' seed, the generated key
 * blocks and every text given to HideInLog are masked as "***" wherever they
 * turn up later.
 */
#ifndef WEXLIB_H
#define WEXLIB_H

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef WEXAPI
#define WEXAPI __declspec(dllimport)
#endif
#define WEXCALL __stdcall

/* ---- Item files: "NAME = value" settings files ------------------------- */

/* Item files, key files, the passwd file and reginfo.txt are byte files. One
 * that starts with the UTF-8 byte-order mark holds UTF-8 text: the mark stays
 * first and is no part of the first line, for the A exports too. Every other
 * file, a new one included, holds the ANSI code page. The A exports compare
 * and write their bytes as given. A twin converts its texts to the file's
 * encoding, and what it reads back to UTF-16; a text that the encoding cannot
 * hold exactly (no best fit, no "?", no lone surrogate) is found nowhere by a
 * query or deletion, and an edit that would write it fails with a standard
 * error line, leaving the file unchanged. */

/* 1 when the file holds an item line for name whose text after the "="
 * contains filter (any item line when filter is null or empty); else 0. */
WEXAPI int WEXCALL FindFileItem(const char *path, const char *name, const char *filter);
WEXAPI int WEXCALL FindFileItemW(const wchar_t *path, const wchar_t *name, const wchar_t *filter);

/* 1 when an item line for name exists. value (may be null) receives the first
 * such line's value without leading spaces and newline: at most 399 bytes. */
WEXAPI int WEXCALL GetFileItem(const char *path, const char *name, char *value);
WEXAPI int WEXCALL GetFileItemW(const wchar_t *path, const wchar_t *name, wchar_t *value);

/* Writes each name that precedes a "=" on a line, followed by "&", and returns
 * the number of names. The caller's buffer must hold the file's size in bytes
 * plus 1: the names of a file never take more room than the file's own text.
 * The buffer holds the empty text after every failure. */
WEXAPI int WEXCALL GetAllItemNames(const char *path, char *names);
WEXAPI int WEXCALL GetAllItemNamesW(const wchar_t *path, wchar_t *names);

/* 1 when the passwd file opens; user receives the text of its first line
 * before the first ":" (empty text when there is none): at most 79 bytes. */
WEXAPI int WEXCALL _GetUserName(const char *passwd_path, char *user);
WEXAPI int WEXCALL _GetUserNameW(const wchar_t *passwd_path, wchar_t *user);

/* Sets every item line for name to "<text up to its =>value"; appends
 * "\nname=value\n" when there is none. 1 when the file was rewritten. */
WEXAPI int WEXCALL SetFileItem(const char *path, const char *name, const char *value);
WEXAPI int WEXCALL SetFileItemW(const wchar_t *path, const wchar_t *name, const wchar_t *value);

/* Appends "\nname = value\n", creating the file when missing. */
WEXAPI int WEXCALL AddFileItem(const char *path, const char *name, const char *value);
WEXAPI int WEXCALL AddFileItemW(const wchar_t *path, const wchar_t *name, const wchar_t *value);

/* Drops the item lines for name whose text from the "=" on contains filter
 * (all of them when filter is null). Returns the number of lines dropped;
 * 0 also after a failure. */
WEXAPI int WEXCALL DeleteFileItem(const char *path, const char *name, const char *filter);
WEXAPI int WEXCALL DeleteFileItemW(const wchar_t *path, const wchar_t *name, const wchar_t *filter);

/* Replaces every occurrence of search by replacement. 1 when rewritten. */
WEXAPI int WEXCALL Substitute(const char *path, const char *search, const char *replacement);
WEXAPI int WEXCALL SubstituteW(const wchar_t *path, const wchar_t *search, const wchar_t *replacement);

/* Appends the source file's text to the destination (created when missing). */
WEXAPI int WEXCALL AppendFile(const char *source_path, const char *destination_path);
WEXAPI int WEXCALL AppendFileW(const wchar_t *source_path, const wchar_t *destination_path);

/* ---- HTTP notification: a form post over a plain socket or TLS --------- */

/* Posts body (already form-encoded, sent unchanged) as an HTTP/1.0 POST to
 * path (at most 484 characters) on host (a dotted IPv4 address when it ends in
 * a digit, else a name to look up) at the decimal port text (its low 16 bits).
 * Every reply line is shown in a "SendMsg" box and written to standard output.
 * 1 when the first reply line holds " 200 "; else 0. Writes no caller buffer.
 * SendMsgW sends its body as UTF-8, its path with the UTF-8 of each non-ASCII
 * character as "%XX" (484 UTF-16 units at most, counted before), a host name
 * that is not ASCII in its IDNA form, and shows each reply line decoded from
 * UTF-8 (from the ANSI code page when it is not UTF-8). */
WEXAPI int WEXCALL SendMsg(const char *host, const char *port, const char *path, const char *body);
WEXAPI int WEXCALL SendMsgW(const wchar_t *host, const wchar_t *port, const wchar_t *path, const wchar_t *body);

/* SendMsg inside a TLS session (TLS 1.2 or newer, the host's name sent):
 * the same request bytes, reply handling and texts, with "SendMsgSecure" as
 * the box caption and line prefix. The server's certificate chain must end in
 * a root of the machine's root store, be valid now and be for host; otherwise,
 * and when no secure session comes about, 0 with one standard error line and
 * no box, before any byte of the request is sent. SendMsgSecureW: as SendMsgW,
 * the IDNA form of the host also being the name the certificate must be for. */
WEXAPI int WEXCALL SendMsgSecure(const char *host, const char *port, const char *path, const char *body);
WEXAPI int WEXCALL SendMsgSecureW(const wchar_t *host, const wchar_t *port, const wchar_t *path, const wchar_t *body);

/* out receives text form-encoded: letters, digits and "*-._" kept, a space as
 * "+", every other byte as "%xx" (lowercase): at most 3 x strlen(text) + 1
 * bytes. out may be text's own buffer. Always returns 0. URLEncodeW encodes
 * the bytes of text's UTF-8: out holds at most 3 x that length + 1 wchar_t; a
 * text with a lone surrogate (no UTF-8 form) gives the empty text. */
WEXAPI int WEXCALL URLEncode(const char *text, char *out);
WEXAPI int WEXCALL URLEncodeW(const wchar_t *text, wchar_t *out);

/* ---- Services: the local service control manager ------------------------
 * No service export writes into a caller's buffer. Failure texts go to the
 * message buffer (and some into a box captioned "Inside <export>"). The name
 * may be text that the library itself owns, such as its message buffer. */

/* 1 when the service can be opened for a status query; else 0. */
WEXAPI int WEXCALL ServiceExists(const char *name);
WEXAPI int WEXCALL ServiceExistsW(const wchar_t *name);

/* 1 when the service's current state is running; else 0. */
WEXAPI int WEXCALL ServiceRunning(const char *name);
WEXAPI int WEXCALL ServiceRunningW(const wchar_t *name);

/* Sends the stop control and polls every 1000 ms (first poll after the first
 * sleep): 1 once the service is stopped; 0 on failure. */
WEXAPI int WEXCALL StopService(const char *name);
WEXAPI int WEXCALL StopServiceW(const wchar_t *name);

/* 1 when the manager accepted the deletion. Never stops a running service. */
WEXAPI int WEXCALL RemoveService(const char *name);
WEXAPI int WEXCALL RemoveServiceW(const wchar_t *name);

/* Stops and removes an existing service of that name, then creates it afresh
 * (own process, interactive; display name = name; start type passed on). */
WEXAPI int WEXCALL InstallService(const char *name, const char *binary_path, int start_type);
WEXAPI int WEXCALL InstallServiceW(const wchar_t *name, const wchar_t *binary_path, int start_type);

/* Starts the service and polls every 1000 ms: 1 once it runs. Silent. */
WEXAPI int WEXCALL BeginService(const char *name);
WEXAPI int WEXCALL BeginServiceW(const wchar_t *name);

/* Stops (when running) and removes the service; 1 whenever the manager opened. */
WEXAPI int WEXCALL UnInstallService(const char *name);
WEXAPI int WEXCALL UnInstallServiceW(const wchar_t *name);

/* ---- Registry: keys below HKEY_LOCAL_MACHINE ----------------------------
 * Paths have no leading "\" and are used unchanged; no export creates a key.
 * SetRegMultiSz and EnumKeys take paths of at most 287 characters. */

/* 1 when the value was deleted and the key still holds a value; else 0. */
WEXAPI int WEXCALL RegRemoveValue(const char *subkey, const char *value_name);
WEXAPI int WEXCALL RegRemoveValueW(const wchar_t *subkey, const wchar_t *value_name);

/* Deletes "Components_Payment" of the store's components key
 * (SOFTWARE\Microsoft\MerchantServer\Stores\<store>\Components); when it
 * was the last value, asks for the store's key to be deleted. 1 when other
 * values remain or the store's key was deleted. Store names of at most 203
 * characters. */
WEXAPI int WEXCALL RegRemovePayComponent(const char *store);
WEXAPI int WEXCALL RegRemovePayComponentW(const wchar_t *store);

/* Writes the REG_MULTI_SZ value from the "+"-separated list (at most ten
 * pieces are stored; from the tenth on a box says so). The list is split in
 * place: each "+" that ends a piece becomes a zero byte, so list must be
 * writable. The pieces with their zeros may take at most 394 bytes. */
WEXAPI int WEXCALL SetRegMultiSz(const char *subkey, const char *value_name, char *list);
WEXAPI int WEXCALL SetRegMultiSzW(const wchar_t *subkey, const wchar_t *value_name, wchar_t *list);

/* Writes the name of subkey number index (at most 255 characters and the
 * zero: name must hold 256 bytes) and returns 1; 0 and empty text when there
 * is none. The key stays open between calls: an index other than 0 goes on in
 * the key already open, whatever subkey says (which may then be null).
 * EnumKeys and EnumKeysW share that one key, whichever of them opened it. */
WEXAPI int WEXCALL EnumKeys(const char *subkey, int index, char *name);
WEXAPI int WEXCALL EnumKeysW(const wchar_t *subkey, int index, wchar_t *name);

/* ---- Merchant keys ------------------------------------------------------ */

/* Writes seed to a fresh seed file ("seed" and a number, in TMP, else in
 * install_root; created new, past names already taken, and readable by the
 * calling user only), starts "<install_root>\bin\makekeys.exe -output
 * <install_root>\merchants\<merchant>\<merchant>.key -input <seed file>" in
 * <install_root>\bin, waits 1500 ms and deletes the seed file. 1 when the
 * generator was started (whether it succeeds is not known); 0 when the seed
 * file could not be made, the command line would exceed 399 characters or the
 * working directory 199, or the start failed. Writes nothing into its
 * arguments. */
WEXAPI int WEXCALL MakeKeys(const char *install_root, const char *merchant, const char *seed);
WEXAPI int WEXCALL MakeKeysW(const wchar_t *install_root, const wchar_t *merchant, const wchar_t *seed);

/* Moves the "$MerchantPUK" and "$MerchantPRK" blocks of the key file into the
 * item file as MERCHANT_PUBLIC_KEY and MERCHANT_PRIVATE_KEY brace blocks and
 * writes "reginfo.txt" beside the item file. public_key receives the body
 * lines of every public block, newlines included: at most 2044 characters
 * per public block in the key file, plus the terminating zero. A block whose
 * body is longer, or that never ends, is not stored, though the lines it had
 * before stand in public_key. 1 when exactly two blocks were complete. */
WEXAPI int WEXCALL SubstituteKeys(const char *key_path, const char *item_path, char *public_key);
WEXAPI int WEXCALL SubstituteKeysW(const wchar_t *key_path, const wchar_t *item_path, wchar_t *public_key);

/* Lowercases name (A-Z) in place and writes into identifier the name as given,
 * "-" and a two-digit check number: strlen(name) + 4 bytes. identifier may be
 * name itself (it then carries the lowercased name) but must not overlap it
 * otherwise. Always returns 0. */
WEXAPI int WEXCALL ComputeMerchID(char *name, char *identifier);
WEXAPI int WEXCALL ComputeMerchIDW(wchar_t *name, wchar_t *identifier);

/* ---- Processes ------------------------------------------------------------ */

/* Starts command_line in a new hidden console, in working_dir (null: ours),
 * and does not wait for it. 1 when the process was created; 0 after the
 * "StartProcess" message box when it was not. Writes nothing. */
WEXAPI int WEXCALL RunCommand(const char *command_line, const char *working_dir);
WEXAPI int WEXCALL RunCommandW(const wchar_t *command_line, const wchar_t *working_dir);

/* Finding and ending processes: a pattern is matched, without regard to the
 * case of a to z, against a process's name without extension, its name
 * ("notepad.exe") and the title of its top-level window: "*" any run, "?" one
 * character, "[a-m]" a class. The twins match UTF-16 names and titles with
 * letter case ignored by the platform's rules in every script, a surrogate
 * pair counting as one character.
 * Patterns longer than 79 characters match nothing. The calling process and
 * processes whose window title contains "kill" never match. Progress lines go
 * to standard output. No output buffers. */

/* process_id not 0: terminates that process (exit code 1); the pattern is
 * then only checked for null. Otherwise every matching process is asked to
 * close its window (force 0, when it has one) or terminated. 1 when the last
 * process acted on was ended or asked to close; 0 when none matched. */
WEXAPI int WEXCALL KillProcess(const char *task_pattern, int process_id, int force);
WEXAPI int WEXCALL KillProcessW(const wchar_t *task_pattern, int process_id, int force);

/* The id of the first matching process, 0 when none matches (-2 stands for
 * a process whose id reads 0). */
WEXAPI int WEXCALL GetPID(const char *task_pattern);
WEXAPI int WEXCALL GetPIDW(const wchar_t *task_pattern);

/* Stops the service when it is running (the result of StopService; the
 * process is not touched); otherwise, when a process matches task_pattern,
 * terminates the matching processes (the result of KillProcess with force 1);
 * else 0. The service name is left in the message buffer; names longer than
 * 159 characters are refused (0, nothing touched). */
WEXAPI int WEXCALL StopServer(const char *task_pattern, const char *service_name);
WEXAPI int WEXCALL StopServerW(const wchar_t *task_pattern, const wchar_t *service_name);

/* ---- Unattended installs ------------------------------------------------ */

/* Silent mode on (any nonzero on) or off. Returns the previous mode, 0 or 1. */
WEXAPI int WEXCALL SetSilentMode(int on);

/* Appends the installer log to path (created when missing, then readable and
 * writable by its creator, the Administrators and SYSTEM only) from now on,
 * in place of any open log; null or "" closes the log. Each line begins with
 * the local time, "YYYY-MM-DD HH:MM:SS.mmm ". 1 when a log was opened (1 for
 * null and ""); 0 when path cannot be opened: no log is open then. A log
 * that cannot be opened or written says so once on standard error and is
 * closed; no result depends on it. */
WEXAPI int WEXCALL SetLogFile(const char *path);
WEXAPI int WEXCALL SetLogFileW(const wchar_t *path);

/* The longest that the stop wait of StopService (also within InstallService,
 * UnInstallService and StopServer), the start wait of BeginService, and a
 * call of SendMsg or SendMsgSecure (its waits for the server: connecting, the
 * handshake, sending and receiving, all together) may take, in milliseconds;
 * 0 (the default) means no limit, negative values count as 0. Returns the
 * previous limit. */
WEXAPI int WEXCALL SetWaitLimit(int milliseconds);

/* From now on the log masks text, and its URLEncode form, wherever it occurs
 * in a logged text: each occurrence reads "***". Changes the log only. 1; 0
 * for null or the empty text. */
WEXAPI int WEXCALL HideInLog(const char *text);
WEXAPI int WEXCALL HideInLogW(const wchar_t *text);

/* ---- Dialog templates and version block (resources, no exports) -------- */

/* The module holds nine classic dialog templates, type RT_DIALOG, language
 * 1033, named ISU_ASKOPTION, ISU_FINISH, ISU_MULEDIT, ISU_PASSWORD,
 * ISU_SELECT, ISU_SELECTMUL, ISU_SHOWEDIT4, ISU_SHOWFOLDER and ISU_SHOWINFO,
 * and version block 1. The host shows a template with its own dialog
 * procedure; control 1200's text is a picture specifier and "%p" in a text
 * stands for the product name, both for the host to fill in. Control ids
 * (named in wexlib_dialogs.h, which a resource compiler can read too):
 * 1 next (or OK), 2 hidden, 9 cancel, 12 back, 100/101 select/clear all,
 * 301-304 edit fields, 401 list, 501-506 check boxes, 710-712 texts,
 * 719-722 field labels, 1200 picture, 1300 separator line. */

#ifdef __cplusplus
}
#endif

#endif /* WEXLIB_H */
