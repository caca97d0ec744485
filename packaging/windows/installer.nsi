; A per-user installer for the Windows console program: no administrator rights, both
; executables, the sample in a folder of its own, a Start-menu console in the sample's folder
; where the first run works, the README, and an uninstaller that removes what it installed and
; nothing the user made.
; makensis -DVERSION=x.y.z -DSTAGE=<folder with the zip's files> -DOUTFILE=<setup.exe>
;          -DSAMPLE_SIZE=<bytes of sample\Database.mdb> installer.nsi
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"

Name "TAVRINEL ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\TAVRINEL"
ShowInstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "TAVRINEL"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "TAVRINEL ${VERSION} setup"
VIAddVersionKey "CompanyName" "The TAVRINEL developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The TAVRINEL developers. MIT License."

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVRINEL"

!define MUI_ICON "tavrinel.ico"
!define MUI_UNICON "tavrinel.ico"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show README.txt (the first run, on the sample)"
!define MUI_FINISHPAGE_SHOWREADME_CHECKED
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "TAVRINEL"
  SetOutPath "$INSTDIR"
  File "${STAGE}/tavrinel.exe"
  File "${STAGE}/tavrinel-access32.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/THIRD-PARTY-NOTICES.txt"
  SetOutPath "$INSTDIR\sample"
  ; A file already there is kept: it may be a database the user put in the sample's place.
  SetOverwrite off
  File "${STAGE}/sample/Database.mdb"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; A console in the sample's folder (a shortcut starts in the output folder of its making),
  ; with the program's folder on the path for that console only. No blank before && and no
  ; quotes around the setting: either would become part of the path (Wine's cmd takes no quotes).
  SetOutPath "$INSTDIR\sample"
  CreateDirectory "$SMPROGRAMS\TAVRINEL"
  CreateShortcut "$SMPROGRAMS\TAVRINEL\TAVRINEL.lnk" "$SYSDIR\cmd.exe" \
      `/s /k "set PATH=$INSTDIR;%PATH%&& echo This is the sample's folder: type tavrinel and press Enter to try it. && echo For your own Database.mdb: cd /d its folder, then tavrinel."` \
      "$INSTDIR\tavrinel.exe" 0 SW_SHOWNORMAL "" "TAVRINEL in a console, in the sample's folder"
  CreateShortcut "$SMPROGRAMS\TAVRINEL\TAVRINEL README.lnk" "$INSTDIR\README.txt"
  CreateShortcut "$SMPROGRAMS\TAVRINEL\Uninstall TAVRINEL.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "TAVRINEL"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavrinel.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The TAVRINEL developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\tavrinel.exe"
  Delete "$INSTDIR\tavrinel-access32.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  ; The sample goes only while it is the sample: a database of the same name but another size is
  ; the user's. A mail.txt written there stays, and with it the folder.
  ClearErrors
  FileOpen $0 "$INSTDIR\sample\Database.mdb" r
  IfErrors sample_done
  FileSeek $0 0 END $1
  FileClose $0
  StrCmp $1 "${SAMPLE_SIZE}" 0 sample_done
  Delete "$INSTDIR\sample\Database.mdb"
  sample_done:
  RMDir "$INSTDIR\sample"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\TAVRINEL\TAVRINEL.lnk"
  Delete "$SMPROGRAMS\TAVRINEL\TAVRINEL README.lnk"
  Delete "$SMPROGRAMS\TAVRINEL\Uninstall TAVRINEL.lnk"
  RMDir "$SMPROGRAMS\TAVRINEL"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
