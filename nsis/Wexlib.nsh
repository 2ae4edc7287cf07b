; Wexlib.nsh - the exports of Wexlib.dll as NSIS macros.
;
; One macro per export, named Wexlib_<export>. Its parameters are the
; export's inputs in their order, then the variable that receives the
; export's result, then one variable per output buffer in their order:
;
;   !insertmacro Wexlib_GetFileItem "$INSTDIR\merchant.ini" "PORT" $0 $1
;   ; $0: 1 when the item exists, $1: its value
;
; Below, a parameter is named in capitals after its macro parameter: PATH
; for wexlib_path, RESULT for wexlib_result, and so on.
;
; Every macro works in ANSI ("Unicode false") and Unicode installers, 32-bit
; and 64-bit. Wexlib.dll takes 8-bit strings in both: texts go to it as "m"
; strings (in a Unicode installer converted to the ANSI code page on the way
; in, output texts converted back), numbers as "i", buffers as pointer-sized
; "p" addresses. Inputs may be any text, variables and registers included;
; only a literal text that holds a backtick (`) cannot be passed directly
; (put it into a variable first). An input is a text with no length limit
; but the installer's own (NSIS_MAX_STRLEN, 1024 characters by default), and
; an output text longer than that limit is cut to NSIS_MAX_STRLEN - 1 bytes.
;
; A macro leaves $0-$9, $R0-$R9 and the stack as it found them, except for
; the variables it was given for its outputs: it takes its inputs from the
; stack and saves all registers with System::Store around the call. The
; result is "error" when the DLL or the export could not be found (see
; WEXLIB_DLL). Parameter names carry a "wexlib_" prefix, so that the macros
; can be used inside other macros and next to other headers' defines.
;
; Output buffers are allocated for each call with System::Alloc (zeroed)
; and freed after it, in the sizes wexlib.h gives for each export:
;   GetFileItem       value       399 bytes (398 characters and the zero)
;   _GetUserName      user        80 bytes
;   EnumKeys          name        256 bytes
;   URLEncode         out         3 x (the text's length in bytes) + 1
;   ComputeMerchID    identifier  the name's length in bytes + 4
;   GetAllItemNames   names       the file's size in bytes + 1, the size
;                                 being taken just before the call
;   SubstituteKeys    public key  at most 2044 characters per public block
;                                 plus the zero: the key file's size + 1
;                                 (the blocks are a part of the key file's
;                                 text), and 4096 bytes at least
; The two exports that change an input in place get a writable copy of it
; of its own length plus the zero: ComputeMerchID's name (lowercased there)
; and SetRegMultiSz's list (split there). The caller's text is unchanged.
;
; Where the DLL is: ${WEXLIB_DLL}, by default "$PLUGINSDIR\Wexlib.dll". Use
;   !insertmacro Wexlib_Init "path\on\the\build\machine\Wexlib.dll"
; once before the first call (in a section or function) to put it there, or
; define WEXLIB_DLL before including this file to load it from another place
; (an installed copy, "$INSTDIR\bin\Wexlib.dll"; Wexlib_Init then extracts
; to that place, whose folder must exist). The DLL must be the build that
; matches the installer: the 32-bit Wexlib.dll for x86-ansi and x86-unicode
; installers, the 64-bit one for amd64-unicode.
;
; Wexlib.dll stays loaded from the first call on, which keeps its silent
; mode, log and wait limit between calls. Wexlib_Unload frees it (so that
; the plug-ins folder can be removed); a later call loads it afresh, with its
; settings as the environment gives them.

!ifndef WEXLIB_NSH_INCLUDED
!define WEXLIB_NSH_INCLUDED

!include LogicLib.nsh

!ifndef WEXLIB_DLL
  !define WEXLIB_DLL "$PLUGINSDIR\Wexlib.dll"
!endif

!define WEXLIB_ITEM_VALUE_SIZE 399
!define WEXLIB_USER_NAME_SIZE 80
!define WEXLIB_KEY_NAME_SIZE 256
!define WEXLIB_PUBLIC_KEY_MIN_SIZE 4096

; ---- Loading ------------------------------------------------------------

; Extracts Wexlib.dll (SOURCE: its path on the build machine) to WEXLIB_DLL.
!macro Wexlib_Init wexlib_source
  InitPluginsDir
  File "/oname=${WEXLIB_DLL}" "${wexlib_source}"
!macroend

; Frees the loaded Wexlib.dll (nothing happens when it is not loaded).
!macro Wexlib_Unload
  System::Store "s"
  System::Call 'kernel32::GetModuleHandle(t "${WEXLIB_DLL}") p .r0'
  System::Call 'kernel32::FreeLibrary(p r0)'
  System::Store "l"
!macroend

; ---- Internal helpers: not for callers ----------------------------------

; Calls an export of text and number inputs only and pops its result into
; the result variable. The inputs go over the stack (last pushed first, as the System
; plug-in takes "s" sources in parameter order), so no register is touched.
!macro _Wexlib_Call1 wexlib_export wexlib_t1 wexlib_a1 wexlib_result
  Push `${wexlib_a1}`
  System::Call '"${WEXLIB_DLL}"::${wexlib_export}(${wexlib_t1} s) i .s'
  Pop ${wexlib_result}
!macroend
!macro _Wexlib_Call2 wexlib_export wexlib_t1 wexlib_t2 wexlib_a1 wexlib_a2 wexlib_result
  Push `${wexlib_a2}`
  Push `${wexlib_a1}`
  System::Call '"${WEXLIB_DLL}"::${wexlib_export}(${wexlib_t1} s, ${wexlib_t2} s) i .s'
  Pop ${wexlib_result}
!macroend
!macro _Wexlib_Call3 wexlib_export wexlib_t1 wexlib_t2 wexlib_t3 wexlib_a1 wexlib_a2 wexlib_a3 wexlib_result
  Push `${wexlib_a3}`
  Push `${wexlib_a2}`
  Push `${wexlib_a1}`
  System::Call '"${WEXLIB_DLL}"::${wexlib_export}(${wexlib_t1} s, ${wexlib_t2} s, ${wexlib_t3} s) i .s'
  Pop ${wexlib_result}
!macroend
!macro _Wexlib_Call4 wexlib_export wexlib_t1 wexlib_t2 wexlib_t3 wexlib_t4 wexlib_a1 wexlib_a2 wexlib_a3 wexlib_a4 wexlib_result
  Push `${wexlib_a4}`
  Push `${wexlib_a3}`
  Push `${wexlib_a2}`
  Push `${wexlib_a1}`
  System::Call '"${WEXLIB_DLL}"::${wexlib_export}(${wexlib_t1} s, ${wexlib_t2} s, ${wexlib_t3} s, ${wexlib_t4} s) i .s'
  Pop ${wexlib_result}
!macroend

; Inside a System::Store frame: $5 = the 8-bit text at address $4, cut at
; NSIS_MAX_STRLEN - 1 bytes ("" for address 0); then $4 is freed. Uses $7.
!macro _Wexlib_TakeText
  ${If} $4 P= 0
    StrCpy $5 ""
  ${Else}
    !if ${NSIS_CHAR_SIZE} > 1
      ; Converted here, up to the text's zero: an "m" output converts a
      ; fixed NSIS_MAX_STRLEN bytes into room for one character less and so
      ; relies on what a conversion that ran out of room leaves behind. The
      ; text is cut in place first (lstrcpynA onto itself ends it at the
      ; limit).
      System::Call 'kernel32::lstrcpynA(p r4, p r4, i ${NSIS_MAX_STRLEN})'
      System::Call 'kernel32::MultiByteToWideChar(i 0, i 0, p r4, i -1, w .r5, i ${NSIS_MAX_STRLEN}) i .r7'
    !else
      System::Call 'kernel32::lstrcpynA(m .r5, p r4, i ${NSIS_MAX_STRLEN})'
    !endif
    System::Free $4
  ${EndIf}
!macroend

; Inside a System::Store frame: $4 = a zeroed buffer of the size in bytes
; of the file named by $1 plus one, and at least $6 bytes; the size comes
; from the file's attribute data (36 bytes, zero when it cannot be read:
; the size is the last two 32-bit fields, high then low). A file of 2 GiB
; or more gets address 0, which the exports refuse. Uses $6, $7 and $8.
!macro _Wexlib_BufferForFileOf1
  System::Alloc 36
  Pop $7
  System::Call 'kernel32::GetFileAttributesExA(m r1, i 0, p r7)'
  System::Call '*$7(&v28, i .r8, i .r7)'
  System::Free $7
  ${If} $8 <> 0
  ${OrIf} $7 < 0
    StrCpy $4 0
  ${Else}
    IntOp $7 $7 + 1
    ${IfThen} $7 > $6 ${|} StrCpy $6 $7 ${|}
    System::Alloc $6
    Pop $4
  ${EndIf}
!macroend

; Inside a System::Store frame: $3 = a fresh writable copy of the 8-bit
; form of the text in $1 (its length in bytes in $2). Uses $6.
!macro _Wexlib_WritableCopyOf1
  System::Call 'kernel32::lstrlenA(m r1) i .r2'
  IntOp $6 $2 + 1
  System::Alloc $6
  Pop $3
  System::Call 'kernel32::lstrcpyA(p r3, m r1)'
!macroend

; Ends a System::Store frame: result $0, output text $5 to the caller's
; variables (which may be registers: they are set after the restore).
!macro _Wexlib_Deliver2 wexlib_result wexlib_out
  Push $5
  Push $0
  System::Store "l"
  Pop ${wexlib_result}
  Pop ${wexlib_out}
!macroend

; ---- Item files ---------------------------------------------------------

; FindFileItem: 1 when PATH holds an item line for NAME whose text after the
; "=" contains FILTER ("" matches any item line for NAME); else 0.
!macro Wexlib_FindFileItem wexlib_path wexlib_name wexlib_filter wexlib_result
  !insertmacro _Wexlib_Call3 FindFileItem m m m `${wexlib_path}` `${wexlib_name}` `${wexlib_filter}` ${wexlib_result}
!macroend

; GetFileItem: RESULT 1 when an item line for NAME exists, VALUE its first
; value (leading spaces and newline dropped); "" when there is none.
; Buffer: 399 bytes.
!macro Wexlib_GetFileItem wexlib_path wexlib_name wexlib_result wexlib_value
  Push `${wexlib_name}`
  Push `${wexlib_path}`
  System::Store "s"
  Pop $1
  Pop $2
  System::Alloc ${WEXLIB_ITEM_VALUE_SIZE}
  Pop $4
  System::Call '"${WEXLIB_DLL}"::GetFileItem(m r1, m r2, p r4) i .r0'
  !insertmacro _Wexlib_TakeText
  !insertmacro _Wexlib_Deliver2 ${wexlib_result} ${wexlib_value}
!macroend

; GetAllItemNames: RESULT the number of names, NAMES each name that precedes
; a "=" on a line of PATH followed by "&"; "" after a failure.
; Buffer: PATH's size + 1 bytes, taken right before the call (no buffer
; for a file of 2 GiB or more: RESULT 0).
!macro Wexlib_GetAllItemNames wexlib_path wexlib_result wexlib_names
  Push `${wexlib_path}`
  System::Store "s"
  Pop $1
  StrCpy $6 1
  !insertmacro _Wexlib_BufferForFileOf1
  System::Call '"${WEXLIB_DLL}"::GetAllItemNames(m r1, p r4) i .r0'
  !insertmacro _Wexlib_TakeText
  !insertmacro _Wexlib_Deliver2 ${wexlib_result} ${wexlib_names}
!macroend

; _GetUserName: RESULT 1 when the passwd file PATH opens, USER the text of
; its first line before the first ":". Buffer: 80 bytes.
!macro Wexlib__GetUserName wexlib_path wexlib_result wexlib_user
  Push `${wexlib_path}`
  System::Store "s"
  Pop $1
  System::Alloc ${WEXLIB_USER_NAME_SIZE}
  Pop $4
  System::Call '"${WEXLIB_DLL}"::_GetUserName(m r1, p r4) i .r0'
  !insertmacro _Wexlib_TakeText
  !insertmacro _Wexlib_Deliver2 ${wexlib_result} ${wexlib_user}
!macroend

; SetFileItem: sets every item line for NAME to its text up to the "=" and
; VALUE, or appends "NAME=VALUE" on a line of its own. 1 when rewritten.
!macro Wexlib_SetFileItem wexlib_path wexlib_name wexlib_value wexlib_result
  !insertmacro _Wexlib_Call3 SetFileItem m m m `${wexlib_path}` `${wexlib_name}` `${wexlib_value}` ${wexlib_result}
!macroend

; AddFileItem: appends "NAME = VALUE" on a line of its own, creating PATH
; when missing. 1 when written.
!macro Wexlib_AddFileItem wexlib_path wexlib_name wexlib_value wexlib_result
  !insertmacro _Wexlib_Call3 AddFileItem m m m `${wexlib_path}` `${wexlib_name}` `${wexlib_value}` ${wexlib_result}
!macroend

; DeleteFileItem: drops the item lines for NAME whose text from the "=" on
; contains FILTER ("": all of them). RESULT the number of lines dropped.
!macro Wexlib_DeleteFileItem wexlib_path wexlib_name wexlib_filter wexlib_result
  !insertmacro _Wexlib_Call3 DeleteFileItem m m m `${wexlib_path}` `${wexlib_name}` `${wexlib_filter}` ${wexlib_result}
!macroend

; Substitute: replaces every SEARCH in PATH by REPLACEMENT. 1 when rewritten.
!macro Wexlib_Substitute wexlib_path wexlib_search wexlib_replacement wexlib_result
  !insertmacro _Wexlib_Call3 Substitute m m m `${wexlib_path}` `${wexlib_search}` `${wexlib_replacement}` ${wexlib_result}
!macroend

; AppendFile: appends the text of SOURCE to DESTINATION (created when
; missing). 1 when appended.
!macro Wexlib_AppendFile wexlib_source wexlib_destination wexlib_result
  !insertmacro _Wexlib_Call2 AppendFile m m `${wexlib_source}` `${wexlib_destination}` ${wexlib_result}
!macroend

; ---- HTTP notification --------------------------------------------------

; SendMsg: posts BODY (form-encoded already) to PATH on HOST:PORT (PORT as
; decimal text). 1 when the reply's first line holds " 200 ".
!macro Wexlib_SendMsg wexlib_host wexlib_port wexlib_path wexlib_body wexlib_result
  !insertmacro _Wexlib_Call4 SendMsg m m m m `${wexlib_host}` `${wexlib_port}` `${wexlib_path}` `${wexlib_body}` ${wexlib_result}
!macroend

; SendMsgSecure: SendMsg inside a TLS session (TLS 1.2 or newer); the server's
; certificate must chain to a root of the machine's root store and be for
; HOST. 1 when the reply's first line holds " 200 ".
!macro Wexlib_SendMsgSecure wexlib_host wexlib_port wexlib_path wexlib_body wexlib_result
  !insertmacro _Wexlib_Call4 SendMsgSecure m m m m `${wexlib_host}` `${wexlib_port}` `${wexlib_path}` `${wexlib_body}` ${wexlib_result}
!macroend

; URLEncode: OUT receives TEXT form-encoded; RESULT is always 0.
; Buffer: 3 x TEXT's length in bytes + 1.
!macro Wexlib_URLEncode wexlib_text wexlib_result wexlib_out
  Push `${wexlib_text}`
  System::Store "s"
  Pop $1
  System::Call 'kernel32::lstrlenA(m r1) i .r2'
  IntOp $6 $2 * 3
  IntOp $6 $6 + 1
  System::Alloc $6
  Pop $4
  System::Call '"${WEXLIB_DLL}"::URLEncode(m r1, p r4) i .r0'
  !insertmacro _Wexlib_TakeText
  !insertmacro _Wexlib_Deliver2 ${wexlib_result} ${wexlib_out}
!macroend

; ---- Services -----------------------------------------------------------

; ServiceExists: 1 when the service NAME can be opened for a status query.
!macro Wexlib_ServiceExists wexlib_name wexlib_result
  !insertmacro _Wexlib_Call1 ServiceExists m `${wexlib_name}` ${wexlib_result}
!macroend

; ServiceRunning: 1 when the service NAME is running.
!macro Wexlib_ServiceRunning wexlib_name wexlib_result
  !insertmacro _Wexlib_Call1 ServiceRunning m `${wexlib_name}` ${wexlib_result}
!macroend

; StopService: stops the service NAME and waits (within the wait limit):
; 1 once it is stopped.
!macro Wexlib_StopService wexlib_name wexlib_result
  !insertmacro _Wexlib_Call1 StopService m `${wexlib_name}` ${wexlib_result}
!macroend

; RemoveService: 1 when the service manager accepted the deletion of NAME
; (a running service is not stopped first).
!macro Wexlib_RemoveService wexlib_name wexlib_result
  !insertmacro _Wexlib_Call1 RemoveService m `${wexlib_name}` ${wexlib_result}
!macroend

; InstallService: (re)creates the service NAME running BINARY_PATH (the
; command line, quoted as the service manager wants it) with START_TYPE
; (2 automatic, 3 on demand, 4 disabled). 1 when created.
!macro Wexlib_InstallService wexlib_name wexlib_binary_path wexlib_start_type wexlib_result
  !insertmacro _Wexlib_Call3 InstallService m m i `${wexlib_name}` `${wexlib_binary_path}` `${wexlib_start_type}` ${wexlib_result}
!macroend

; BeginService: starts the service NAME and waits (within the wait limit):
; 1 once it runs.
!macro Wexlib_BeginService wexlib_name wexlib_result
  !insertmacro _Wexlib_Call1 BeginService m `${wexlib_name}` ${wexlib_result}
!macroend

; UnInstallService: stops (when running) and removes the service NAME;
; 1 whenever the service manager opened.
!macro Wexlib_UnInstallService wexlib_name wexlib_result
  !insertmacro _Wexlib_Call1 UnInstallService m `${wexlib_name}` ${wexlib_result}
!macroend

; ---- Registry (keys below HKEY_LOCAL_MACHINE, no leading "\") -----------

; RegRemoveValue: deletes VALUE_NAME of SUBKEY; 1 when deleted and the key
; still holds a value.
!macro Wexlib_RegRemoveValue wexlib_subkey wexlib_value_name wexlib_result
  !insertmacro _Wexlib_Call2 RegRemoveValue m m `${wexlib_subkey}` `${wexlib_value_name}` ${wexlib_result}
!macroend

; RegRemovePayComponent: deletes the store's Components_Payment value (and
; the store's key when that was its last value). 1 when other values remain
; or the store's key was deleted.
!macro Wexlib_RegRemovePayComponent wexlib_store wexlib_result
  !insertmacro _Wexlib_Call1 RegRemovePayComponent m `${wexlib_store}` ${wexlib_result}
!macroend

; SetRegMultiSz: writes VALUE_NAME of the existing SUBKEY as REG_MULTI_SZ
; from LIST, pieces separated by "+". Buffer: a writable copy of LIST (its
; length in bytes + 1), which the export splits in place.
!macro Wexlib_SetRegMultiSz wexlib_subkey wexlib_value_name wexlib_list wexlib_result
  Push `${wexlib_value_name}`
  Push `${wexlib_subkey}`
  Push `${wexlib_list}`
  System::Store "s"
  Pop $1
  !insertmacro _Wexlib_WritableCopyOf1
  System::Call '"${WEXLIB_DLL}"::SetRegMultiSz(m s, m s, p r3) i .r0'
  System::Free $3
  Push $0
  System::Store "l"
  Pop ${wexlib_result}
!macroend

; EnumKeys: NAME receives the name of subkey number INDEX of SUBKEY; RESULT
; 1, or 0 and "" when there is none. An INDEX other than 0 goes on in the key
; that the last call opened. Buffer: 256 bytes.
!macro Wexlib_EnumKeys wexlib_subkey wexlib_index wexlib_result wexlib_name
  Push `${wexlib_index}`
  Push `${wexlib_subkey}`
  System::Store "s"
  Pop $1
  Pop $2
  System::Alloc ${WEXLIB_KEY_NAME_SIZE}
  Pop $4
  System::Call '"${WEXLIB_DLL}"::EnumKeys(m r1, i r2, p r4) i .r0'
  !insertmacro _Wexlib_TakeText
  !insertmacro _Wexlib_Deliver2 ${wexlib_result} ${wexlib_name}
!macroend

; ---- Merchant keys ------------------------------------------------------

; MakeKeys: starts INSTALL_ROOT\bin\makekeys.exe on a seed file holding
; SEED, for INSTALL_ROOT\merchants\MERCHANT\MERCHANT.key, and waits 1.5 s.
; 1 when the generator was started (it may still be running).
!macro Wexlib_MakeKeys wexlib_install_root wexlib_merchant wexlib_seed wexlib_result
  !insertmacro _Wexlib_Call3 MakeKeys m m m `${wexlib_install_root}` `${wexlib_merchant}` `${wexlib_seed}` ${wexlib_result}
!macroend

; SubstituteKeys: moves the key blocks of KEY_PATH into the item file
; ITEM_PATH and writes reginfo.txt beside it. RESULT 1 when both blocks were
; complete; PUBLIC_KEY the public blocks' body lines, newlines included.
; Buffer: the key file's size + 1 bytes, 4096 at least (see above).
!macro Wexlib_SubstituteKeys wexlib_key_path wexlib_item_path wexlib_result wexlib_public_key
  Push `${wexlib_item_path}`
  Push `${wexlib_key_path}`
  System::Store "s"
  Pop $1
  Pop $2
  StrCpy $6 ${WEXLIB_PUBLIC_KEY_MIN_SIZE}
  !insertmacro _Wexlib_BufferForFileOf1
  System::Call '"${WEXLIB_DLL}"::SubstituteKeys(m r1, m r2, p r4) i .r0'
  !insertmacro _Wexlib_TakeText
  !insertmacro _Wexlib_Deliver2 ${wexlib_result} ${wexlib_public_key}
!macroend

; ComputeMerchID: IDENTIFIER receives NAME as given, "-" and a two-digit
; check number of the lowercased NAME; RESULT is always 0. Buffers: a
; writable copy of NAME (its length in bytes + 1), which the export
; lowercases, and the identifier (the length + 4).
!macro Wexlib_ComputeMerchID wexlib_name wexlib_result wexlib_identifier
  Push `${wexlib_name}`
  System::Store "s"
  Pop $1
  !insertmacro _Wexlib_WritableCopyOf1
  IntOp $6 $2 + 4
  System::Alloc $6
  Pop $4
  System::Call '"${WEXLIB_DLL}"::ComputeMerchID(p r3, p r4) i .r0'
  System::Free $3
  !insertmacro _Wexlib_TakeText
  !insertmacro _Wexlib_Deliver2 ${wexlib_result} ${wexlib_identifier}
!macroend

; ---- Processes ----------------------------------------------------------

; RunCommand: starts COMMAND_LINE in a new hidden console in WORKING_DIR
; ("" for the installer's own) without waiting. 1 when it was started.
!macro Wexlib_RunCommand wexlib_command_line wexlib_working_dir wexlib_result
  Push `${wexlib_working_dir}`
  Push `${wexlib_command_line}`
  System::Store "s"
  Pop $1
  Pop $2
  ${If} $2 == ""
    System::Call '"${WEXLIB_DLL}"::RunCommand(m r1, p 0) i .r0'
  ${Else}
    System::Call '"${WEXLIB_DLL}"::RunCommand(m r1, m r2) i .r0'
  ${EndIf}
  Push $0
  System::Store "l"
  Pop ${wexlib_result}
!macroend

; KillProcess: PROCESS_ID not 0 terminates that process; otherwise every
; process matching TASK_PATTERN is asked to close (FORCE 0, when it has a
; window) or terminated. 1 when the last one acted on was ended or asked.
!macro Wexlib_KillProcess wexlib_task_pattern wexlib_process_id wexlib_force wexlib_result
  !insertmacro _Wexlib_Call3 KillProcess m i i `${wexlib_task_pattern}` `${wexlib_process_id}` `${wexlib_force}` ${wexlib_result}
!macroend

; GetPID: the id of the first process matching TASK_PATTERN, 0 when none.
!macro Wexlib_GetPID wexlib_task_pattern wexlib_result
  !insertmacro _Wexlib_Call1 GetPID m `${wexlib_task_pattern}` ${wexlib_result}
!macroend

; StopServer: stops the service SERVICE_NAME when it runs, else terminates
; the processes matching TASK_PATTERN; 0 when there was neither.
!macro Wexlib_StopServer wexlib_task_pattern wexlib_service_name wexlib_result
  !insertmacro _Wexlib_Call2 StopServer m m `${wexlib_task_pattern}` `${wexlib_service_name}` ${wexlib_result}
!macroend

; ---- Unattended installs ------------------------------------------------

; SetSilentMode: ON 1 shows no message box (each goes to standard error and
; the log), 0 shows them again. RESULT the previous mode.
!macro Wexlib_SetSilentMode wexlib_on wexlib_result
  !insertmacro _Wexlib_Call1 SetSilentMode i `${wexlib_on}` ${wexlib_result}
!macroend

; SetLogFile: appends the installer log to PATH from now on; "" closes it.
; 1 when a log is open afterwards (and for ""), 0 when PATH cannot be opened.
!macro Wexlib_SetLogFile wexlib_path wexlib_result
  !insertmacro _Wexlib_Call1 SetLogFile m `${wexlib_path}` ${wexlib_result}
!macroend

; SetWaitLimit: bounds the service and network waits to MILLISECONDS
; (0: no limit). RESULT the previous limit.
!macro Wexlib_SetWaitLimit wexlib_milliseconds wexlib_result
  !insertmacro _Wexlib_Call1 SetWaitLimit i `${wexlib_milliseconds}` ${wexlib_result}
!macroend

; HideInLog: from now on the installer log masks TEXT, and its URLEncode
; form, as "***" wherever it occurs (the log only). 1; 0 for "".
!macro Wexlib_HideInLog wexlib_text wexlib_result
  !insertmacro _Wexlib_Call1 HideInLog m `${wexlib_text}` ${wexlib_result}
!macroend

!endif ; WEXLIB_NSH_INCLUDED
