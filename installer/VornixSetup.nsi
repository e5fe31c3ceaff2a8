; The setup of Vornix! Popup Blocker: installs, upgrades and removes it.
;
;   makensis -WX -DVX_BIN=<folder of the 64-bit programs> -DVX_OUT=<setup file> VornixSetup.nsi
;
; Switches: /S silent (setup and uninstaller), /NOSTART leaves the agent
; stopped after installing.
; Exit codes: 0 done, 1 cancelled by the user, 2 a step failed or nothing is
; installed to remove (the machine is left as it was, or without the blocker
; but with its settings), 740 not run as an administrator.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VX_BIN
  !error "VX_BIN must name the folder holding the built programs"
!endif
!ifndef VX_OUT
  !define VX_OUT "VornixSetup.exe"
!endif

!define PRODUCT "Vornix! Popup Blocker"
!define MAKER "Quandrel, Inc."
!define VERSION "1.00.000"
; The programs find each other in this folder below Program Files, so it is
; not the user's choice. It has no full stop after "Inc", unlike the key.
!define FOLDER "$PROGRAMFILES64\Quandrel, Inc\${PRODUCT}"
!define SETTINGS_KEY "Software\${MAKER}\${PRODUCT}\${VERSION}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MENU "$SMPROGRAMS\${PRODUCT}"
!define SERVICE "KrellinSvc"
; Milliseconds given to the agent and the service to end.
!define END_WAIT 20000

!define ERROR_FAILED 2
!define ERROR_ELEVATION_REQUIRED 740

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

Name "${PRODUCT}"
OutFile "${VX_OUT}"
InstallDir "${FOLDER}"
BrandingText "${MAKER}"
ShowInstDetails show
ShowUninstDetails show
AllowSkipFiles off

VIProductVersion 1.0.0.0
VIFileVersion 1.0.0.0
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 CompanyName "${MAKER}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2004 ${MAKER}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 OriginalFilename "VornixSetup.exe"

!define MUI_ICON "../agent/Krellin.ico"
!define MUI_UNICON "../agent/Krellin.ico"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var Failure

!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Setting up ${PRODUCT} needs administrator rights. Run it again as an administrator." /SD IDOK
    SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
    Quit
  ${EndIf}
!macroend

; The programs report a failed registration in a message box; in a silent
; run nobody would close it, so they are told to write to standard error.
!macro QuietRegistration
  ${If} ${Silent}
    System::Call 'kernel32::SetEnvironmentVariable(t "VORNIX_NO_MESSAGEBOX", t "1")'
  ${EndIf}
!macroend

; Sends a close message to a program's window and waits until its process
; is gone. Sets the error flag and $Failure when it does not end.
!macro CloseProgram class title program
  FindWindow $0 "${class}" "${title}"
  ${If} $0 <> 0
    DetailPrint "Ending ${program}"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=${END_WAIT}
    ${If} $2 != 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${END_WAIT}) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
      ${If} $3 <> 0
        StrCpy $Failure "${program} did not end."
        SetErrors
        Return
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

