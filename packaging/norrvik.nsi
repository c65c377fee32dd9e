; The Windows installer of Norrvik (NSIS 3, 64-bit Unicode): the window
; program norrvik.exe, the command line norrvik-cli.exe, the icon and the
; README in one folder (by default Program Files\Norrvik, for every user of
; the computer), Start-menu entries for the window, the README and the
; uninstaller, and the entry in Programs and Features. The uninstaller
; removes what the installer put there and nothing else: a folder holding
; other files stays, and so do each user's remembered folders (the
; window's settings under HKCU\Software\Norrvik).
;
; Built by the norrvik_installer target of packaging/CMakeLists.txt
; (tools/package-windows.sh), which defines VERSION (the project's CMake
; version), VERSION_QUAD, NORRVIK_EXE, CLI_EXE, ICON, README and OUTFILE.
; Silent use: Norrvik-<version>-setup.exe /S [/D=FOLDER] and
; Uninstall.exe /S.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Norrvik"
!define START_MENU "$SMPROGRAMS\Norrvik"

Name "Norrvik ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Norrvik"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "Norrvik"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Norrvik ${VERSION} installer"
VIAddVersionKey "LegalCopyright" "The Norrvik developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\norrvik.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The machine's 64-bit registry and the Start menu of all users.
!macro ForEveryUser
  SetRegView 64
  SetShellVarContext all
!macroend

Function .onInit
  !insertmacro ForEveryUser
FunctionEnd

Function un.onInit
  !insertmacro ForEveryUser
FunctionEnd

Section "Norrvik"
  SetOutPath "$INSTDIR"
  File "/oname=norrvik.exe" "${NORRVIK_EXE}"
  File "/oname=norrvik-cli.exe" "${CLI_EXE}"
  File "/oname=norrvik.ico" "${ICON}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "${START_MENU}"
  CreateShortcut "${START_MENU}\Norrvik.lnk" "$INSTDIR\norrvik.exe" "" "$INSTDIR\norrvik.exe" 0
  CreateShortcut "${START_MENU}\Norrvik README.lnk" "$INSTDIR\README.txt"
  CreateShortcut "${START_MENU}\Uninstall Norrvik.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Norrvik"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Norrvik developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\norrvik.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "${START_MENU}\Norrvik.lnk"
  Delete "${START_MENU}\Norrvik README.lnk"
  Delete "${START_MENU}\Uninstall Norrvik.lnk"
  RMDir "${START_MENU}"

  Delete "$INSTDIR\norrvik.exe"
  Delete "$INSTDIR\norrvik-cli.exe"
  Delete "$INSTDIR\norrvik.ico"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR" ; only when empty: files of the user's own stay

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
