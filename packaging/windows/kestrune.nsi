; The Windows installer. It installs kestrune.exe and its help page under Program Files, adds the
; Start-menu entries "Quillfen" and "Quillfen (modern pages)", the commands "Make slide show",
; "Make modern slide show" and "Remove slide show" on .htm and .html files in Explorer, and an
; uninstaller listed under installed programs, which removes all of that again.
;
;   makensis -DVERSION=1.0.0 -DLEGAL=NOTICE -DFILES=FOLDER -DICON=kestrune.ico -DOUTFILE=setup.exe
;            kestrune.nsi
;
; FILES holds kestrune.exe, help.html and LICENSE.txt. With -DX64 the installer is a 64-bit
; program installing a 64-bit kestrune.exe; scripts/package.sh makes that variant for the test
; run on machines that cannot run 32-bit programs.

Unicode true
!ifdef X64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include MUI2.nsh

!define PRODUCT "Quillfen"
!define PUBLISHER "the Quillfen developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Explorer shows the verbs under this key for every file of the extension, whichever program
; opens it.
!define VERB_KEY "Software\Classes\SystemFileAssociations"
; Folders: a folder of photos becomes its contact sheet, thumbnails and slide show.
!define FOLDER_VERB_KEY "Software\Classes\Directory\shell"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!ifdef X64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ManifestDPIAware true
ManifestSupportedOS all
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${LEGAL}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${FILES}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; For all users, in the registry view of the program's own architecture.
!macro UseMachineWideLocations
  SetShellVarContext all
  !ifdef X64
    SetRegView 64
  !endif
!macroend

Function .onInit
  !insertmacro UseMachineWideLocations
FunctionEnd

Function un.onInit
  !insertmacro UseMachineWideLocations
FunctionEnd

; A verb on one extension: its key VERB, its menu text TEXT, and the arguments ARGUMENTS that
; kestrune.exe gets, in which %1 stands for the file.
!macro AddVerb EXTENSION VERB TEXT ARGUMENTS
  WriteRegStr HKLM "${VERB_KEY}\${EXTENSION}\shell\${VERB}" "" "${TEXT}"
  WriteRegStr HKLM "${VERB_KEY}\${EXTENSION}\shell\${VERB}" "Icon" '"$INSTDIR\kestrune.exe",0'
  WriteRegStr HKLM "${VERB_KEY}\${EXTENSION}\shell\${VERB}\command" "" \
    '"$INSTDIR\kestrune.exe" ${ARGUMENTS}'
!macroend

!macro AddVerbs EXTENSION
  !insertmacro AddVerb "${EXTENSION}" kestrune "Make slide show" '"%1"'
  !insertmacro AddVerb "${EXTENSION}" kestrune.modern "Make modern slide show" '--modern "%1"'
  !insertmacro AddVerb "${EXTENSION}" kestrune.clean "Remove slide show" '--clean "%1"'
!macroend

; Removes the verbs, then each key above them that is left empty, so that a key the installer
; made goes and one that holds anything else stays.
; Removes the machine's key KEY only where it holds neither a subkey nor a value, so a key the
; system or another program uses stays whole.
!macro DeleteKeyIfBare KEY
  ClearErrors
  EnumRegValue $0 HKLM "${KEY}" 0
  StrCmp $0 "" 0 +2
  DeleteRegKey /ifempty HKLM "${KEY}"
!macroend

!macro RemoveVerbs EXTENSION
  DeleteRegKey HKLM "${VERB_KEY}\${EXTENSION}\shell\kestrune"
  DeleteRegKey HKLM "${VERB_KEY}\${EXTENSION}\shell\kestrune.modern"
  DeleteRegKey HKLM "${VERB_KEY}\${EXTENSION}\shell\kestrune.clean"
  DeleteRegKey /ifempty HKLM "${VERB_KEY}\${EXTENSION}\shell"
  DeleteRegKey /ifempty HKLM "${VERB_KEY}\${EXTENSION}"
!macroend

Section "${PRODUCT}"
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${FILES}\kestrune.exe"
  File "${FILES}\help.html"
  File "${FILES}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kestrune.exe" "" "$INSTDIR\kestrune.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT} (modern pages).lnk" "$INSTDIR\kestrune.exe" "--modern" \
    "$INSTDIR\kestrune.exe" 0
  !insertmacro AddVerbs ".htm"
  !insertmacro AddVerbs ".html"
  WriteRegStr HKLM "${FOLDER_VERB_KEY}\kestrune" "" "Make slide show"
  WriteRegStr HKLM "${FOLDER_VERB_KEY}\kestrune" "Icon" '"$INSTDIR\kestrune.exe",0'
  WriteRegStr HKLM "${FOLDER_VERB_KEY}\kestrune\command" "" '"$INSTDIR\kestrune.exe" "%1"'
  WriteRegStr HKLM "${FOLDER_VERB_KEY}\kestrune.modern" "" "Make modern slide show"
  WriteRegStr HKLM "${FOLDER_VERB_KEY}\kestrune.modern" "Icon" '"$INSTDIR\kestrune.exe",0'
  WriteRegStr HKLM "${FOLDER_VERB_KEY}\kestrune.modern\command" "" \
    '"$INSTDIR\kestrune.exe" --modern "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\kestrune.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes exactly what the installer made. The folder goes only when nothing else is left in it.
Section "Uninstall"
  Delete "$INSTDIR\kestrune.exe"
  Delete "$INSTDIR\help.html"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT} (modern pages).lnk"
  !insertmacro RemoveVerbs ".htm"
  !insertmacro RemoveVerbs ".html"
  DeleteRegKey HKLM "${FOLDER_VERB_KEY}\kestrune"
  DeleteRegKey HKLM "${FOLDER_VERB_KEY}\kestrune.modern"
  ; The folder keys the verbs needed, where they hold nothing else (a fresh system may have none).
  !insertmacro DeleteKeyIfBare "${FOLDER_VERB_KEY}"
  !insertmacro DeleteKeyIfBare "Software\Classes\Directory"
  DeleteRegKey /ifempty HKLM "${VERB_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
