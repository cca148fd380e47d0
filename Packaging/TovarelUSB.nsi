; The per-user setup of TovarelUSB: no administrator rights, installs into the user's own programs
; folder, adds a Start menu shortcut and registers an uninstaller for "Apps and features".
;
; Made by Packaging/CMakeLists.txt, which passes what the program's version resource says (PRODUCT,
; PUBLISHER, COPYRIGHT, VERSION, VERSION_FULL), the edition (ARCH: x86 or x64), the staged program
; (PROGRAM), its icon (ICON), the output (OUTFILE) and the signing hook (SIGN_FILE, a command taking
; the file to sign).
;
; Both editions install into the same folder under the same registration: a user has one edition
; at a time, and the setup of either replaces the other, keeping the user's settings.
;
; Setup:     /S installs silently; /D=<folder> (last on the command line) picks the folder.
; Uninstall: /S removes silently and always keeps the user's settings.

!if ${ARCH} == x64
Target amd64-unicode
!else
Unicode true
!endif
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include x64.nsh

!define PROGRAM_FILE "${PRODUCT}.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Where the program keeps its window geometry, pane sizes and column widths.
!define SETTINGS_PARENT_KEY "Software\Marlquist"
!define SETTINGS_KEY "${SETTINGS_PARENT_KEY}\TovarelUSB"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} (${ARCH}) Setup"
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the installed copy is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!finalize '${SIGN_FILE} "%1"' = 0
!uninstfinalize '${SIGN_FILE} "%1"' = 0

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM_FILE}"
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.ConfirmPage un.ConfirmPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION_FULL}"
VIFileVersion "${VERSION_FULL}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION_FULL}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION_FULL}"

Var RemoveSettings
Var RemoveSettingsBox

; A running program cannot be replaced or removed. Rather than leave the old one behind and report
; success, ask the user to close it; a silent run, or a user who cancels, ends the run as failed
; before anything else was changed.
!macro DEFINE_REMOVE_PROGRAM_FILE UN
Function ${UN}RemoveProgramFile
  retry:
  ClearErrors
  Delete "$INSTDIR\${PROGRAM_FILE}"
  ${If} ${Errors}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${PRODUCT} is running. Close it, then choose Retry." /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Abort "${PRODUCT} is running."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_PROGRAM_FILE ""
!insertmacro DEFINE_REMOVE_PROGRAM_FILE "un."

Section "-${PRODUCT}"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  Call RemoveProgramFile
  File "/oname=${PROGRAM_FILE}" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_FILE}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_FILE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; Only the files put here: a folder chosen by the user may hold others.
  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Today's iTunes and Apple Mobile Device Support record only their 64-bit library, and the Store's
