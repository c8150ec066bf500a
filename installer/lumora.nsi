; The installer of Lumora for one architecture, built by makensis (installer/CMakeLists.txt
; passes the defines below). It installs Lumora.exe, lumora-send.exe and the guide under Program
; Files, starts Lumora at every login, adds Lumora to the list of installed programs with an
; uninstaller that removes all of it again, and runs silently with /S.
;
; It never installs a PanelDrv.dll: the panel maker's library goes beside Lumora.exe. After
; copying, it looks for one there and warns when there is none or when it is of the other
; architecture (no box in a silent install).
;
; Defines: ARCH (x64 or x86), VERSION (major.minor.patch), BIN_DIR (the preset's bin folder),
; GUIDE (docs/windows.md), ICON (res/lumora.ico), OUTFILE.

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
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumora"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define AGENT_CLASS "LumoraAgentDialog"
!define BOX_CAPTION "Lumora Setup: PanelDrv.dll"

Name "Lumora ${VERSION} (${BITS})"
Caption "Lumora ${VERSION} (${BITS}) Setup"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\Lumora"
!else
  InstallDir "$PROGRAMFILES\Lumora"
!endif
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
AutoCloseWindow true
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
; /FOLLOWKODI adds the Follow Kodi section below.
Page instfiles
UninstPage instfiles

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

; A box of its own caption, so that it cannot be taken for the installer's window; none in a
; silent install, where the text goes to the details only.
!macro Warn TEXT
  DetailPrint "${TEXT}"
  ${IfNot} ${Silent}
    StrCpy $0 "${TEXT}"  ; 0x30: MB_OK | MB_ICONEXCLAMATION
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

Section "Lumora"
  SetShellVarContext all
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  !insertmacro CloseAgent

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/Lumora.exe"
  File "${BIN_DIR}/lumora-send.exe"
  File "/oname=Lumora guide.txt" "${GUIDE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Lumora"
  CreateShortcut "$SMPROGRAMS\Lumora\Lumora.lnk" "$INSTDIR\Lumora.exe"
  CreateShortcut "$SMPROGRAMS\Lumora\Lumora guide.lnk" "$INSTDIR\Lumora guide.txt"

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
    !insertmacro Warn "There is no PanelDrv.dll in $INSTDIR.$\r$\n$\r$\nCopy the panel maker's PanelDrv.dll into this folder: Lumora drives the panel through it. Until then Lumora runs without the panel."
  ${Else}
    Call PanelLibraryMachine
    ${If} $R0 == ${OTHER_MACHINE}
      !insertmacro Warn "$INSTDIR\PanelDrv.dll is a ${OTHER_BITS} library; this is the ${BITS} Lumora.$\r$\n$\r$\nInstall the ${OTHER_BITS} Lumora (Lumora-${OTHER_ARCH}) instead."
    ${EndIf}
  ${EndIf}
SectionEnd

; --- Follow Kodi ---------------------------------------------------------------------------
; lumora-kodi.exe beside the agent, started at login by a second entry: what Kodi plays goes to
; the panel. Chosen with /FOLLOWKODI on the command line, since only a Kodi owner wants it.
Section /o "Follow Kodi" SEC_FOLLOW_KODI
  SetShellVarContext all
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/lumora-kodi.exe"
  WriteRegStr HKLM "${RUN_KEY}" "Lumora Kodi" '"$INSTDIR\lumora-kodi.exe"'
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/FOLLOWKODI" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SEC_FOLLOW_KODI} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
; --- end of Follow Kodi --------------------------------------------------------------------

Section "Uninstall"
  SetShellVarContext all
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
  !insertmacro CloseAgent

  DeleteRegValue HKLM "${RUN_KEY}" "Lumora"
  DeleteRegValue HKLM "${RUN_KEY}" "Lumora Kodi"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  Delete "$SMPROGRAMS\Lumora\Lumora.lnk"
  Delete "$SMPROGRAMS\Lumora\Lumora guide.lnk"
  RMDir "$SMPROGRAMS\Lumora"

  Delete "$INSTDIR\Lumora.exe"
  Delete "$INSTDIR\lumora-send.exe"
  Delete "$INSTDIR\lumora-kodi.exe"
  Delete "$INSTDIR\Lumora guide.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: the panel maker's PanelDrv.dll, which this installer did not bring, stays.
  RMDir "$INSTDIR"
SectionEnd
