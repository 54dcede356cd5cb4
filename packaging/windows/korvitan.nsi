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
; installs and uninstalls without a window.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KORVITAN"

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
