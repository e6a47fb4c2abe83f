; The per-user installer of Velmora Title Background, for NSIS 3 (Debian's nsis package).
; scripts/release.sh passes VERSION (x.y.z, from CMakeLists.txt), PROGRAM (velmora.exe) and
; OUTFILE; paths here are relative to this folder, where makensis works. No administrator
; rights: everything goes under the current user.
;
;   setup.exe                    the pages, in the user's language (English, Simplified
;                                Chinese or Japanese, chosen as the program chooses its own)
;   setup.exe /S                 silent; /D=FOLDER (last, unquoted) installs elsewhere
;   setup.exe /S /AUTOSTART=1    also starts the program with Windows (=0: no longer)
;   uninstall.exe [/S]           removes it; silent, it keeps the settings
;
; Installing over an installed version replaces it in place; the settings stay. A running
; program is asked to quit as its menu's Quit would, and waited for.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define NAME "Velmora Title Background"
!define PUBLISHER "The Velmora Title Background developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelmoraTitleBackground"
; The program's own registry places and window class (shell/settings.h, shell/window_classes.h).
!define SETTINGS_KEY "Software\VelmoraTitleLive"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "VelmoraTitleLive"
!define TRAY_CLASS "VelmoraTitleLiveTray"
!define SHORTCUT "$SMPROGRAMS\${NAME}.lnk"
; The program's autostart command: its full path in double quotes, nothing else.
!define AUTOSTART_COMMAND '"$INSTDIR\velmora.exe"'
!define QUIT_WAIT_MS 10000
!define SYNCHRONIZE 0x00100000
!define WAIT_TIMEOUT 258

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"

!define MUI_ICON "../../../assets/velmora.ico"
!define MUI_UNICON "../../../assets/velmora.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; NSIS takes the user's interface language, else one of the same primary language, else the
; first: the program's own automatic choice (every Chinese reads Simplified Chinese).
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "Japanese"
!include "texts.nsh"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${NAME} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) ${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}.0"

; Asks a running program to quit (WM_CLOSE to its tray window, which it takes for its menu's
; Quit) and waits for its process to end, at most 10 s a time. Only one runs per user. Still
; running: Retry, or Cancel, which aborts; silent, it aborts.
!macro EndRunningProgram UN
Function ${UN}EndRunningProgram
  again:
  FindWindow $0 "${TRAY_CLASS}"
  ${If} $0 P= 0
    Return
  ${EndIf}
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=${QUIT_WAIT_MS}
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${QUIT_WAIT_MS}) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    ; No handle on the process: the end of its tray window, the last step of its exit,
    ; stands for it.
    StrCpy $1 0
    StrCpy $3 0
    poll:
    IsWindow $0 0 polled
    Sleep 100
    IntOp $1 $1 + 100
    IntCmp $1 ${QUIT_WAIT_MS} 0 poll
    StrCpy $3 ${WAIT_TIMEOUT}
    polled:
  ${EndIf}
  ${If} $3 = ${WAIT_TIMEOUT}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY again
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro EndRunningProgram ""
!insertmacro EndRunningProgram "un."

Section "-${NAME}" SecProgram
  Call EndRunningProgram
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "/oname=velmora.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\velmora.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${GetSize} "$INSTDIR" "/M=velmora.exe /S=0K /G=0" $0 $1 $2
  ${GetSize} "$INSTDIR" "/M=uninstall.exe /S=0K /G=0" $1 $2 $3
  IntOp $0 $0 + $1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The very value the program's "Start with Windows" writes, so that its menu shows it checked.
Section /o "$(StartWithWindows)" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '${AUTOSTART_COMMAND}'
SectionEnd

; Turned off, only a value naming this installation is removed.
Section "-Autostart off"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $0 == '${AUTOSTART_COMMAND}'
      DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
  ${EndIf}
SectionEnd

Function .onInit
  ; The option starts as the installation found it, so that an upgrade keeps it.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '${AUTOSTART_COMMAND}'
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/AUTOSTART=" $2
  ${IfNot} ${Errors}
    ${If} $2 == 1
      !insertmacro SelectSection ${SecAutostart}
    ${Else}
      !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Removes only what the installer put there: a folder given with /D= may hold other files,
; and it stays unless it is empty then.
Section "Uninstall"
  SetShellVarContext current
  StrCpy $4 keep
  MessageBox MB_YESNO|MB_ICONQUESTION "$(KeepSettings)" /SD IDYES IDYES +2
  StrCpy $4 delete
  Call un.EndRunningProgram
  ${If} $4 == delete
    DeleteRegKey HKCU "${SETTINGS_KEY}"
  ${EndIf}
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '${AUTOSTART_COMMAND}'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
