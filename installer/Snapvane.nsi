; The setup program of Snapvane. It installs Snapvane.dll for the whole
; machine, registers it through the DLL's own DllRegisterServer and adds
; Snapvane to the list of installed programs; its uninstaller takes all of
; that away again and leaves the host GIS's own registration alone.
;
;   makensis -DDLL=<Snapvane.dll> -DFILES=<folder with README.txt, NOTICES.txt>
;            -DOUTDIR=<folder> [-DVERSION_FILE=<file>] [-DX64] Snapvane.nsi
;
; The version is read from the DLL's version resource, nothing else. X64
; builds the same setup for a 64-bit build of the DLL (64-bit Program Files
; and registry view), which the tests use where 32-bit programs cannot run.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef DLL | FILES | OUTDIR
  !error "usage: makensis -DDLL=<Snapvane.dll> -DFILES=<folder> -DOUTDIR=<folder> Snapvane.nsi"
!endif

!getdllversion "${DLL}" DLL_VERSION_
!define VERSION "${DLL_VERSION_1}.${DLL_VERSION_2}.${DLL_VERSION_3}.${DLL_VERSION_4}"
!ifdef VERSION_FILE
  !delfile /nonfatal "${VERSION_FILE}"
  !appendfile "${VERSION_FILE}" "${VERSION}"
!endif

!define PRODUCT "Snapvane"
!define PUBLISHER "Tellurix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Snapvane"
; ERROR_ELEVATION_REQUIRED: the exit code of a run without administrator rights.
!define EXIT_NOT_ADMIN 740

!ifdef X64
  Target amd64-unicode
  !define SETUP_NAME "Snapvane-${VERSION}-x64-setup.exe"
  InstallDir "$PROGRAMFILES64\Snapvane"
!else
  !define SETUP_NAME "Snapvane-${VERSION}-setup.exe"
  InstallDir "$PROGRAMFILES\Snapvane"
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTDIR}/${SETUP_NAME}"
; An installed copy is installed over where it is, unless /D= says otherwise.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

LangString NotAdministrator ${LANG_ENGLISH} \
  "Snapvane is installed for every user of this computer, so its setup needs administrator rights.$\r$\n$\r$\nRight-click the setup program, choose $\"Run as administrator$\" and try again, or ask your administrator to install it."
LangString UnNotAdministrator ${LANG_ENGLISH} \
  "Snapvane was installed for every user of this computer, so removing it needs administrator rights.$\r$\n$\r$\nRemove it from an administrator account, or ask your administrator to remove it."
LangString InUse ${LANG_ENGLISH} \
  "Snapvane.dll is in use:$\r$\n$0$\r$\n$\r$\nA program, most likely the host GIS, has Picture Display loaded. Close it and choose Retry, or choose Cancel to leave Snapvane as it is."
LangString NotRegistered ${LANG_ENGLISH} \
  "Snapvane.dll could not be registered (its DllRegisterServer failed). Snapvane is not installed."
LangString NotCopied ${LANG_ENGLISH} \
  "$0 could not be written. Snapvane is not installed."

; The files that setup puts into a folder (the section below), removed
; again by exactly this list.
!macro DeleteSnapvaneFiles folder
  Delete "${folder}\Snapvane.dll"
  Delete "${folder}\README.txt"
  Delete "${folder}\NOTICES.txt"
  Delete "${folder}\uninstall.exe"
!macroend

; Refuses to go on without administrator rights. A run with /S shows nothing
; and ends with the exit code.
!macro RequireAdministrator message
  UserInfo::GetAccountType
  Pop $0
!ifdef ACCOUNT_FOR_TESTS
  ; Wine reports every account as an administrator; the tests build a setup
  ; that sees the account type they name, to show the refusal.
  StrCpy $0 "${ACCOUNT_FOR_TESTS}"
!endif
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "$(${message})" /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMIN}
    Quit
  ${EndIf}
!macroend

; Waits, with the user's consent, until no program has the DLL in $0 loaded.
; A loaded DLL cannot be opened for writing. Cancel (and a silent run, which
; has nobody to ask) ends setup before anything is changed.
!macro WaitUntilNotInUse
  ${Do}
    ${IfNot} ${FileExists} "$0"
      ${Break}
    ${EndIf}
    ClearErrors
    FileOpen $1 "$0" a
    ${IfNot} ${Errors}
      FileClose $1
      ${Break}
    ${EndIf}
    DetailPrint "In use: $0"
    ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(InUse)" /SD IDCANCEL IDCANCEL`
      SetErrorLevel 3
      Quit
    ${EndIf}
  ${Loop}
!macroend

Function .onInit
!ifdef X64
  SetRegView 64
!endif
  !insertmacro RequireAdministrator NotAdministrator
FunctionEnd

Function un.onInit
!ifdef X64
  SetRegView 64
!endif
  !insertmacro RequireAdministrator UnNotAdministrator
FunctionEnd

; Takes away an earlier installation in another folder: its registration,
; its files and its folder. One in the same folder is simply replaced.
Function RemoveEarlierInstallation
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $2 == ""
  ${OrIfNot} ${FileExists} "$2\Snapvane.dll"
    Return
  ${EndIf}
  GetFullPathName $3 "$INSTDIR"
  GetFullPathName $2 "$2"
  ${If} $2 == $3
    Return
  ${EndIf}
  StrCpy $0 "$2\Snapvane.dll"
  !insertmacro WaitUntilNotInUse
  DetailPrint "Removing the earlier installation in $2"
  UnRegDLL "$2\Snapvane.dll"
  !insertmacro DeleteSnapvaneFiles "$2"
  RMDir "$2"
FunctionEnd

Section "Snapvane"
  StrCpy $0 "$INSTDIR\Snapvane.dll"
  !insertmacro WaitUntilNotInUse
  Call RemoveEarlierInstallation
  ; The copy being replaced takes its own registration away first, so that
  ; nothing of an older version stays registered beside the new one.
  ${If} ${FileExists} "$INSTDIR\Snapvane.dll"
    UnRegDLL "$INSTDIR\Snapvane.dll"
  ${EndIf}

  SetOutPath "$INSTDIR"
  SetOverwrite on
  ClearErrors
  File "/oname=Snapvane.dll" "${DLL}"
  File "/oname=README.txt" "${FILES}/README.txt"
  File "/oname=NOTICES.txt" "${FILES}/NOTICES.txt"
  ${If} ${Errors}
    StrCpy $0 "$INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "$(NotCopied)" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}

  ; The DLL's own DllRegisterServer writes its ProgID, class and type library.
  ClearErrors
  RegDLL "$INSTDIR\Snapvane.dll"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(NotRegistered)" /SD IDOK
    !insertmacro DeleteSnapvaneFiles "$INSTDIR"
    RMDir "$INSTDIR"
    SetErrorLevel 2
    Quit
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${DLL_VERSION_1}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${DLL_VERSION_2}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  StrCpy $0 "$INSTDIR\Snapvane.dll"
  !insertmacro WaitUntilNotInUse
  ; The DLL's own DllUnregisterServer removes what its registration wrote,
  ; and nothing of the host's. Files already gone are no error: a second
  ; uninstall finds nothing to do.
  ${If} ${FileExists} "$INSTDIR\Snapvane.dll"
    UnRegDLL "$INSTDIR\Snapvane.dll"
  ${EndIf}
  !insertmacro DeleteSnapvaneFiles "$INSTDIR"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
