; The ZorpLoad setup program for Windows, made by makensis on Linux
; (cmake/windows-package.cmake passes the defines below). It installs for
; every user of the PC, so it asks to run as administrator:
;   C:\Program Files\ZorpLoad\   zorpload.exe, zorpload-demo.exe, README.txt
;                                and the uninstaller
;   Start menu                   "ZorpLoad" and "ZorpLoad demo (simulated
;                                logger)"
;   Apps (Programs and Features) "ZorpLoad", with its uninstaller
; FTD2XX.dll is FTDI's driver and comes from FTDI's own installer: this one
; never installs or replaces it. The uninstaller removes exactly what was
; installed; a folder that still holds anything else (track files) stays.
; /S installs or uninstalls without a window.
;
; Defines: VERSION (1.01), VERSION_QUAD (1.1.0.0), OUTFILE, PROGRAM, DEMO,
; README, ICON (paths of the files to install and of the setup's icon).
; A 64-bit setup for 64-bit programs: it does not start on 32-bit Windows.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZorpLoad"
!define DEMO_LINK "ZorpLoad demo (simulated logger).lnk"

Name "ZorpLoad ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ZorpLoad"
BrandingText "ZorpLoad ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "ZorpLoad"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "ZorpLoad setup"
VIAddVersionKey /LANG=1033 "CompanyName" "ZorpLoad Software"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A per-machine install needs an administrator (exit code 740, as Windows
; gives for a program that needs elevation).
!macro REQUIRE_ADMIN what
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "${what} ZorpLoad for every user of this PC needs an administrator." /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
!macroend

Function .onInit
  !insertmacro REQUIRE_ADMIN "Installing"
FunctionEnd

Function un.onInit
  !insertmacro REQUIRE_ADMIN "Removing"
FunctionEnd

Section "ZorpLoad"
  SetOutPath "$INSTDIR"
  File "/oname=zorpload.exe" "${PROGRAM}"
  File "/oname=zorpload-demo.exe" "${DEMO}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortCut "$SMPROGRAMS\ZorpLoad.lnk" "$INSTDIR\zorpload.exe"
  CreateShortCut "$SMPROGRAMS\${DEMO_LINK}" "$INSTDIR\zorpload-demo.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "ZorpLoad"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "ZorpLoad Software"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zorpload.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\ZorpLoad.lnk"
  Delete "$SMPROGRAMS\${DEMO_LINK}"
  Delete "$INSTDIR\zorpload.exe"
  Delete "$INSTDIR\zorpload-demo.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: track files saved here stay, and so does their folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