; Ends the agent and the control panel and stops the settings service,
; waiting until their processes are gone, since files in use can be neither
; replaced nor deleted. Sets the error flag and $Failure when one will not end.
!macro StopBlockerFunction un
Function ${un}StopBlocker
  ClearErrors
  !insertmacro CloseProgram "Krellin" "" "The agent (Krellin.exe)"
  !insertmacro CloseProgram "#32770" "${PRODUCT}" "The control panel (VornixUI.exe)"

  ; SC_MANAGER_CONNECT; SERVICE_QUERY_STATUS | SERVICE_STOP.
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .r4'
  ${If} $4 == 0
    StrCpy $Failure "The service manager could not be opened."
    SetErrors
    Return
  ${EndIf}
  System::Call 'advapi32::OpenServiceW(p r4, w "${SERVICE}", i 0x24) p .r5'
  ${If} $5 != 0
    ; SERVICE_STATUS_PROCESS: the state is its second field, the process its eighth.
    System::Alloc 36
    Pop $6
    System::Call 'advapi32::QueryServiceStatusEx(p r5, i 0, p r6, i 36, *i .r7) i .r8'
    System::Call '*$6(i, i .r8, i, i, i, i, i, i .r9)'
    ${If} $8 <> 1
      DetailPrint "Stopping the service ${SERVICE}"
      System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r9) p .r2'
      System::Call 'advapi32::ControlService(p r5, i 1, p r6) i'
      StrCpy $3 0
      ${Do}
        Sleep 200
        IntOp $3 $3 + 200
        System::Call 'advapi32::QueryServiceStatusEx(p r5, i 0, p r6, i 36, *i .r7) i .r7'
        System::Call '*$6(i, i .r8)'
        ${IfThen} $8 = 1 ${|} ${ExitDo} ${|}
      ${LoopWhile} $3 < ${END_WAIT}
      ${If} $2 != 0
        ${If} $8 = 1
          System::Call 'kernel32::WaitForSingleObject(p r2, i ${END_WAIT}) i .r8'
          ${If} $8 = 0
            StrCpy $8 1
          ${EndIf}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r2)'
      ${EndIf}
    ${EndIf}
    System::Free $6
    System::Call 'advapi32::CloseServiceHandle(p r5)'
  ${EndIf}
  System::Call 'advapi32::CloseServiceHandle(p r4)'
  ${If} $5 != 0
  ${AndIf} $8 <> 1
    StrCpy $Failure "The service ${SERVICE} did not stop."
    SetErrors
  ${EndIf}
FunctionEnd
!macroend
!insertmacro StopBlockerFunction ""
!insertmacro StopBlockerFunction "un."

; Unregisters the programs and removes everything the setup made except the
; settings key: the uninstaller's work, and the undoing of a failed install.
!macro RemoveCopyFunction un
Function ${un}RemoveCopy
  ; A process cannot remove the folder it works in.
  SetOutPath "$TEMP"
  ${If} ${FileExists} "$INSTDIR\KrellinSvc.exe"
    ExecWait '"$INSTDIR\KrellinSvc.exe" /UnregServer'
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\Krellin.exe"
    ExecWait '"$INSTDIR\Krellin.exe" /UnregServer'
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\VornixUI.exe"
    ExecWait '"$INSTDIR\VornixUI.exe" /UnregServer'
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\Marklore.dll"
    UnRegDLL "$INSTDIR\Marklore.dll"
  ${EndIf}
  Delete "$INSTDIR\Krellin.exe"
  Delete "$INSTDIR\KrellinSvc.exe"
  Delete "$INSTDIR\VornixUI.exe"
  Delete "$INSTDIR\Marklore.dll"
  Delete "$INSTDIR\vornixui-popup.htm"
  Delete "$INSTDIR\index.htm"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  ${GetParent} "$INSTDIR" $0
  RMDir "$0"
  Delete "${MENU}\${PRODUCT}.lnk"
  Delete "${MENU}\Uninstall ${PRODUCT}.lnk"
  RMDir "${MENU}"
  DeleteRegValue HKLM "${RUN_KEY}" "Krellin"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
FunctionEnd
!macroend
!insertmacro RemoveCopyFunction ""
!insertmacro RemoveCopyFunction "un."

; Undoes what the failed install did (a key holding settings stays), reports
; and ends with ERROR_FAILED.
!macro FailInstall message
  StrCpy $Failure "${message}"
  Goto failed
!macroend

!macro RegisterProgram file switch
  ExecWait '"$INSTDIR\${file}" ${switch}' $0
  ${If} $0 != 0
    !insertmacro FailInstall "${file} ${switch} failed (exit code $0)."
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RequireAdministrator
  SetShellVarContext all
  StrCpy $INSTDIR "${FOLDER}"