; iTunes and Apple Devices record none: the x86 edition would stop at "iTunes is not installed" where
; the x64 edition works. The setup looks where the program itself looks (the recorded libraries, the
; install folder, the folder of the mail interface, the Store's packages) and warns only where it finds
; 64-bit support but no 32-bit one; the user may still go on (a silent setup goes on).
!if ${ARCH} == x86
!define APPLE_SHARED_KEY "SOFTWARE\Apple Inc.\Apple Mobile Device Support\Shared"
!define APPLE_SUPPORT_KEY "SOFTWARE\Apple Inc.\Apple Mobile Device Support"
!define STORE_MACHINE_KEY "SOFTWARE\Classes\Local Settings\Software\Microsoft\Windows\CurrentVersion\AppModel\PackageRepository\Packages"
!define STORE_USER_KEY "Software\Classes\Local Settings\Software\Microsoft\Windows\CurrentVersion\AppModel\Repository\Packages"
!define MACHINE_I386 332
!define MACHINE_AMD64 34404
Var Found32
Var Found64

; Stack in: a file. Stack out: the machine its PE header names (decimal), or 0.
Function PeMachine
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $3 0
  ClearErrors
  FileOpen $1 $0 r
  ${IfNot} ${Errors}
    ; The offset of the PE header is a 32-bit number at 0x3C; the machine follows "PE\0\0".
    FileSeek $1 60
    StrCpy $0 0
    ${For} $2 0 3
      FileReadByte $1 $3
      IntOp $4 $2 * 8
      IntOp $3 $3 << $4
      IntOp $0 $0 | $3
    ${Next}
    IntOp $0 $0 + 4
    FileSeek $1 $0
    FileReadByte $1 $2
    FileReadByte $1 $3
    IntOp $3 $3 << 8
    IntOp $3 $3 | $2
    FileClose $1
    ${If} ${Errors}
      StrCpy $3 0
    ${EndIf}
  ${EndIf}
  StrCpy $0 $3
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Stack in: a file that may be Apple's mobile device library. Notes which support it is.
Function NoteLibrary
  Exch $0
  ${If} $0 != ""
  ${AndIf} ${FileExists} $0
    Push $0
    Call PeMachine
    Pop $0
    ${If} $0 == ${MACHINE_I386}
      StrCpy $Found32 1
    ${ElseIf} $0 == ${MACHINE_AMD64}
      StrCpy $Found64 1
    ${EndIf}
  ${EndIf}
  Pop $0
FunctionEnd

; The libraries Apple's installers record in the current registry view.
Function NoteRecordedLibraries
  Push $0
  ReadRegStr $0 HKLM "${APPLE_SHARED_KEY}" "iTunesMobileDeviceDLL"
  Push $0
  Call NoteLibrary
  ReadRegStr $0 HKLM "${APPLE_SHARED_KEY}" "MobileDeviceDLL"
  Push $0
  Call NoteLibrary
  ReadRegStr $0 HKLM "${APPLE_SUPPORT_KEY}" "InstallDir"
  ${If} $0 != ""
    Push "$0\MobileDevice.dll"
    Call NoteLibrary
  ${EndIf}
  ReadRegStr $0 HKLM "${APPLE_SHARED_KEY}" "ASMapiInterfaceDLL"
  ${If} $0 != ""
    ${GetParent} $0 $0
    Push "$0\MobileDevice.dll"
    Call NoteLibrary
  ${EndIf}
  Pop $0
FunctionEnd

; Stack in: a package's full name, then its folder. Notes an Apple package's support.
Function NotePackage
  Exch $0
  Exch
  Exch $1
  Push $2
  Push $3
  StrCpy $2 $0 16
  StrCpy $3 $0 22
  ${If} $2 == "AppleInc.iTunes_"
  ${OrIf} $3 == "AppleInc.AppleDevices_"
    StrCpy $2 $0 "" -14
    ${If} $2 == "_nzyj5cx40ttqa"
      Push "$1\AMDS32\MobileDevice.dll"
      Call NoteLibrary
      Push "$1\AMDS64\MobileDevice.dll"
      Call NoteLibrary
      Push "$1\MobileDevice.dll"
      Call NoteLibrary
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function NoteStorePackages
  Push $0
  Push $1
  Push $2
  StrCpy $0 0
  ${Do}
    EnumRegKey $1 HKLM "${STORE_MACHINE_KEY}" $0
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ReadRegStr $2 HKLM "${STORE_MACHINE_KEY}\$1" "Path"
    Push $2
    Push $1
    Call NotePackage
    IntOp $0 $0 + 1
  ${Loop}
  StrCpy $0 0
  ${Do}
    EnumRegKey $1 HKCU "${STORE_USER_KEY}" $0
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ReadRegStr $2 HKCU "${STORE_USER_KEY}\$1" "PackageRootFolder"
    Push $2
    Push $1
    Call NotePackage
    IntOp $0 $0 + 1
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    Return
  ${EndIf}
  StrCpy $Found32 0
  StrCpy $Found64 0
  SetRegView 32
  Call NoteRecordedLibraries
  StrCpy $Found64 0 ; a 64-bit library in the 32-bit view is none the x64 edition reads
  SetRegView 64
  StrCpy $R0 $Found32
  Call NoteRecordedLibraries
  StrCpy $Found32 $R0 ; nor is a 32-bit one in the 64-bit view one the x86 edition reads
  Call NoteStorePackages
  SetRegView 32
  ${If} $Found32 == 0
  ${AndIf} $Found64 == 1
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "This computer has only the 64-bit edition of Apple's mobile \
        device support, which the x86 edition of ${PRODUCT} cannot use: it would not find your devices.$\n$\n\
        Install the x64 edition instead: ${PRODUCT}-${VERSION}-x64-setup.exe.$\n$\n\
        Choose OK to install the x86 edition anyway, or Cancel to stop." /SD IDOK IDOK +2
    Abort
  ${EndIf}
FunctionEnd
!endif

Function un.ConfirmPage
  !insertmacro MUI_HEADER_TEXT "Uninstall ${PRODUCT}" "Remove ${PRODUCT} from your computer."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "${PRODUCT} will be removed from the following folder. Click Uninstall to continue."
  Pop $0
  ${NSD_CreateText} 0 30u 100% 12u "$INSTDIR"
  Pop $0
  SendMessage $0 ${EM_SETREADONLY} 1 0
  ${NSD_CreateCheckbox} 0 54u 100% 12u "Also &remove my settings (window size and layout)"
  Pop $RemoveSettingsBox
  ${NSD_SetState} $RemoveSettingsBox $RemoveSettings
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
  nsDialogs::Show
FunctionEnd

Function un.ConfirmPageLeave
  ${NSD_GetState} $RemoveSettingsBox $RemoveSettings
FunctionEnd

Function un.onInit
  StrCpy $RemoveSettings ${BST_UNCHECKED}
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.RemoveProgramFile
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not /r: the folder goes only when nothing but what we put there was in it.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${If} $RemoveSettings == ${BST_CHECKED}
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT_KEY}"
  ${EndIf}
SectionEnd
