; provision.nsi - a setup that installs one merchant store with Wexlib.dll,
; calling it only through nsis/Wexlib.nsh: the merchant's item file, its
; identifier and key pair, the registration post, the store's service, the
; store's components in the registry, and a check that the merchant console
; starts and can be ended.
;
; Build (from the repository's root):
;   makensis -DWEXLIB_TARGET=x86-ansi -DWEXLIB_BIN=build/win32/bin examples/nsis/provision.nsi
;   makensis -DWEXLIB_TARGET=amd64-unicode -DWEXLIB_BIN=build/win64/bin examples/nsis/provision.nsi
; WEXLIB_TARGET: x86-ansi (the default), x86-unicode or amd64-unicode.
; WEXLIB_BIN: the build whose Wexlib.dll, makekeys.exe, testservice.exe and
; wexwin.exe go into the installer, which must match the target (win32 for
; x86-*, win64 for amd64-unicode). A relative path counts from this folder,
; so pass an absolute one from elsewhere.
; Other defines: OUTFILE (the installer's name), MERCHANT, MERCHANT_NAME,
; MERCHANT_PORT, SERVICE_NAME, WAIT_LIMIT (milliseconds), and MERCHANT_SEED
; (a fixed key seed; by default each install makes a fresh one).
;
; Run:
;   provision-x86-ansi.exe [/S] [/REGHOST=host /REGPORT=port] [/D=C:\install\root]
; /S runs unattended: no message box of the library is shown and every call
; goes to <install root>\install.log. /REGHOST and /REGPORT post the
; merchant's registration there over HTTPS. /D= (last, unquoted) sets the
; install root; a Unicode installer (x86-unicode, amd64-unicode) calls the
; library's wide twins, so that root may have a name in any language.
; A failed step ends the setup with exit code 2 and writes what failed to
; <install root>\setup-error.txt.

!ifndef WEXLIB_TARGET
  !define WEXLIB_TARGET x86-ansi
!endif
!if "${WEXLIB_TARGET}" == "x86-ansi"
  Unicode false
!else
  Target ${WEXLIB_TARGET}
!endif

!ifndef WEXLIB_BIN
  !if "${WEXLIB_TARGET}" == "amd64-unicode"
    !define WEXLIB_BIN ../../build/win64/bin
  !else
    !define WEXLIB_BIN ../../build/win32/bin
  !endif
!endif
!ifndef OUTFILE
  !define OUTFILE provision-${WEXLIB_TARGET}.exe
!endif
!ifndef MERCHANT
  !define MERCHANT acme
!endif
!ifndef MERCHANT_NAME
  !define MERCHANT_NAME "ACME Store"
!endif
!ifndef MERCHANT_PORT
  !define MERCHANT_PORT 8443
!endif
!ifndef SERVICE_NAME
  !define SERVICE_NAME WexMerchantService
!endif
!ifndef WAIT_LIMIT
  !define WAIT_LIMIT 15000
!endif

!define STORES "SOFTWARE\Microsoft\MerchantServer\Stores"
!define COMPONENTS "${STORES}\${MERCHANT}\Components"

!include LogicLib.nsh
!include FileFunc.nsh
!include "../../nsis/Wexlib.nsh"

Name "Wex Merchant Store (${MERCHANT_NAME})"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
!if "${WEXLIB_TARGET}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\WexMerchant"
!else
  InstallDir "$PROGRAMFILES\WexMerchant"
!endif
ShowInstDetails show

Page directory
Page instfiles

Var Items        ; the merchant's item file
Var KeyFile      ; the key file the generator writes
Var MerchantId   ; the merchant identifier

; Ends the setup when a call did not give what it must: the reason goes to
; the details, to setup-error.txt and (attended) a message box.
!macro Require rq_got rq_expected rq_what
  ${If} `${rq_got}` != `${rq_expected}`
    Push `${rq_what}: got "${rq_got}", expected "${rq_expected}"`
    Call Fail
  ${EndIf}
!macroend

Function Fail
  Exch $0
  DetailPrint "Setup failed: $0"
  FileOpen $1 "$INSTDIR\setup-error.txt" a
  FileSeek $1 0 END
  FileWrite $1 "$0$\r$\n"
  FileClose $1
  MessageBox MB_ICONSTOP|MB_OK "Setup failed: $0" /SD IDOK
  SetErrorLevel 2
  Abort
FunctionEnd

; The merchant's settings: name and port, written and read back.
Function ItemFile
  StrCpy $Items "$INSTDIR\merchants\${MERCHANT}\merchant.ini"
  Delete $Items
  !insertmacro Wexlib_AddFileItem $Items "MERCHANT_NAME" "${MERCHANT_NAME}" $0
  !insertmacro Require $0 1 "AddFileItem MERCHANT_NAME"
  ; The shipped default port, then the one this setup was built for.
  !insertmacro Wexlib_AddFileItem $Items "PORT" "80" $0
  !insertmacro Require $0 1 "AddFileItem PORT"
  !insertmacro Wexlib_SetFileItem $Items "PORT" "${MERCHANT_PORT}" $0
  !insertmacro Require $0 1 "SetFileItem PORT"
  !insertmacro Wexlib_GetFileItem $Items "PORT" $0 $1
  !insertmacro Require "$0 $1" "1 ${MERCHANT_PORT}" "GetFileItem PORT"
FunctionEnd

; The merchant's identifier and key pair: the generator writes the key file,
; whose blocks then move into the item file (and reginfo.txt).
Function MerchantKeys
  !insertmacro Wexlib_ComputeMerchID "${MERCHANT}" $0 $MerchantId
  !insertmacro Wexlib_SetFileItem $Items "MERCHANT_ID" $MerchantId $0
  !insertmacro Require $0 1 "SetFileItem MERCHANT_ID"

  !ifdef MERCHANT_SEED
    StrCpy $2 "${MERCHANT_SEED}"
  !else
    System::Call 'ole32::CoCreateGuid(g .r2)'
    System::Call 'kernel32::GetTickCount() i .r3'
    StrCpy $2 "${MERCHANT_NAME} $2 $3"
  !endif
  StrCpy $KeyFile "$INSTDIR\merchants\${MERCHANT}\${MERCHANT}.key"
  Delete $KeyFile
  !insertmacro Wexlib_MakeKeys $INSTDIR "${MERCHANT}" $2 $0
  StrCpy $2 ""
  !insertmacro Require $0 1 "MakeKeys"
  ; MakeKeys gives the generator 1.5 s and does not wait for it: the key
  ; file appears complete (it is renamed into place) when it is done.
  StrCpy $1 0
  ${DoUntil} ${FileExists} $KeyFile
    ${If} $1 >= 40
      Push "MakeKeys: no key file $KeyFile after 10 s"
      Call Fail
    ${EndIf}
    Sleep 250
    IntOp $1 $1 + 1
  ${Loop}

  !insertmacro Wexlib_SubstituteKeys $KeyFile $Items $0 $1
  !insertmacro Require $0 1 "SubstituteKeys"
  DetailPrint "Merchant public key: $1"
  !insertmacro Wexlib_SetFileItem $Items "KEYS_INSTALLED" "yes" $0
  !insertmacro Require $0 1 "SetFileItem KEYS_INSTALLED"
  !insertmacro Wexlib_GetFileItem $Items "MERCHANT_ID" $0 $1
  !insertmacro Require "$0 $1" "1 $MerchantId" "GetFileItem MERCHANT_ID"
  !insertmacro Wexlib_GetAllItemNames $Items $0 $1
  DetailPrint "Merchant settings ($0): $1"
FunctionEnd

; The registration post over HTTPS, when /REGHOST= and /REGPORT= name a
; server; its certificate must be for that host and chain to a root of the
; machine's root store.
Function Register
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REGHOST=" $1
  ${GetOptions} $0 "/REGPORT=" $2
  ${If} ${Errors}
    DetailPrint "No registration server given: not registered."
    Return
  ${EndIf}
  !insertmacro Wexlib_URLEncode "${MERCHANT_NAME}" $0 $3
  !insertmacro Wexlib_URLEncode $MerchantId $0 $4
  !insertmacro Wexlib_SendMsgSecure $1 $2 "/register" "merchant=$3&id=$4" $0
  !insertmacro Require $0 1 "SendMsgSecure $1:$2"
FunctionEnd

; The store's service: installed, started, stopped and removed again, as a
; setup checks that the service can run before it leaves it to the store.
Function StoreService
  !insertmacro Wexlib_InstallService "${SERVICE_NAME}" '"$INSTDIR\bin\testservice.exe" prompt' 3 $0
  !insertmacro Require $0 1 "InstallService"
  !insertmacro Wexlib_BeginService "${SERVICE_NAME}" $0
  !insertmacro Require $0 1 "BeginService"
  !insertmacro Wexlib_ServiceRunning "${SERVICE_NAME}" $0
  !insertmacro Require $0 1 "ServiceRunning"
  !insertmacro Wexlib_StopService "${SERVICE_NAME}" $0
  !insertmacro Require $0 1 "StopService"
  !insertmacro Wexlib_UnInstallService "${SERVICE_NAME}" $0
  !insertmacro Require $0 1 "UnInstallService"
  !insertmacro Wexlib_ServiceExists "${SERVICE_NAME}" $0
  !insertmacro Require $0 0 "ServiceExists after UnInstallService"
FunctionEnd

; The store's components: the catalog, the basic payment component and a
; trial component are registered first; once the store is found among the
; stores, the payment list is written anew with the invoice component and
; the trial is retired. Left behind: Components_Catalog (REG_SZ) and
; Components_Payment (REG_MULTI_SZ WexPay.Card, WexPay.Invoice).
Function StoreRegistry
  ; The library creates no key: the components key comes from here.
  WriteRegStr HKLM "${COMPONENTS}" "Components_Catalog" "WexCatalog"
  ReadRegStr $0 HKLM "${COMPONENTS}" "Components_Catalog"
  !insertmacro Require $0 "WexCatalog" "WriteRegStr Components_Catalog"
  !insertmacro Wexlib_SetRegMultiSz "${COMPONENTS}" "Components_Payment" "WexPay.Card" $0
  !insertmacro Require $0 1 "SetRegMultiSz Components_Payment"
  !insertmacro Wexlib_SetRegMultiSz "${COMPONENTS}" "Components_Trial" "WexPay.Trial" $0
  !insertmacro Require $0 1 "SetRegMultiSz Components_Trial"

  StrCpy $1 0
  StrCpy $2 ""
  ${Do}
    !insertmacro Wexlib_EnumKeys "${STORES}" $1 $0 $3
    ${If} $0 != 1
      ${Break}
    ${EndIf}
    ${If} $3 == "${MERCHANT}"
      StrCpy $2 $3
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  !insertmacro Require $2 "${MERCHANT}" "EnumKeys: the store among the stores"

  !insertmacro Wexlib_RegRemovePayComponent "${MERCHANT}" $0
  !insertmacro Require $0 1 "RegRemovePayComponent"
  !insertmacro Wexlib_SetRegMultiSz "${COMPONENTS}" "Components_Payment" "WexPay.Card+WexPay.Invoice" $0
  !insertmacro Require $0 1 "SetRegMultiSz Components_Payment"
  !insertmacro Wexlib_RegRemoveValue "${COMPONENTS}" "Components_Trial" $0
  !insertmacro Require $0 1 "RegRemoveValue Components_Trial"
FunctionEnd

; The merchant console must start; it is ended again before the setup ends.
Function Console
  !insertmacro Wexlib_RunCommand '"$INSTDIR\bin\wexwin.exe" "${MERCHANT_NAME} console"' "$INSTDIR\bin" $0
  !insertmacro Require $0 1 "RunCommand wexwin.exe"
  StrCpy $1 0
  ${Do}
    !insertmacro Wexlib_GetPID "wexwin" $0
    ${IfThen} $0 != 0 ${|} ${Break} ${|}
    ${If} $1 >= 40
      Push "GetPID: the console did not start within 10 s"
      Call Fail
    ${EndIf}
    Sleep 250
    IntOp $1 $1 + 1
  ${Loop}
  !insertmacro Wexlib_KillProcess "wexwin" $0 1 $2
  !insertmacro Require $2 1 "KillProcess $0"
  StrCpy $1 0
  ${Do}
    !insertmacro Wexlib_GetPID "wexwin" $0
    ${IfThen} $0 == 0 ${|} ${Break} ${|}
    ${If} $1 >= 40
      Push "GetPID: the console still runs 10 s after KillProcess"
      Call Fail
    ${EndIf}
    Sleep 250
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd

Section "Merchant store"
  SetOutPath "$INSTDIR\bin"
  File "${WEXLIB_BIN}/makekeys.exe"
  File "${WEXLIB_BIN}/testservice.exe"
  File "${WEXLIB_BIN}/wexwin.exe"
  ; The generator writes into the merchant's folder, which must exist.
  CreateDirectory "$INSTDIR\merchants\${MERCHANT}"

  !insertmacro Wexlib_Init "${WEXLIB_BIN}/Wexlib.dll"
  ${If} ${Silent}
    ; The log first, so that it records the switch to silent mode too.
    !insertmacro Wexlib_SetLogFile "$INSTDIR\install.log" $0
    !insertmacro Require $0 1 "SetLogFile"
    !insertmacro Wexlib_SetSilentMode 1 $0
  ${EndIf}
  ; Attended or not, no service or network wait may stop the setup for good.
  !insertmacro Wexlib_SetWaitLimit ${WAIT_LIMIT} $0

  Call ItemFile
  Call MerchantKeys
  Call Register
  Call StoreService
  Call StoreRegistry
  Call Console
SectionEnd

; The log is closed (its last line) and the DLL freed however the setup
; ends, so that the plug-ins folder can go.
Function CloseWexlib
  !insertmacro Wexlib_SetLogFile "" $0
  !insertmacro Wexlib_Unload
FunctionEnd

Function .onInstSuccess
  Call CloseWexlib
FunctionEnd

Function .onInstFailed
  Call CloseWexlib
FunctionEnd
