; Veldra's Windows installer. It puts VELDRA.FLT, a short readme and the
; licence into the 3-D application's plug-in folder, with an uninstaller and
; an "Apps & features" entry, and remembers the folder for the next release.
; Before it writes anything it checks the folder: it must exist and take new
; files, and the files it would replace must not be in use; otherwise it
; says why and changes nothing. The host libraries the module imports are
; the application's own and are never installed.
;
; Built by packaging/windows/CMakeLists.txt:
;   makensis -DVERSION=1.0.0 -DVERSION_NUMBERS=1.0.0.0 -DMODULE=... -DREADME=...
;            -DLICENSE=... -DOUTFILE=... veldra.nsi
; Silent, for deployment scripts: veldra-1.0.0-setup.exe /S /D=FOLDER
; (exit status 0 when installed, 2 when refused).

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include MUI2.nsh

!define PRODUCT "Veldra"
!define PRODUCT_KEY "Software\Veldra"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veldra"
!define UNINSTALLER "veldra-uninstall.exe"
!define MOVEFILE_REPLACE_EXISTING 1

Name "${PRODUCT} ${VERSION}"
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
; No default folder: the plug-in folder is the application's, and only the
; person installing knows it. The last one chosen is offered again.
InstallDir ""
InstallDirRegKey HKLM "${PRODUCT_KEY}" "PluginFolder"

VIProductVersion "${VERSION_NUMBERS}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} installer"
VIAddVersionKey "CompanyName" "${PRODUCT}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 Veldra. Licensed under the Apache License, Version 2.0."

!define MUI_ABORTWARNING
!define MUI_LICENSEPAGE_TEXT_BOTTOM "${PRODUCT} is free to use, change and share under the Apache License, Version 2.0."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the plug-in folder of your 3-D application: the folder that holds its other image filters (.flt files). Setup puts VELDRA.FLT, README.txt and LICENSE.txt there, and replaces an earlier VELDRA.FLT. Close the application first."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Plug-in folder"
!define MUI_PAGE_HEADER_SUBTEXT "Choose the plug-in folder of your 3-D application."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Stops with MESSAGE (shown unless silent) and exit status 2, before
; anything has been written.
!macro Refuse MESSAGE
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  Abort "${MESSAGE}"
!macroend

; Refuses when FILE in the folder exists and cannot be opened for writing:
; the application has it loaded, or it is read-only.
!macro RefuseIfInUse FILE
  ${If} ${FileExists} "$INSTDIR\${FILE}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${FILE}" a
    ${If} ${Errors}
      !insertmacro Refuse "$INSTDIR\${FILE} is in use or read-only. Close the 3-D application and run this again. Nothing was changed."
    ${EndIf}
    FileClose $0
  ${EndIf}
!macroend

; Writes the packed file SOURCE as NAME in the folder through a temporary
; file renamed over it, so that a failed write leaves the old file whole.
!macro PutFile SOURCE NAME
  ClearErrors
  File "/oname=$INSTDIR\${NAME}.new" "${SOURCE}"
  ${If} ${Errors}
    Delete "$INSTDIR\${NAME}.new"
    !insertmacro Refuse "$INSTDIR\${NAME} could not be written."
  ${EndIf}
  System::Call 'kernel32::MoveFileExW(w "$INSTDIR\${NAME}.new", w "$INSTDIR\${NAME}", i ${MOVEFILE_REPLACE_EXISTING}) i .r0'
  ${If} $0 = 0
    Delete "$INSTDIR\${NAME}.new"
    !insertmacro Refuse "$INSTDIR\${NAME} could not be replaced."
  ${EndIf}
!macroend

Function CheckFolder
  ${If} $INSTDIR == ""
    !insertmacro Refuse "Choose the plug-in folder of your 3-D application (silent: /D=FOLDER)."
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro Refuse "$INSTDIR does not exist. Choose the plug-in folder of your 3-D application."
  ${EndIf}
  ; One installation: a release installed in another folder is uninstalled
  ; first, so that no folder keeps a module that nothing lists.
  ReadRegStr $1 HKLM "${PRODUCT_KEY}" "PluginFolder"
  ${If} $1 != ""
  ${AndIf} $1 != $INSTDIR
  ${AndIf} ${FileExists} "$1\${UNINSTALLER}"
    !insertmacro Refuse "${PRODUCT} is installed in $1. Uninstall it there first, or install into that folder."
  ${EndIf}
  !insertmacro RefuseIfInUse "VELDRA.FLT"
  !insertmacro RefuseIfInUse "README.txt"
  !insertmacro RefuseIfInUse "LICENSE.txt"
  !insertmacro RefuseIfInUse "${UNINSTALLER}"
  ; The folder takes new files (a read-only share or a protected folder
  ; does not).
  ClearErrors
  FileOpen $0 "$INSTDIR\veldra-write-probe.tmp" w
  ${If} ${Errors}
    !insertmacro Refuse "Setup cannot write to $INSTDIR. Run it as a user who may change that folder. Nothing was changed."
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\veldra-write-probe.tmp"
FunctionEnd

Section "-${PRODUCT}"
  Call CheckFolder
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $1 != ""
    DetailPrint "Replacing ${PRODUCT} $1 with ${VERSION}"
  ${EndIf}
  SetOutPath "$INSTDIR"
  !insertmacro PutFile "${MODULE}" "VELDRA.FLT"
  !insertmacro PutFile "${README}" "README.txt"
  !insertmacro PutFile "${LICENSE}" "LICENSE.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${PRODUCT_KEY}" "PluginFolder" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} image filter"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://veldra.example"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, as the section's files add up.
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The uninstaller removes what the installer wrote and nothing else: other
; files stay, and so does the folder, which is the application's.
Section "Uninstall"
  !insertmacro RefuseIfInUse "VELDRA.FLT"
  Delete "$INSTDIR\VELDRA.FLT"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${PRODUCT_KEY}"
SectionEnd
