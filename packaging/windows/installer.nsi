; A per-user installer for the Windows console program: no administrator rights, both
; executables, the sample in a folder of its own, a Start-menu console in the user's Documents
; folder that says how to start the sample and an office's file, the README, and an uninstaller
; that removes what it installed and nothing the user made.
; makensis -DVERSION=x.y.z -DSTAGE=<folder with the zip's files> -DOUTFILE=<setup.exe> installer.nsi
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
  ; A console in the user's own Documents folder (a shortcut starts in the output folder of its
  ; making), never in the installation: a file put there would go with it. The program's folder
  ; is on the path for that console only. No blank before && and no quotes around the setting:
  ; either would become part of the path (Wine's cmd takes no quotes).
  SetOutPath "$DOCUMENTS"
  CreateDirectory "$SMPROGRAMS\TAVRINEL"
  CreateShortcut "$SMPROGRAMS\TAVRINEL\TAVRINEL.lnk" "$SYSDIR\cmd.exe" \
      `/s /k "set PATH=$INSTDIR;%PATH%&& echo This is your Documents folder; mail.txt is written here. && echo The sample: tavrinel "$INSTDIR\sample\Database.mdb" && echo An office's file: tavrinel "D:\Office\Database.mdb" (its full path, or cd /d its folder, then tavrinel)"` \
      "$INSTDIR\tavrinel.exe" 0 SW_SHOWNORMAL "" "TAVRINEL in a console, in your Documents folder"
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

;;; Whether two files hold the same bytes: takes two paths from the stack, leaves 1 or 0 there.
Function un.SameBytes
  Exch $1  ; the second file
  Exch
  Exch $0  ; the first file
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  Push $9
  StrCpy $9 0
  ; GENERIC_READ, shared for reading, writing and deleting, OPEN_EXISTING.
  System::Call 'kernel32::CreateFileW(w r0, i 0x80000000, i 7, p 0, i 3, i 0, p 0) p.r2'
  System::Call 'kernel32::CreateFileW(w r1, i 0x80000000, i 7, p 0, i 3, i 0, p 0) p.r3'
  StrCmp $2 -1 same_done
  StrCmp $3 -1 same_done
  System::Call 'kernel32::GetFileSize(p r2, *i .r6) i.r4'
  System::Call 'kernel32::GetFileSize(p r3, *i .r7) i.r5'
  StrCmp $4 $5 0 same_done
  StrCmp $6 $7 0 same_done
  StrCmp $6 0 0 same_done  ; no sample comes near 4 GB
  System::Alloc $4
  Pop $6
  System::Alloc $4
  Pop $7
  System::Call 'kernel32::ReadFile(p r2, p r6, i r4, *i .r8, p 0) i.r5'
  StrCmp $8 $4 0 same_free
  System::Call 'kernel32::ReadFile(p r3, p r7, i r4, *i .r8, p 0) i.r5'
  StrCmp $8 $4 0 same_free
  System::Call 'ntdll::RtlCompareMemory(p r6, p r7, p r4) p.r5'
  StrCmp $5 $4 0 same_free
  StrCpy $9 1
  same_free:
  System::Free $6
  System::Free $7
  same_done:
  StrCmp $2 -1 +2
  System::Call 'kernel32::CloseHandle(p r2)'
  StrCmp $3 -1 +2
  System::Call 'kernel32::CloseHandle(p r3)'
  StrCpy $0 $9
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Exch $0  ; the first file's register back, the answer on the stack
  Exch
  Pop $1
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\tavrinel.exe"
  Delete "$INSTDIR\tavrinel-access32.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  ; The sample goes only while it is byte for byte the sample, whose copy the uninstaller
  ; carries: a database put in its place is the user's, whatever its size. A mail.txt written
  ; there stays, and with it the folder.
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "/oname=$PLUGINSDIR\sample.mdb" "${STAGE}/sample/Database.mdb"
  Push "$INSTDIR\sample\Database.mdb"
  Push "$PLUGINSDIR\sample.mdb"
  Call un.SameBytes
  Pop $0
  StrCmp $0 1 0 +2
  Delete "$INSTDIR\sample\Database.mdb"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR\sample"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\TAVRINEL\TAVRINEL.lnk"
  Delete "$SMPROGRAMS\TAVRINEL\TAVRINEL README.lnk"
  Delete "$SMPROGRAMS\TAVRINEL\Uninstall TAVRINEL.lnk"
  RMDir "$SMPROGRAMS\TAVRINEL"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