FunctionEnd

Section "Install"
  Call StopBlocker
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$Failure$\r$\nNothing has been changed." /SD IDOK
    SetErrorLevel ${ERROR_FAILED}
    Abort $Failure
  ${EndIf}
  !insertmacro QuietRegistration

  SetOutPath "$INSTDIR"
  SetOverwrite try
  ClearErrors
  File "${VX_BIN}/Krellin.exe"
  File "${VX_BIN}/KrellinSvc.exe"
  File "${VX_BIN}/VornixUI.exe"
  File "${VX_BIN}/Marklore.dll"
  File "${VX_BIN}/vornixui-popup.htm"
  File "${VX_BIN}/index.htm"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${If} ${Errors}
    !insertmacro FailInstall "The files could not be written to $INSTDIR."
  ${EndIf}

  ; The settings service reads and writes this key but never creates it.
  ; Its values are left alone: an upgrade keeps the user's settings.
  System::Call 'advapi32::RegCreateKeyExW(p 0x80000002, w "${SETTINGS_KEY}", i 0, p 0, i 0, i 0x20006, p 0, *p .r1, p 0) i .r0'
  ${If} $0 <> 0
    !insertmacro FailInstall "The settings key could not be created (error $0)."
  ${EndIf}
  System::Call 'advapi32::RegCloseKey(p r1)'

  DetailPrint "Registering the programs"
  !insertmacro RegisterProgram KrellinSvc.exe -Service
  !insertmacro RegisterProgram Krellin.exe /RegServer
  !insertmacro RegisterProgram VornixUI.exe /RegServer
  ClearErrors
  RegDLL "$INSTDIR\Marklore.dll"
  ${If} ${Errors}
    !insertmacro FailInstall "Marklore.dll could not be registered."
  ${EndIf}

  ClearErrors
  WriteRegStr HKLM "${RUN_KEY}" "Krellin" '"$INSTDIR\Krellin.exe"'
  CreateDirectory "${MENU}"
  CreateShortcut "${MENU}\${PRODUCT}.lnk" "$INSTDIR\VornixUI.exe"
  CreateShortcut "${MENU}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "http://www.quandrel.com/"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Krellin.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  ${If} ${Errors}
    !insertmacro FailInstall "The shortcuts or the uninstall entry could not be written."
  ${EndIf}

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSTART" $1
  ${If} ${Errors}
    System::Call 'kernel32::SetEnvironmentVariable(t "VORNIX_NO_MESSAGEBOX", p 0)'
    Exec '"$INSTDIR\Krellin.exe"'
  ${EndIf}
  Return

failed:
  DetailPrint "$Failure"
  Call RemoveCopy
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\${MAKER}\${PRODUCT}"
  DeleteRegKey /ifempty HKLM "Software\${MAKER}"
  MessageBox MB_OK|MB_ICONSTOP "$Failure$\r$\n${PRODUCT} has not been installed." /SD IDOK
  SetErrorLevel ${ERROR_FAILED}
  Abort $Failure
SectionEnd

Function un.onInit
  !insertmacro RequireAdministrator
  SetShellVarContext all
  ${IfNot} ${FileExists} "$INSTDIR\Krellin.exe"
    ClearErrors
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "UninstallString"
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is not installed in $INSTDIR." /SD IDOK
      SetErrorLevel ${ERROR_FAILED}
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.StopBlocker
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$Failure$\r$\n${PRODUCT} has not been removed." /SD IDOK
    SetErrorLevel ${ERROR_FAILED}
    Abort $Failure
  ${EndIf}
  !insertmacro QuietRegistration
  Call un.RemoveCopy
  MessageBox MB_YESNO|MB_ICONQUESTION "Remove your settings and the block count as well?" /SD IDNO IDNO done
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\${MAKER}\${PRODUCT}"
  DeleteRegKey /ifempty HKLM "Software\${MAKER}"
done:
SectionEnd
