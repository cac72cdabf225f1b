; The Windows installer of PIXEL BREAKER, made by makensis on the build machine (scripts/release):
;   makensis -DVERSION=1.0.0 -DNUMERIC_VERSION=1.0.0.0 -DFILES=DIR -DOUTFILE=FILE -DSIZE_KB=N pixbrk.nsi
; FILES holds pixbrk.exe, pixbrk-headless.exe, ROMDATA.BIN, README.txt, LICENSE.txt and
; installed.txt, the mark that sends the installed game's files to %APPDATA%\PIXEL BREAKER.
; The program goes into Program Files, a Start menu entry and the uninstaller's entry among
; the system's apps are made for all users; /S installs and uninstalls silently. Uninstalling
; removes only what was installed: the players' files in their application-data folders stay.
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
; No file times in the installer: two builds of one source give the same file.
SetDateSave off
RequestExecutionLevel admin

!define PRODUCT "PIXEL BREAKER"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\PIXEL BREAKER"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion ${NUMERIC_VERSION}
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 LegalCopyright "The ${PRODUCT} developers (MIT licence)"

!include MUI2.nsh
!insertmacro MUI_PAGE_LICENSE "${FILES}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

!macro EACH_FILE MACRO
  !insertmacro ${MACRO} pixbrk.exe
  !insertmacro ${MACRO} pixbrk-headless.exe
  !insertmacro ${MACRO} ROMDATA.BIN
  !insertmacro ${MACRO} README.txt
  !insertmacro ${MACRO} LICENSE.txt
  !insertmacro ${MACRO} installed.txt
!macroend
!macro INSTALL_FILE NAME
  File "${FILES}\${NAME}"
!macroend
!macro REMOVE_FILE NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Section
  SetOutPath "$INSTDIR"
  !insertmacro EACH_FILE INSTALL_FILE
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\pixbrk.exe"
  SetRegView 64
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The ${PRODUCT} developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pixbrk.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section Uninstall
  !insertmacro EACH_FILE REMOVE_FILE
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
