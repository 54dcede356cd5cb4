; korvitan.nsi - the Windows installer of KORVITAN.
;
; Built by scripts/build-installer, which defines:
;   VERSION   the version, as project(VERSION) in CMakeLists.txt gives it
;   VERSION_QUAD  the same as four numbers, for the version resource
;   EXE       korvitan.exe to install
;   ICON      the program's .ico, used for the installer and uninstaller too
;   LICENSE   LICENSE.txt and README    README.txt (both with CRLF lines)
;   OUTFILE   the installer to write
;
; Installs for all users into $PROGRAMFILES64\KORVITAN with a Start-menu
; shortcut and an entry in Apps & Features; no file associations. /S
; installs and uninstalls without a window. The uninstaller removes nothing
; while KORVITAN is running: it asks for the program to be closed and looks
; again, or, with /S, exits with error level 2.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KORVITAN"
; The class of KORVITAN's main window, by which a running program is found.
!define WINDOW_CLASS "KORVITANWClass"

Name "KORVITAN"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KORVITAN"
; A folder chosen in an earlier install is offered again.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "KORVITAN"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "FileDescription" "KORVITAN ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "the KORVITAN developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 the KORVITAN developers; MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\korvitan.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A 64-bit program: its entry belongs in the 64-bit registry, and the
; shortcut in the Start menu of all users.
Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
    Call un.WaitForProgramClosed
FunctionEnd

; Windows keeps a running program's file, so an uninstall while KORVITAN
; runs would remove everything around korvitan.exe, the entry in Apps &
; Features included, and leave the program and its folder behind with no
; way to remove them. So nothing is removed until no window of KORVITAN's
; class is left: the user is asked to close it and it is looked for again;
; Cancel, or a silent uninstall, ends with error level 2 (the script
; aborted) and everything in place.
Function un.WaitForProgramClosed
    running:
    FindWindow $0 "${WINDOW_CLASS}"
    StrCmp $0 0 closed
    IfSilent refuse
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "KORVITAN is running.$\r$\nClose it, then choose Retry to uninstall it." \
        /SD IDCANCEL IDRETRY running
    refuse:
    SetErrorLevel 2
    Quit
    closed:
FunctionEnd

Section "KORVITAN"
    SetOutPath "$INSTDIR"
    File "/oname=korvitan.exe" "${EXE}"
    File "/oname=LICENSE.txt" "${LICENSE}"
    File "/oname=README.txt" "${README}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\KORVITAN.lnk" "$INSTDIR\korvitan.exe" "" "$INSTDIR\korvitan.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "KORVITAN"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the KORVITAN developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvitan.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; What Apps & Features shows as the size: the folder's files, in KiB.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\KORVITAN.lnk"
    Delete "$INSTDIR\korvitan.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
