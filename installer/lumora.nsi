; The installer of Lumora for one architecture, built by makensis (installer/CMakeLists.txt
; passes the defines below). It installs Lumora.exe, lumora-send.exe and the guide under Program
; Files, starts Lumora at every login, adds Lumora to the list of installed programs with an
; uninstaller that removes all of it again, and runs silently with /S.
;
;
; Only under Program Files: Lumora starts at every user's login from its folder, so the folder
; must be one that ordinary users cannot change (else anyone could put a Lumora.exe or a
; PanelDrv.dll of their own there and have it run for every user). A folder given with /D=
; outside Program Files is refused with the reason, and nothing is installed.
;
; One Lumora per PC: a Lumora of the other architecture found installed (the other view of the
; registry) is replaced, after asking (a silent install replaces it and says so in its log).
; Every note of the installer also goes to its log, $TEMP\Lumora-setup.log.
;
; The follower (lumora-follow.exe), chosen with /FOLLOW (or /FOLLOWKODI, its older name, or by
; giving /KODIHOST=HOST or /KODIPORT=PORT), starts at every login with Kodi's host and port on
; its command line (the login entry "Lumora Follow"); an update keeps it, with the host and port
; it had unless new ones are given, and /NOFOLLOW removes it. In the graphical mode a page shows
; the choice and both fields whenever the follower is chosen or was installed; a double click
; with neither asks nothing. A running follower is ended (WM_CLOSE to its hidden window, then
; waited for) before an update or uninstall replaces or removes its program; the Kodi bridge of
; earlier versions (lumora-kodi.exe, the login entry "Lumora Kodi") is removed.
;
; It never installs a PanelDrv.dll: the panel maker's library goes beside Lumora.exe. After
; copying, it looks for one there and warns when there is none or when it is of the other
; architecture (no box in a silent install).
;
; Defines: ARCH (x64 or x86), VERSION (major.minor.patch), BIN_DIR (the preset's bin folder),
; GUIDE (Lumora guide.txt: the owner's sections of docs/windows.md), ICON (res/lumora.ico), OUTFILE.

!ifndef ARCH | VERSION | BIN_DIR | GUIDE | ICON | OUTFILE
  !error "makensis needs -DARCH= -DVERSION= -DBIN_DIR= -DGUIDE= -DICON= -DOUTFILE="
!endif

!if "${ARCH}" == "x64"
  Target amd64-unicode
  !define BITS "64-bit"
  !define OTHER_BITS "32-bit"
  !define OTHER_ARCH "x86"
  !define MACHINE 34404        ; 0x8664
  !define OTHER_MACHINE 332    ; 0x014C
!else if "${ARCH}" == "x86"
  Target x86-unicode
  !define BITS "32-bit"
  !define OTHER_BITS "64-bit"
  !define OTHER_ARCH "x64"
  !define MACHINE 332
  !define OTHER_MACHINE 34404
!else
  !error "ARCH must be x64 or x86"
!endif

!include LogicLib.nsh
!include WinMessages.nsh
!include x64.nsh
!include StrFunc.nsh
${StrStr}
!include FileFunc.nsh
!include nsDialogs.nsh
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumora"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define AGENT_CLASS "LumoraAgentDialog"
!define FOLLOWER_CLASS "LumoraFollower"
!define FOLLOW_VALUE "Lumora Follow"
!define OLD_KODI_VALUE "Lumora Kodi"
!define KODI_HOST_DEFAULT "127.0.0.1"
!define KODI_PORT_DEFAULT "9090"
!define BOX_CAPTION "Lumora Setup: PanelDrv.dll"
!define SETUP_CAPTION "Lumora Setup"
!define LOG_NAME "Lumora-setup.log"

Var Log          ; the handle of $TEMP\Lumora-setup.log
Var OtherDir     ; the folder of an installed Lumora of the other architecture, or empty
Var OtherBits    ; its "32-bit" or "64-bit"
Var Follow       ; 1: lumora-follow.exe is installed and started at login
Var FollowAsked  ; 1: the command line chose the follower or not, or gave Kodi's host or port
Var KodiHost     ; Kodi's host and port on the follower's command line
Var KodiPort
Var FollowBox    ; the follower page's fields
Var HostField
Var PortField

Name "Lumora ${VERSION} (${BITS})"
Caption "Lumora ${VERSION} (${BITS}) Setup"
OutFile "${OUTFILE}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\Lumora"
!else
  InstallDir "$PROGRAMFILES\Lumora"
!endif
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
SetCompressor /SOLID lzma

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Lumora"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Lumora ${VERSION} (${BITS}) Setup"
VIAddVersionKey "CompanyName" "Lumora"
VIAddVersionKey "LegalCopyright" "Lumora"

; No questions: a double click installs into Program Files (another folder with /D=FOLDER).
; The follower's page only when it is chosen or installed (see Follow Kodi below).
; Run by hand, it ends on a finish page that says where Lumora is and what comes next, with the
; guide a click away (not opened unasked: it would open with the installer's rights); a silent
; install shows no page.
!define MUI_FINISHPAGE_TEXT "Lumora is installed in $INSTDIR and starts at every login.$\r$\n$\r$\nWith the panel maker's PanelDrv.dll in that folder, log out and in again, or start Lumora from the Start menu (folder Lumora, which also holds the guide)."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Lumora guide.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
Page custom FollowPage FollowPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running agent (an update or an uninstall replaces its program): WM_CLOSE ends it as
; "Exit" does, and the agent closes the panel.
!macro CloseAgent
  FindWindow $0 "${AGENT_CLASS}" "Lumora"
  ${If} $0 <> 0
    DetailPrint "Closing the running Lumora"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    Sleep 1000
  ${EndIf}
!macroend

; Ends every running lumora-follow.exe of this session, before its program is replaced or
; removed: WM_CLOSE to its hidden window (it closes the sessions it opened and ends), then a wait
; for the process; one that has not ended after 10 s is ended by force.
!macro CloseFollower
  StrCpy $R8 0
  FindWindow $0 "${FOLLOWER_CLASS}" ""
  ${DoWhile} $0 <> 0
    IntOp $R8 $R8 + 1
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i r1) p .r2'
    !insertmacro Note "Ending the running lumora-follow.exe"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $2 != 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 10000) i .r3'
      ${If} $3 <> 0
        !insertmacro Note "lumora-follow.exe did not end within 10 s; ending it by force"
        System::Call 'kernel32::TerminateProcess(p r2, i 1) i'
        System::Call 'kernel32::WaitForSingleObject(p r2, i 5000) i'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2) i'
    ${Else}
      Sleep 2000
    ${EndIf}
    ; The next one, if any (another user's in this session); at most eight.
    ${If} $R8 < 8
      FindWindow $0 "${FOLLOWER_CLASS}" ""
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${Loop}
!macroend

; The Kodi bridge of earlier versions: its login entry, and its program (a console program with
; no window to close: ended by name, then removed).
!macro RemoveOldKodiBridge
  DeleteRegValue HKLM "${RUN_KEY}" "${OLD_KODI_VALUE}"
  ${If} ${FileExists} "$INSTDIR\lumora-kodi.exe"
    !insertmacro Note "Replacing lumora-kodi.exe by lumora-follow.exe"
    nsExec::Exec '"$SYSDIR\taskkill.exe" /f /im lumora-kodi.exe'
    Pop $0
    Sleep 500
    Delete /REBOOTOK "$INSTDIR\lumora-kodi.exe"
  ${EndIf}
!macroend

; A line of the installer's details and of its log.
!macro Note TEXT
  DetailPrint "${TEXT}"
  ${If} $Log != ""
    FileWrite $Log "${TEXT}$\r$\n"
  ${EndIf}
!macroend

; A box of its own caption, so that it cannot be taken for the installer's window; none in a
; silent install. The details and the log get both parts on one line (a line break shows as
; stray characters in the details list).
!macro Warn FIRST SECOND
  !insertmacro Note "${FIRST} ${SECOND}"
  ${IfNot} ${Silent}
    StrCpy $0 "${FIRST}$\r$\n$\r$\n${SECOND}"  ; 0x30: MB_OK | MB_ICONEXCLAMATION
    System::Call 'user32::MessageBox(p $HWNDPARENT, t r0, t "${BOX_CAPTION}", i 0x30) i'
  ${EndIf}
!macroend

; The Machine field of $INSTDIR\PanelDrv.dll into $R0 (0 when it is not a Windows image).
Function PanelLibraryMachine
  StrCpy $R0 0
  FileOpen $R1 "$INSTDIR\PanelDrv.dll" r
  ${If} $R1 == ""
    Return
  ${EndIf}
  FileReadByte $R1 $R2
  FileReadByte $R1 $R3
  ${If} $R2 == 77        ; "M"
  ${AndIf} $R3 == 90     ; "Z"
    ; The image header's offset, at 0x3C of the DOS header (little-endian, below 64 KiB here).
    FileSeek $R1 60 SET
    FileReadByte $R1 $R2
    FileReadByte $R1 $R3
    IntOp $R3 $R3 << 8
    IntOp $R2 $R2 + $R3
    FileSeek $R1 $R2 SET
    FileReadByte $R1 $R2
    FileReadByte $R1 $R3
    FileReadByte $R1 $R4
    FileReadByte $R1 $R5
    ${If} $R2 == 80      ; "P"
    ${AndIf} $R3 == 69   ; "E"
    ${AndIf} $R4 == 0
    ${AndIf} $R5 == 0
      FileReadByte $R1 $R2
      FileReadByte $R1 $R3
      IntOp $R3 $R3 << 8
      IntOp $R0 $R2 + $R3
    ${EndIf}
  ${EndIf}
  FileClose $R1
FunctionEnd

; ---- The install folder: under Program Files only -----------------------------------------

; $R0 = 1 when $INSTDIR lies inside the folder $R1 (compared without regard to case), else 0.
Function InstallDirInside
  StrCpy $R0 0
  StrLen $R2 "$R1\"
  StrLen $R3 "$INSTDIR\"
  ${If} $R3 > $R2
    StrCpy $R4 "$INSTDIR\" $R2
    ${If} $R4 == "$R1\"
      StrCpy $R0 1
    ${EndIf}
  ${EndIf}
FunctionEnd

; Refuses a folder outside Program Files (or one that climbs out of it with ".."): the login
; entry starts Lumora.exe from there for every user, so ordinary users must not be able to
; change what lies in it, and Program Files is the folder Windows keeps so.
Function CheckInstallDir
  StrCpy $R0 0
  ${StrStr} $R5 "$INSTDIR\" "\..\"
  ${If} $R5 == ""
    StrCpy $R1 $PROGRAMFILES64
    Call InstallDirInside
    ${If} $R0 == 0
      StrCpy $R1 $PROGRAMFILES32
      Call InstallDirInside
    ${EndIf}
  ${EndIf}
  ${If} $R0 == 0
    StrCpy $R6 "Lumora cannot be installed in $INSTDIR: Lumora starts from its folder at every user's login, so the folder must be one that only administrators can change, a folder under $PROGRAMFILES."
    StrCpy $R7 "Run the installer without /D= (it installs into $PROGRAMFILES\Lumora), or give a folder under Program Files."
    !insertmacro Note "$R6 $R7"
    ${IfNot} ${Silent}
      MessageBox MB_OK|MB_ICONSTOP "$R6$\r$\n$\r$\n$R7"
    ${EndIf}
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; ---- One Lumora per PC ---------------------------------------------------------------------

; $OtherDir and $OtherBits: a Lumora of the other architecture in the other view of the
; registry (only on 64-bit Windows), or empty.
Function FindOtherLumora
  StrCpy $OtherDir ""
  ${If} ${RunningX64}
    !if "${ARCH}" == "x64"
      SetRegView 32
    !else
      SetRegView 64
    !endif
    ReadRegStr $OtherDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
    !if "${ARCH}" == "x64"
      SetRegView 64
    !else
      SetRegView 32
    !endif
  ${EndIf}
  ${If} $OtherDir != ""
    StrCpy $OtherBits "${OTHER_BITS}"
  ${EndIf}
FunctionEnd

; Uninstalls the other Lumora with its own uninstaller, silently, and waits for it.
Function ReplaceOtherLumora
  ${If} $OtherDir == ""
    Return
  ${EndIf}
  !insertmacro Note "Replacing Lumora ($OtherBits) in $OtherDir: only one Lumora runs on a PC."
  ${If} ${FileExists} "$OtherDir\Uninstall.exe"
    ExecWait '"$OtherDir\Uninstall.exe" /S _?=$OtherDir' $R0
    Delete "$OtherDir\Uninstall.exe"
    RMDir "$OtherDir"
  ${EndIf}
FunctionEnd

Function .onInit
  SetShellVarContext all
  ; The log of this run: every note of the details, also in a silent install.
  FileOpen $Log "$TEMP\${LOG_NAME}" w
  Call CheckInstallDir
  Call FollowOptions
  Call FindOtherLumora
  ${If} $OtherDir != ""
  ${AndIfNot} ${Silent}
    MessageBox MB_YESNO|MB_ICONQUESTION "Lumora ($OtherBits) is installed in $OtherDir. Only one Lumora can run on a PC.$\r$\n$\r$\nReplace it with this Lumora (${BITS})?" IDYES replace
    !insertmacro Note "Not installed: Lumora ($OtherBits) stays in $OtherDir."
    SetErrorLevel 3
    Quit
    replace:
  ${EndIf}
FunctionEnd

; ---- Install -------------------------------------------------------------------------------

Section "Lumora"
  SetShellVarContext all
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  !insertmacro CloseFollower
  !insertmacro CloseAgent
  Call ReplaceOtherLumora
  !insertmacro RemoveOldKodiBridge

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/Lumora.exe"
  File "${BIN_DIR}/lumora-send.exe"
  File "/oname=Lumora guide.txt" "${GUIDE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Lumora"
  CreateShortcut "$SMPROGRAMS\Lumora\Lumora.lnk" "$INSTDIR\Lumora.exe"
  CreateShortcut "$SMPROGRAMS\Lumora\Lumora guide.lnk" "$INSTDIR\Lumora guide.txt"
  ; The folder itself, where the owner puts the panel maker's PanelDrv.dll.
  CreateShortcut "$SMPROGRAMS\Lumora\Lumora folder.lnk" "$INSTDIR"

  ; Start at every login, for every user.
  WriteRegStr HKLM "${RUN_KEY}" "Lumora" '"$INSTDIR\Lumora.exe"'

  ; The list of installed programs.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Lumora (${BITS})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Lumora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Lumora.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The panel maker's library beside Lumora.exe.
  ${IfNot} ${FileExists} "$INSTDIR\PanelDrv.dll"
    !insertmacro Warn "There is no PanelDrv.dll in $INSTDIR." "Copy the panel maker's PanelDrv.dll into this folder: Lumora drives the panel through it. Until then Lumora runs without the panel."
  ${Else}
    Call PanelLibraryMachine
    ${If} $R0 == ${OTHER_MACHINE}
      !insertmacro Warn "$INSTDIR\PanelDrv.dll is a ${OTHER_BITS} library; this is the ${BITS} Lumora." "Install the ${OTHER_BITS} Lumora (Lumora-${OTHER_ARCH}) instead."
    ${EndIf}
  ${EndIf}
SectionEnd

; --- Follow Kodi ---------------------------------------------------------------------------
; lumora-follow.exe beside the agent, started at login by a second entry with Kodi's host and
; port: what Kodi plays goes to the panel. Chosen on the command line or the follower's page
; (only a Kodi owner wants it) or kept by an update; removed again by an update with /NOFOLLOW.
Section "-Follow Kodi"
  SetShellVarContext all
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  ${If} $Follow == 1
    SetOutPath "$INSTDIR"
    ; A follower this installer could not end (another user's, in a session of its own) keeps
    ; its program open: a running program can still be renamed, so it is moved aside and
    ; removed at the next start of Windows.
    Delete "$INSTDIR\lumora-follow.exe"
    ${If} ${FileExists} "$INSTDIR\lumora-follow.exe"
      Delete "$INSTDIR\lumora-follow.old.exe"
      Rename "$INSTDIR\lumora-follow.exe" "$INSTDIR\lumora-follow.old.exe"
      Delete /REBOOTOK "$INSTDIR\lumora-follow.old.exe"
      !insertmacro Note "lumora-follow.exe is in use (by another user?): the new one starts at the next login."
    ${EndIf}
    File "${BIN_DIR}/lumora-follow.exe"
    WriteRegStr HKLM "${RUN_KEY}" "${FOLLOW_VALUE}" '"$INSTDIR\lumora-follow.exe" --host $KodiHost --port $KodiPort'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "KodiHost" "$KodiHost"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "KodiPort" "$KodiPort"
    !insertmacro Note "lumora-follow.exe starts at every login and follows Kodi on $KodiHost:$KodiPort."
  ${Else}
    DeleteRegValue HKLM "${RUN_KEY}" "${FOLLOW_VALUE}"
    Delete "$INSTDIR\lumora-follow.exe"
  ${EndIf}
SectionEnd

; $R0 empty when $KodiHost and $KodiPort can go on the follower's command line, else the reason.
Function CheckKodiOptions
  StrCpy $R0 ""
  ${If} $KodiHost == ""
    StrCpy $R0 "Kodi's host is empty."
  ${EndIf}
  ; A host name or address: no blank, quote or other character a command line would split.
  StrLen $R1 $KodiHost
  StrCpy $R2 0
  ${DoWhile} $R2 < $R1
    StrCpy $R3 $KodiHost 1 $R2
    ${If} $R3 == " "
    ${OrIf} $R3 == '"'
    ${OrIf} $R3 == "%"
    ${OrIf} $R3 == "&"
    ${OrIf} $R3 == "^"
    ${OrIf} $R3 == "|"
    ${OrIf} $R3 == "<"
    ${OrIf} $R3 == ">"
    ${OrIf} $R3 == "$\t"
      StrCpy $R0 "Kodi's host $\"$KodiHost$\" holds a character a host name cannot have."
      StrCpy $R2 $R1
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
  ; The port: digits only, 1 to 65535.
  StrLen $R1 $KodiPort
  ${If} $R1 < 1
  ${OrIf} $R1 > 5
    StrCpy $R0 "Kodi's port $\"$KodiPort$\" is not a number from 1 to 65535."
  ${Else}
    StrCpy $R2 0
    ${DoWhile} $R2 < $R1
      StrCpy $R3 $KodiPort 1 $R2
      ${StrStr} $R5 "0123456789" $R3
      ${If} $R5 == ""
        StrCpy $R0 "Kodi's port $\"$KodiPort$\" is not a number from 1 to 65535."
        StrCpy $R2 $R1
      ${EndIf}
      IntOp $R2 $R2 + 1
    ${Loop}
    ${If} $R0 == ""
      IntOp $R4 $KodiPort + 0
      ${If} $R4 < 1
      ${OrIf} $R4 > 65535
        StrCpy $R0 "Kodi's port $\"$KodiPort$\" is not a number from 1 to 65535."
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Called by .onInit: the follower as installed before (an update keeps it), then the command
; line: /FOLLOW (or /FOLLOWKODI), /KODIHOST=HOST, /KODIPORT=PORT, /NOFOLLOW. Options it cannot
; use end the installer with status 2 and the reason, before anything is installed.
Function FollowOptions
  StrCpy $Follow 0
  StrCpy $FollowAsked 0
  StrCpy $KodiHost "${KODI_HOST_DEFAULT}"
  StrCpy $KodiPort "${KODI_PORT_DEFAULT}"
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  ReadRegStr $R0 HKLM "${RUN_KEY}" "${FOLLOW_VALUE}"
  ReadRegStr $R1 HKLM "${RUN_KEY}" "${OLD_KODI_VALUE}"
  ${If} $R0 != ""
  ${OrIf} $R1 != ""
    StrCpy $Follow 1
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "KodiHost"
  ${If} $R0 != ""
    StrCpy $KodiHost $R0
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "KodiPort"
  ${If} $R0 != ""
    StrCpy $KodiPort $R0
  ${EndIf}
  !if "${ARCH}" == "x64"
    SetRegView 32
  !endif
  ${GetParameters} $R9
  ClearErrors
  ${GetOptions} $R9 "/FOLLOWKODI" $R1
  ${IfNot} ${Errors}
    StrCpy $Follow 1
    StrCpy $FollowAsked 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/FOLLOW" $R1
  ; GetOptions matches /FOLLOW at the start of /FOLLOWKODI too; either chooses the follower.
  ${IfNot} ${Errors}
    StrCpy $Follow 1
    StrCpy $FollowAsked 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/KODIHOST=" $R1
  ${IfNot} ${Errors}
    StrCpy $KodiHost $R1
    StrCpy $Follow 1
    StrCpy $FollowAsked 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/KODIPORT=" $R1
  ${IfNot} ${Errors}
    StrCpy $KodiPort $R1
    StrCpy $Follow 1
    StrCpy $FollowAsked 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/NOFOLLOW" $R1
  ${IfNot} ${Errors}
    StrCpy $Follow 0
    StrCpy $FollowAsked 1
  ${EndIf}
  ${If} $Follow == 1
    Call CheckKodiOptions
    ${If} $R0 != ""
      !insertmacro Note "$R0 Give /KODIHOST= a host name or address and /KODIPORT= Kodi's JSON-RPC port (9090 unless changed in Kodi)."
      ${IfNot} ${Silent}
        MessageBox MB_OK|MB_ICONSTOP "$R0$\r$\n$\r$\nGive /KODIHOST= a host name or address and /KODIPORT= Kodi's JSON-RPC port (9090 unless changed in Kodi)."
      ${EndIf}
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; The follower's page, in the graphical mode only when the follower is chosen or installed.
Function FollowPage
  ${If} $Follow != 1
  ${AndIf} $FollowAsked != 1
    Abort
  ${EndIf}
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 40u "lumora-follow.exe follows Kodi over its JSON-RPC port and hands Lumora what Kodi shows and plays. Turn on in Kodi: Settings > Services > Control > $\"Allow remote control from applications on this system$\"."
  Pop $0
  ${NSD_CreateCheckbox} 0 44u 100% 12u "&Follow Kodi: start lumora-follow.exe at every login"
  Pop $FollowBox
  ${If} $Follow == 1
    ${NSD_Check} $FollowBox
  ${EndIf}
  ${NSD_CreateLabel} 0 64u 70u 12u "Kodi's &host:"
  Pop $0
  ${NSD_CreateText} 72u 62u 140u 12u "$KodiHost"
  Pop $HostField
  ${NSD_CreateLabel} 0 82u 70u 12u "Kodi's &port:"
  Pop $0
  ${NSD_CreateNumber} 72u 80u 50u 12u "$KodiPort"
  Pop $PortField
  nsDialogs::Show
FunctionEnd

Function FollowPageLeave
  ${NSD_GetState} $FollowBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Follow 1
  ${Else}
    StrCpy $Follow 0
  ${EndIf}
  ${NSD_GetText} $HostField $KodiHost
  ${NSD_GetText} $PortField $KodiPort
  ${If} $Follow == 1
    Call CheckKodiOptions
    ${If} $R0 != ""
      MessageBox MB_OK|MB_ICONEXCLAMATION "$R0"
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd
; --- end of Follow Kodi --------------------------------------------------------------------

Section "Uninstall"
  SetShellVarContext all
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  !insertmacro CloseFollower
  !insertmacro CloseAgent
  !insertmacro RemoveOldKodiBridge

  DeleteRegValue HKLM "${RUN_KEY}" "Lumora"
  DeleteRegValue HKLM "${RUN_KEY}" "${FOLLOW_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The Start menu entries are shared by both architectures' installations: they stay while a
  ; Lumora of the other architecture is still installed (put there by an installer that did
  ; not replace it).
  StrCpy $OtherDir ""
  ${If} ${RunningX64}
    !if "${ARCH}" == "x64"
      SetRegView 32
    !else
      SetRegView 64
    !endif
    ReadRegStr $OtherDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
    !if "${ARCH}" == "x64"
      SetRegView 64
    !else
      SetRegView 32
    !endif
  ${EndIf}
  ${If} $OtherDir == ""
    Delete "$SMPROGRAMS\Lumora\Lumora.lnk"
    Delete "$SMPROGRAMS\Lumora\Lumora guide.lnk"
    Delete "$SMPROGRAMS\Lumora\Lumora folder.lnk"
    RMDir "$SMPROGRAMS\Lumora"
  ${EndIf}

  Delete "$INSTDIR\Lumora.exe"
  Delete "$INSTDIR\lumora-send.exe"
  Delete "$INSTDIR\lumora-follow.exe"
  Delete /REBOOTOK "$INSTDIR\lumora-follow.old.exe"
  Delete "$INSTDIR\Lumora guide.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: the panel maker's PanelDrv.dll, which this installer did not bring, stays.
  RMDir "$INSTDIR"
SectionEnd
