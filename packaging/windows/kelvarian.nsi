; The Windows setup: Kelvarian for the current user without administrator
; rights (%LOCALAPPDATA%\Programs\Kelvarian, HKCU), or for all users into
; Program Files (HKLM) when the setup runs elevated. The settings and the log
; live in each user's %APPDATA%\Kelvarian and are never touched here, so an
; upgrade or an uninstall keeps them.
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.3 -DVERSION_QUAD=1.3.0.0
;            -DFILES=<folder with the programs and texts> -DICON=<kelvarian.ico>
;            -DOUTFILE=<setup.exe> kelvarian.nsi
;
; Options: /S (silent), /ALLUSERS or /CURRENTUSER, /D=<folder> (last).
; Exit codes besides NSIS's own (1 cancelled, 2 aborted):
;   3  Kelvarian runs and was not closed (always so when silent)
;   4  /ALLUSERS without administrator rights
Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!define PRODUCT "Kelvarian"
!define PUBLISHER "Kelvarian developers"
; kelvarian.exe knows the folder it was installed into by this file beside it.
!define UNINSTALLER "Uninstall Kelvarian.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvarian"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The class of the program's main window: how a running Kelvarian is found.
!define WINDOW_CLASS "KelvarianMainWindow"
!define EXIT_PROGRAM_RUNS 3
!define EXIT_NEEDS_ADMIN 4

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Kelvarian"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "2026 ${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

Var AllUsers      ; 1: for all users, Program Files and HKLM
Var IsAdmin       ; 1: the setup runs elevated
Var ModeChosen    ; 1: /ALLUSERS or /CURRENTUSER given, no choice page
Var FolderGiven   ; 1: /D= given, the folder stays as the user said
Var MineButton
Var AllButton

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\kelvarian.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first is the fallback; otherwise the system's language decides.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString ModeTitle ${LANG_ENGLISH} "Who uses Kelvarian"
LangString ModeTitle ${LANG_RUSSIAN} "Для кого установить Kelvarian"
LangString ModeSubtitle ${LANG_ENGLISH} "Install for yourself only, or for every user of this computer."
LangString ModeSubtitle ${LANG_RUSSIAN} "Только для вас или для всех пользователей этого компьютера."
LangString ModeMine ${LANG_ENGLISH} "Only for me (no administrator rights needed)"
LangString ModeMine ${LANG_RUSSIAN} "Только для меня (права администратора не нужны)"
LangString ModeAll ${LANG_ENGLISH} "For all users of this computer (into Program Files)"
LangString ModeAll ${LANG_RUSSIAN} "Для всех пользователей компьютера (в Program Files)"
LangString ModeNote ${LANG_ENGLISH} "Each user's settings and log stay in his own %APPDATA%\Kelvarian folder."
LangString ModeNote ${LANG_RUSSIAN} "Настройки и журнал каждого пользователя хранятся в его папке %APPDATA%\Kelvarian."
LangString SectionProgram ${LANG_ENGLISH} "Kelvarian and the Start menu shortcut"
LangString SectionProgram ${LANG_RUSSIAN} "Kelvarian и ярлык в меню «Пуск»"
LangString SectionDesktop ${LANG_ENGLISH} "Desktop shortcut"
LangString SectionDesktop ${LANG_RUSSIAN} "Ярлык на рабочем столе"
LangString SectionLogOn ${LANG_ENGLISH} "Start Kelvarian when I log on"
LangString SectionLogOn ${LANG_RUSSIAN} "Запускать Kelvarian при входе в Windows"
LangString ProgramRuns ${LANG_ENGLISH} "Kelvarian is running. Close it now? It saves its settings first.$\r$\n$\r$\nOK closes Kelvarian and goes on, Cancel stops the setup."
LangString ProgramRuns ${LANG_RUSSIAN} "Kelvarian запущен. Закрыть его сейчас? Он сначала сохранит свои настройки.$\r$\n$\r$\nOK закроет Kelvarian и продолжит, «Отмена» прервёт установку."
LangString ProgramStays ${LANG_ENGLISH} "Kelvarian did not close. Close it yourself, then try again."
LangString ProgramStays ${LANG_RUSSIAN} "Kelvarian не закрылся. Закройте его сами и повторите."
LangString NeedsAdmin ${LANG_ENGLISH} "An installation for all users needs administrator rights: run the setup as administrator, or install only for yourself."
LangString NeedsAdmin ${LANG_RUSSIAN} "Для установки для всех пользователей нужны права администратора: запустите установку от имени администратора или установите только для себя."

; Closes a running Kelvarian politely (it saves its settings on WM_CLOSE), as
; files in use could not be replaced or removed. Silent, or refused: the run
; ends with EXIT_PROGRAM_RUNS.
!macro CLOSE_RUNNING_PROGRAM prefix
Function ${prefix}CloseRunningProgram
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 == 0
    Return
  ${EndIf}
  ${If} ${Silent}
    SetErrorLevel ${EXIT_PROGRAM_RUNS}
    Quit
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "$(ProgramRuns)" IDOK close
  SetErrorLevel ${EXIT_PROGRAM_RUNS}
  Quit
  close:
  ; Asked again every 2 s, as a request may be lost while a dialog is open;
  ; 10 s in all.
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 == 0
      ; The process may still be ending, its files in use a moment longer.
      Sleep 500
      Return
    ${EndIf}
    ${If} $1 >= 50
      MessageBox MB_ICONSTOP "$(ProgramStays)"
      SetErrorLevel ${EXIT_PROGRAM_RUNS}
      Quit
    ${EndIf}
    IntOp $2 $1 % 10
    ${If} $2 == 0
      SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    ${EndIf}
    Sleep 200
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_PROGRAM ""
!insertmacro CLOSE_RUNNING_PROGRAM "un."

; The context, and the folder unless /D= or the user named one: an earlier
; installation's folder (an upgrade goes where the program already is), else
; the default of the mode.
Function ApplyMode
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${If} $FolderGiven == 1
    Return
  ${EndIf}
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${ElseIf} $AllUsers == 1
    StrCpy $INSTDIR "$PROGRAMFILES64\Kelvarian"
  ${Else}
    ; $LOCALAPPDATA under the current user's context: the per-user default.
    SetShellVarContext current
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Kelvarian"
  ${EndIf}
FunctionEnd

Function .onInit
  StrCpy $AllUsers 0
  StrCpy $ModeChosen 0
  StrCpy $FolderGiven 0
  ${If} $INSTDIR != "$LOCALAPPDATA\Programs\Kelvarian"
    StrCpy $FolderGiven 1
  ${EndIf}
  StrCpy $IsAdmin 0
  UserInfo::GetAccountType
  Pop $0
  ${IfThen} $0 == "Admin" ${|} StrCpy $IsAdmin 1 ${|}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    StrCpy $ModeChosen 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
    StrCpy $ModeChosen 1
  ${EndIf}
  ${If} $AllUsers == 1
  ${AndIf} $IsAdmin != 1
    MessageBox MB_ICONSTOP "$(NeedsAdmin)" /SD IDOK
    SetErrorLevel ${EXIT_NEEDS_ADMIN}
    Quit
  ${EndIf}
  Call ApplyMode
  Call CloseRunningProgram
FunctionEnd

; The choice is offered only to an elevated setup: without administrator
; rights there is nothing to choose.
Function ModePage
  ${If} $IsAdmin != 1
  ${OrIf} $ModeChosen == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(ModeTitle)" "$(ModeSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 10u 100% 12u "$(ModeMine)"
  Pop $MineButton
  ${NSD_CreateRadioButton} 0 28u 100% 12u "$(ModeAll)"
  Pop $AllButton
  ${NSD_CreateLabel} 0 52u 100% 24u "$(ModeNote)"
  Pop $0
  ${If} $AllUsers == 1
    ${NSD_Check} $AllButton
  ${Else}
    ${NSD_Check} $MineButton
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $AllButton $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call ApplyMode
FunctionEnd

Section "!$(SectionProgram)" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${FILES}\kelvarian.exe"
  File "${FILES}\kelvarian-scan.exe"
  File "${FILES}\README.txt"
  File "${FILES}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortCut "$SMPROGRAMS\Kelvarian.lnk" "$INSTDIR\kelvarian.exe" "" "$INSTDIR\kelvarian.exe" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvarian.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "$(SectionDesktop)" SectionDesktop
  CreateShortCut "$DESKTOP\Kelvarian.lnk" "$INSTDIR\kelvarian.exe" "" "$INSTDIR\kelvarian.exe" 0
SectionEnd

; The installing user's own log-on, also for an all-users installation.
Section /o "$(SectionLogOn)" SectionLogOn
  WriteRegStr HKCU "${RUN_KEY}" "Kelvarian" '"$INSTDIR\kelvarian.exe"'
SectionEnd

; An upgrade that drops the desktop shortcut or the log-on start removes them.
Function .onInstSuccess
  ${IfNot} ${SectionIsSelected} ${SectionDesktop}
    Delete "$DESKTOP\Kelvarian.lnk"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SectionLogOn}
    ReadRegStr $0 HKCU "${RUN_KEY}" "Kelvarian"
    ${IfThen} $0 == '"$INSTDIR\kelvarian.exe"' ${|} DeleteRegValue HKCU "${RUN_KEY}" "Kelvarian" ${|}
  ${EndIf}
FunctionEnd

; The uninstaller lies in the folder it removes; the HKLM entry naming that
; folder tells an all-users installation.
Function un.onInit
  SetShellVarContext current
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext all
  ${EndIf}
  Call un.CloseRunningProgram
FunctionEnd

; Pushes 1 when $INSTDIR holds anything but the uninstaller, else 0.
Function un.FolderHoldsOthers
  StrCpy $3 0
  FindFirst $4 $5 "$INSTDIR\*"
  ${DoWhile} $5 != ""
    ${If} $5 != "."
    ${AndIf} $5 != ".."
    ${AndIf} $5 != "${UNINSTALLER}"
      StrCpy $3 1
      ${ExitDo}
    ${EndIf}
    FindNext $4 $5
  ${Loop}
  FindClose $4
  Push $3
FunctionEnd

; Only what the setup put there: a preset Kelvarian.ini an administrator
; placed beside the program stays, with its folder, and the users' settings
; and logs in %APPDATA%\Kelvarian are never touched.
Section "Uninstall"
  Delete "$INSTDIR\kelvarian.exe"
  Delete "$INSTDIR\kelvarian-scan.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  ; A folder that is some process's working directory cannot be removed.
  SetOutPath "$TEMP"
  ; The uninstaller started from the folder may still be ending while this
  ; copy of it runs, holding its file and so the folder a moment longer: tried
  ; again for up to 5 s, unless something else is left in the folder.
  StrCpy $1 0
  ${Do}
    Delete "$INSTDIR\${UNINSTALLER}"
    ClearErrors
    RMDir "$INSTDIR"
    ${IfNotThen} ${Errors} ${|} ${ExitDo} ${|}
    Call un.FolderHoldsOthers
    Pop $0
    ${IfThen} $0 == 1 ${|} ${ExitDo} ${|}
    IntOp $1 $1 + 1
    ${IfThen} $1 >= 25 ${|} ${ExitDo} ${|}
    Sleep 200
  ${Loop}
  Delete "$SMPROGRAMS\Kelvarian.lnk"
  Delete "$DESKTOP\Kelvarian.lnk"
  ReadRegStr $0 HKCU "${RUN_KEY}" "Kelvarian"
  ${IfThen} $0 == '"$INSTDIR\kelvarian.exe"' ${|} DeleteRegValue HKCU "${RUN_KEY}" "Kelvarian" ${|}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
