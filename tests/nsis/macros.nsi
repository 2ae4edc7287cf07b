; macros.nsi - every macro of nsis/Wexlib.nsh once or more, run silently by
; the nsis_run_macros_* tests (tests/nsis/CMakeLists.txt). Each call's result
; and output text go to $INSTDIR\macros.txt, one line per call, which the
; test compares with golden/macros.txt; a line "KEPT ..." reports a register
; or the stack that a macro changed although it was no output of that call.
;
;   makensis -DWEXLIB_TARGET=amd64-unicode -DWEXLIB_BIN=/abs/build/win64/bin
;            -DOUTFILE=/abs/macros.exe tests/nsis/macros.nsi
;   macros.exe /S /D=C:\scratch

!if "${WEXLIB_TARGET}" == "x86-ansi"
  Unicode false
!else
  Target ${WEXLIB_TARGET}
!endif

!include LogicLib.nsh
!include "../../nsis/Wexlib.nsh"

Name "Wexlib.nsh macros"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "C:\wexnsis\macros"
SilentInstall silent

!define TESTKEY "SOFTWARE\WexNsisTest"
!define SERVICE "WexNsisMacros"

Var Res       ; every call's result
Var Out       ; every call's output text
Var Report    ; the open results file
Var Tmp
Var Items
Var List

; Every register gets a value of its own, so that a change shows, and the
; stack holds one mark.
!macro Sentinels
  StrCpy $0 k0
  StrCpy $1 k1
  StrCpy $2 k2
  StrCpy $3 k3
  StrCpy $4 k4
  StrCpy $5 k5
  StrCpy $6 k6
  StrCpy $7 k7
  StrCpy $8 k8
  StrCpy $9 k9
  StrCpy $R0 kR0
  StrCpy $R1 kR1
  StrCpy $R2 kR2
  StrCpy $R3 kR3
  StrCpy $R4 kR4
  StrCpy $R5 kR5
  StrCpy $R6 kR6
  StrCpy $R7 kR7
  StrCpy $R8 kR8
  StrCpy $R9 kR9
!macroend

!macro KeptOne kept_reg kept_value rec_label
  ${If} ${kept_reg} S!= ${kept_value}
    FileWrite $Report "KEPT ${rec_label}: the register of ${kept_value} now holds [${kept_reg}]$\r$\n"
  ${EndIf}
!macroend

; Writes "LABEL: RESULT [OUTPUT]", then checks that every register still
; holds its own value and the stack exactly the one mark.
!macro Record rec_label
  ; In pieces: one FileWrite text is cut at NSIS_MAX_STRLEN like a variable.
  FileWrite $Report "${rec_label}: $Res ["
  FileWrite $Report $Out
  FileWrite $Report "]$\r$\n"
  !insertmacro KeptOne $0 k0 "${rec_label}"
  !insertmacro KeptOne $1 k1 "${rec_label}"
  !insertmacro KeptOne $2 k2 "${rec_label}"
  !insertmacro KeptOne $3 k3 "${rec_label}"
  !insertmacro KeptOne $4 k4 "${rec_label}"
  !insertmacro KeptOne $5 k5 "${rec_label}"
  !insertmacro KeptOne $6 k6 "${rec_label}"
  !insertmacro KeptOne $7 k7 "${rec_label}"
  !insertmacro KeptOne $8 k8 "${rec_label}"
  !insertmacro KeptOne $9 k9 "${rec_label}"
  !insertmacro KeptOne $R0 kR0 "${rec_label}"
  !insertmacro KeptOne $R1 kR1 "${rec_label}"
  !insertmacro KeptOne $R2 kR2 "${rec_label}"
  !insertmacro KeptOne $R3 kR3 "${rec_label}"
  !insertmacro KeptOne $R4 kR4 "${rec_label}"
  !insertmacro KeptOne $R5 kR5 "${rec_label}"
  !insertmacro KeptOne $R6 kR6 "${rec_label}"
  !insertmacro KeptOne $R7 kR7 "${rec_label}"
  !insertmacro KeptOne $R8 kR8 "${rec_label}"
  !insertmacro KeptOne $R9 kR9 "${rec_label}"
  ClearErrors
  Pop $Tmp
  ${If} ${Errors}
  ${OrIf} $Tmp S!= "stack-mark"
    FileWrite $Report "KEPT ${rec_label}: stack top is [$Tmp]$\r$\n"
  ${EndIf}
  ClearErrors
  Pop $Tmp
  ${IfNot} ${Errors}
    FileWrite $Report "KEPT ${rec_label}: more on the stack: [$Tmp]$\r$\n"
  ${EndIf}
  Push "stack-mark"
  StrCpy $Res ""
  StrCpy $Out ""
  ; A change is reported once, at the call that made it.
  !insertmacro Sentinels
!macroend

