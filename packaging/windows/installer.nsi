; A per-user installer for the Windows console program: no administrator rights, a Start-menu
; entry that opens a console in the user's Documents folder, and an uninstaller.
; makensis -DVERSION=x.y.z -DSTAGE=<folder with the zip's files> -DOUTFILE=<setup.exe> installer.nsi
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

Name "TAVRINEL ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\TAVRINEL"
ShowInstDetails nevershow

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVRINEL"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "TAVRINEL"
  SetOutPath "$INSTDIR"
  File "${STAGE}/tavrinel.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/THIRD-PARTY-NOTICES.txt"
  File "${STAGE}/Database.mdb"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; A console in Documents (a shortcut starts in the output folder of its making), with the
  ; program's folder on the path for that console only.
  SetOutPath "$DOCUMENTS"
  CreateDirectory "$SMPROGRAMS\TAVRINEL"
  CreateShortcut "$SMPROGRAMS\TAVRINEL\TAVRINEL.lnk" "$SYSDIR\cmd.exe" \
      '/k "set PATH=$INSTDIR;%PATH% && echo Type tavrinel to start it in this folder."' \
      "$INSTDIR\tavrinel.exe" 0 SW_SHOWNORMAL "" "TAVRINEL in a console"
  CreateShortcut "$SMPROGRAMS\TAVRINEL\Uninstall TAVRINEL.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "TAVRINEL"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The TAVRINEL developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\tavrinel.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\Database.mdb"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\TAVRINEL\TAVRINEL.lnk"
  Delete "$SMPROGRAMS\TAVRINEL\Uninstall TAVRINEL.lnk"
  RMDir "$SMPROGRAMS\TAVRINEL"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