Section
  SetOutPath $INSTDIR
  File "${WEXLIB_BIN}/testservice.exe"
  File "${WEXLIB_BIN}/wexwin.exe"
  !insertmacro Wexlib_Init "${WEXLIB_BIN}/Wexlib.dll"
  FileOpen $Report "$INSTDIR\macros.txt" w
  StrCpy $Items "$INSTDIR\items.ini"
  Push "stack-mark"
  !insertmacro Sentinels

  ; ---- Unattended settings ----
  !insertmacro Wexlib_SetLogFile "$INSTDIR\macros.log" $Res
  !insertmacro Record "SetLogFile"
  !insertmacro Wexlib_SetSilentMode 1 $Res
  !insertmacro Record "SetSilentMode 1"
  !insertmacro Wexlib_SetSilentMode 1 $Res
  !insertmacro Record "SetSilentMode 1 again"
  !insertmacro Wexlib_SetWaitLimit 5000 $Res
  !insertmacro Record "SetWaitLimit 5000"
  !insertmacro Wexlib_SetWaitLimit 5000 $Res
  !insertmacro Record "SetWaitLimit 5000 again"
  !insertmacro Wexlib_HideInLog "Second" $Res
  !insertmacro Record "HideInLog"
  !insertmacro Wexlib_HideInLog "" $Res
  !insertmacro Record "HideInLog of the empty text"

  ; ---- Item files ----
  !insertmacro Wexlib_AddFileItem $Items "NAME" "First value" $Res
  !insertmacro Record "AddFileItem NAME"
  !insertmacro Wexlib_AddFileItem $Items "COLOR" "blue" $Res
  !insertmacro Record "AddFileItem COLOR"
  !insertmacro Wexlib_SetFileItem $Items "COLOR" "green" $Res
  !insertmacro Record "SetFileItem COLOR"
  !insertmacro Wexlib_FindFileItem $Items "COLOR" "gree" $Res
  !insertmacro Record "FindFileItem COLOR gree"
  !insertmacro Wexlib_FindFileItem $Items "COLOR" "blue" $Res
  !insertmacro Record "FindFileItem COLOR blue"
  !insertmacro Wexlib_FindFileItem $Items "COLOR" "" $Res
  !insertmacro Record "FindFileItem COLOR any"
  !insertmacro Wexlib_GetFileItem $Items "NAME" $Res $Out
  !insertmacro Record "GetFileItem NAME"
  !insertmacro Wexlib_GetFileItem $Items "MISSING" $Res $Out
  !insertmacro Record "GetFileItem MISSING"
  !insertmacro Wexlib_Substitute $Items "First" "Second" $Res
  !insertmacro Record "Substitute"
  !insertmacro Wexlib_GetFileItem $Items "NAME" $Res $Out
  !insertmacro Record "GetFileItem NAME after Substitute"
  !insertmacro Wexlib_AddFileItem "$INSTDIR\extra.ini" "EXTRA" "1" $Res
  !insertmacro Record "AddFileItem EXTRA"
  !insertmacro Wexlib_AppendFile "$INSTDIR\extra.ini" $Items $Res
  !insertmacro Record "AppendFile"
  !insertmacro Wexlib_GetAllItemNames $Items $Res $Out
  !insertmacro Record "GetAllItemNames"
  !insertmacro Wexlib_DeleteFileItem $Items "EXTRA" "" $Res
  !insertmacro Record "DeleteFileItem EXTRA"
  !insertmacro Wexlib_GetAllItemNames $Items $Res $Out
  !insertmacro Record "GetAllItemNames after DeleteFileItem"
  !insertmacro Wexlib_GetAllItemNames "$INSTDIR\no-such.ini" $Res $Out
  !insertmacro Record "GetAllItemNames of a missing file"

  ; 300 names of 8 bytes: 2400 bytes of names, more than a variable holds,
  ; in a buffer that only the file's size makes big enough.
  FileOpen $Tmp "$INSTDIR\many.ini" w
  StrCpy $Out 1
  ${Do}
    IntFmt $Res "%03d" $Out
    FileWrite $Tmp "ITEM$Res=v$\r$\n"
    IntOp $Out $Out + 1
  ${LoopUntil} $Out > 300
  FileClose $Tmp
  StrCpy $Out ""
  !insertmacro Wexlib_GetAllItemNames "$INSTDIR\many.ini" $Res $Out
  !insertmacro Record "GetAllItemNames of 300 names"

  FileOpen $Tmp "$INSTDIR\passwd" w
  FileWrite $Tmp "merchant:x:1000:1000::/home/merchant:/bin/sh$\r$\nother:x:1001$\r$\n"
  FileClose $Tmp
  !insertmacro Wexlib__GetUserName "$INSTDIR\passwd" $Res $Out
  !insertmacro Record "_GetUserName"

  ; ---- Texts that the exports change or lengthen ----
  !insertmacro Wexlib_URLEncode "ACME Store & Co." $Res $Out
  !insertmacro Record "URLEncode"
  ; 400 "&" become 1200 bytes: the buffer must hold them, the variable
  ; keeps the first 1023 bytes.
  StrCpy $Tmp ""
  ${For} $Out 1 400
    StrCpy $Tmp "$Tmp&"
  ${Next}
  StrCpy $Out ""
  !insertmacro Wexlib_URLEncode $Tmp $Res $Out
  !insertmacro Record "URLEncode of 400 ampersands"
  ; The name is lowercased in a copy: the register passed stays as it was.
  !insertmacro Wexlib_ComputeMerchID $R5 $Res $Out
  !insertmacro Record "ComputeMerchID kR5"
  !insertmacro Wexlib_ComputeMerchID "ACME" $Res $Out
  !insertmacro Record "ComputeMerchID ACME"

  ; ---- Registry ----
  DeleteRegKey HKLM "${TESTKEY}"
  WriteRegStr HKLM "${TESTKEY}\Store\Components" "Keep" "1"
  StrCpy $List "one+two"
  !insertmacro Wexlib_SetRegMultiSz "${TESTKEY}\Store\Components" "List" $List $Res
  StrCpy $Out $List
  !insertmacro Record "SetRegMultiSz (list kept)"
  !insertmacro Wexlib_EnumKeys "${TESTKEY}" 0 $Res $Out
  !insertmacro Record "EnumKeys 0"
  !insertmacro Wexlib_EnumKeys "" 1 $Res $Out
  !insertmacro Record "EnumKeys 1"
  !insertmacro Wexlib_RegRemoveValue "${TESTKEY}\Store\Components" "List" $Res
  !insertmacro Record "RegRemoveValue"
  !insertmacro Wexlib_RegRemovePayComponent "wexnsis-no-such-store" $Res
  !insertmacro Record "RegRemovePayComponent"
  DeleteRegKey HKLM "${TESTKEY}"

  ; ---- Services ----
  !insertmacro Wexlib_ServiceExists "${SERVICE}" $Res
  !insertmacro Record "ServiceExists before"
  !insertmacro Wexlib_InstallService "${SERVICE}" '"$INSTDIR\testservice.exe" prompt' 3 $Res
  !insertmacro Record "InstallService"
  !insertmacro Wexlib_ServiceExists "${SERVICE}" $Res
  !insertmacro Record "ServiceExists"
  !insertmacro Wexlib_BeginService "${SERVICE}" $Res
  !insertmacro Record "BeginService"
  !insertmacro Wexlib_ServiceRunning "${SERVICE}" $Res
  !insertmacro Record "ServiceRunning"
  !insertmacro Wexlib_StopServer "wexnsis-no-such-task" "${SERVICE}" $Res
  !insertmacro Record "StopServer"
  !insertmacro Wexlib_ServiceRunning "${SERVICE}" $Res
  !insertmacro Record "ServiceRunning after StopServer"
  !insertmacro Wexlib_StopService "${SERVICE}" $Res
  !insertmacro Record "StopService of a stopped service"
  !insertmacro Wexlib_RemoveService "${SERVICE}" $Res
  !insertmacro Record "RemoveService"
  !insertmacro Wexlib_UnInstallService "${SERVICE}" $Res
  !insertmacro Record "UnInstallService"

  ; ---- Processes (an empty working folder is the installer's own) ----
  !insertmacro Wexlib_RunCommand '"$INSTDIR\wexwin.exe" "Macro window"' "" $Res
  !insertmacro Record "RunCommand"
  ${For} $Tmp 1 40
    !insertmacro Wexlib_GetPID "macro window" $Res
    ${IfThen} $Res != 0 ${|} ${Break} ${|}
    Sleep 250
  ${Next}
  ${IfThen} $Res > 0 ${|} StrCpy $Res "a process id" ${|}
  !insertmacro Record "GetPID by title"
  !insertmacro Wexlib_KillProcess "wexwin" 0 0 $Res
  !insertmacro Record "KillProcess asks to close"
  ${For} $Tmp 1 40
    !insertmacro Wexlib_GetPID "wexwin" $Res
    ${IfThen} $Res == 0 ${|} ${Break} ${|}
    Sleep 250
  ${Next}
  !insertmacro Record "GetPID after KillProcess"

  ; ---- Form post: nothing listens on port 1 ----
  !insertmacro Wexlib_SendMsg "127.0.0.1" "1" "/register" "a=1" $Res
  !insertmacro Record "SendMsg to a closed port"

  ; ---- Registers as inputs and outputs of the same call ----
  StrCpy $3 "$INSTDIR\items.ini"
  StrCpy $4 "COLOR"
  !insertmacro Wexlib_GetFileItem $3 $4 $4 $3
  StrCpy $Res $4
  StrCpy $Out $3
  StrCpy $3 k3
  StrCpy $4 k4
  !insertmacro Record "GetFileItem into its own input registers"

  !insertmacro Wexlib_SetLogFile "" $Res
  !insertmacro Record "SetLogFile closes"
  !insertmacro Wexlib_Unload
  Pop $Tmp
  FileClose $Report
SectionEnd
