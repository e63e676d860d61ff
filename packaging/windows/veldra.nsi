; Veldra's Windows installer. It puts VELDRA.FLT, a short readme and the
; licence into a 3-D application's plug-in folder, with an uninstaller and
; an "Apps & features" entry. It holds the module in both widths: a 64-bit
; application loads only the 64-bit VELDRA.FLT and a 32-bit one only the
; 32-bit one, so it asks which kind of application the folder is for (the
; 64-bit one by default on 64-bit Windows) and remembers the answer for the
; folder. Each folder is an installation of its own, upgraded and
; uninstalled on its own, so a studio with hosts of both kinds installs
; into each host's folder.
;
; Before it writes anything it checks the folder: it must exist and take new
; files, the files it would replace must not be in use, and the other
; filters there (.flt files) must be of the chosen width; otherwise it says
; why and changes nothing. The host libraries the module imports are the
; application's own and are never installed.
;
; Built by packaging/windows/CMakeLists.txt:
;   makensis -DVERSION=1.0.0 -DVERSION_NUMBERS=1.0.0.0 -DMODULE_X86=... -DMODULE_X64=...
;            -DREADME=... -DLICENSE=... -DOUTFILE=... veldra.nsi
; Silent, for deployment scripts: veldra-1.0.0-setup.exe /S [/ARCH=x64|x86] /D=FOLDER
; (exit status 0 when installed, 2 when refused; what it does on standard
; output, why it refuses on standard error).

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include MUI2.nsh
!include nsDialogs.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Veldra"
; The last plug-in folder chosen ("PluginFolder"), offered again.
!define PRODUCT_KEY "Software\Veldra"
; The width installed in each folder: the value named by the folder holds
; x64 or x86.
!define FOLDERS_KEY "Software\Veldra\Folders"
!define UNINSTALL_ROOT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
; Where releases before both widths, which installed the 32-bit module into
; one folder only, listed it.
!define SINGLE_FOLDER_KEY "${UNINSTALL_ROOT}\Veldra"
!define UNINSTALLER "veldra-uninstall.exe"
!define MOVEFILE_REPLACE_EXISTING 1
!define CP_UTF8 65001
!define STD_OUTPUT -11
!define STD_ERROR -12
; The machine field of a PE file's header.
!define MACHINE_I386 0x14C
!define MACHINE_AMD64 0x8664

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

Var Width        ; x64 or x86: the module this run installs
Var WidthChosen  ; not empty once /ARCH= or the person installing chose it
Var UninstallKey ; the folder's "Apps & features" entry
Var Choice64     ; the width page's buttons
Var Choice32

!define MUI_ABORTWARNING
!define MUI_LICENSEPAGE_TEXT_BOTTOM "${PRODUCT} is free to use, change and share under the Apache License, Version 2.0."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the plug-in folder of your 3-D application: the folder that holds its other image filters (.flt files). Setup puts VELDRA.FLT, README.txt and LICENSE.txt there, and replaces an earlier VELDRA.FLT. Close the application first."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Plug-in folder"
!define MUI_PAGE_HEADER_SUBTEXT "Choose the plug-in folder of your 3-D application."
!insertmacro MUI_PAGE_DIRECTORY
Page custom WidthPage WidthPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Functions both the installer and the uninstaller call, defined once for
; each (the uninstaller's are named un.NAME); CallShared calls the one of the
; side it is written in.
!macro CallShared NAME
  !ifdef __UNINSTALL__
    Call un.${NAME}
  !else
    Call ${NAME}
  !endif
!macroend

!macro DefineShared UN
; Writes a line (the text below the handle number on the stack) to the
; standard output or error of a silent run, in UTF-8; runs with a window
; show their messages there instead.
Function ${UN}SayLine
  Exch $0 ; STD_OUTPUT or STD_ERROR
  Exch
  Exch $1 ; the text
  Push $2
  Push $3
  ${If} ${Silent}
    StrCpy $1 "$1$\r$\n"
    System::Call 'kernel32::WideCharToMultiByte(i ${CP_UTF8}, i 0, w r1, i -1, p 0, i 0, p 0, p 0) i .r2'
    System::Alloc $2
    Pop $3
    System::Call 'kernel32::WideCharToMultiByte(i ${CP_UTF8}, i 0, w r1, i -1, p r3, i r2, p 0, p 0)'
    IntOp $2 $2 - 1 ; without the closing zero
    System::Call 'kernel32::GetStdHandle(i r0) p .r0'
    System::Call 'kernel32::WriteFile(p r0, p r3, i r2, *i .r1, p 0)'
    System::Free $3
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; The folder's entry in "Apps & features": Veldra-XXXXXXXX, after the CRC-32
; of the folder's path in capitals (Windows paths ignore case).
Function ${UN}SetUninstallKey
  Push $0
  Push $1
  StrCpy $0 $INSTDIR
  System::Call 'user32::CharUpperW(w r0 r0)'
  StrLen $1 $0
  IntOp $1 $1 * 2
  System::Call 'ntdll::RtlComputeCrc32(i 0, w r0, i r1) i .r0'
  IntFmt $0 "%08X" $0
  StrCpy $UninstallKey "${UNINSTALL_ROOT}\${PRODUCT}-$0"
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DefineShared ""
!insertmacro DefineShared "un."

!macro Say HANDLE TEXT
  Push "${TEXT}"
  Push ${HANDLE}
  !insertmacro CallShared SayLine
!macroend

; What setup does, in its window and on the standard output of a silent run.
!macro Tell TEXT
  DetailPrint "${TEXT}"
  !insertmacro Say ${STD_OUTPUT} "${TEXT}"
!macroend

; Stops with MESSAGE (shown unless silent, written to standard error when
; silent) before anything has been written: exit status 2 in a section, the
; same page again in a page's check.
!macro Refuse MESSAGE
  !insertmacro Say ${STD_ERROR} "${MESSAGE}"
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  Abort "${MESSAGE}"
!macroend

; OUT = how the width WIDTH (x64 or x86) is written for people.
!macro WidthName OUT WIDTH
  ${If} ${WIDTH} == "x64"
    StrCpy ${OUT} "64-bit"
  ${Else}
    StrCpy ${OUT} "32-bit"
  ${EndIf}
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

; Reads a little-endian number of BYTES bytes from the open file HANDLE into
; OUT; sets the error flag at the end of the file.
!macro ReadLittleEndian HANDLE BYTES OUT
  StrCpy ${OUT} 0
  StrCpy $R9 0
  ${DoWhile} $R9 < ${BYTES}
    FileReadByte ${HANDLE} $R8
    IntOp $R7 $R9 * 8
    IntOp $R8 $R8 << $R7
    IntOp ${OUT} ${OUT} | $R8
    IntOp $R9 $R9 + 1
  ${Loop}
!macroend

; The width of the module whose path is on the stack: x64 or x86 from its
; PE header's machine field, or "" for anything else (text, a cut file,
; another processor).
Function ModuleWidth
  Exch $0
  Push $1
  Push $2
  Push $R7
  Push $R8
  Push $R9
  StrCpy $2 ""
  ClearErrors
  FileOpen $1 $0 r
  ${IfNot} ${Errors}
    !insertmacro ReadLittleEndian $1 2 $0
    ${If} $0 = 0x5A4D ; "MZ"
      FileSeek $1 0x3C SET
      !insertmacro ReadLittleEndian $1 4 $0 ; where the PE header starts
      FileSeek $1 $0 SET
      !insertmacro ReadLittleEndian $1 4 $0
      ${If} $0 = 0x4550 ; "PE\0\0"
        !insertmacro ReadLittleEndian $1 2 $0
        ${IfNot} ${Errors}
          ${If} $0 = ${MACHINE_AMD64}
            StrCpy $2 "x64"
          ${ElseIf} $0 = ${MACHINE_I386}
            StrCpy $2 "x86"
          ${EndIf}
        ${EndIf}
      ${EndIf}
    ${EndIf}
    FileClose $1
  ${EndIf}
  StrCpy $0 $2
  Pop $R9
  Pop $R8
  Pop $R7
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; The first other filter in the folder (a .flt file but VELDRA.FLT, which
; setup replaces) that is a module of a width other than the one on the
; stack ("" for any width). Leaves its width on the stack, and its name
; below it; two empty strings when there is none.
Function FindOtherFilter
  Exch $0 ; the width passed over
  Push $1
  Push $2
  Push $3
  StrCpy $3 ""
  FindFirst $1 $2 "$INSTDIR\*.flt"
  ${DoWhile} $2 != ""
    ${If} $2 != "VELDRA.FLT"
      Push "$INSTDIR\$2"
      Call ModuleWidth
      Pop $3
      ${If} $3 != ""
      ${AndIf} $3 != $0
        ${Break}
      ${EndIf}
      StrCpy $3 ""
    ${EndIf}
    FindNext $1 $2
  ${Loop}
  FindClose $1
  ${If} $3 == ""
    StrCpy $2 ""
  ${EndIf}
  StrCpy $0 $2
  StrCpy $1 $3
  Pop $3
  Pop $2
  Exch $1 ; the width
  Exch
  Exch $0 ; the name
  Exch
FunctionEnd

; Unless /ARCH= or the person installing chose it: the width remembered for
; the folder, else x86 where a release before both widths installed, else
; the width of the filters already there, else the system's own.
Function SetDefaultWidth
  ${If} $WidthChosen != ""
    Return
  ${EndIf}
  Push $0
  StrCpy $Width ""
  ${If} $INSTDIR != ""
    ReadRegStr $Width HKLM "${FOLDERS_KEY}" "$INSTDIR"
    ReadRegStr $0 HKLM "${SINGLE_FOLDER_KEY}" "InstallLocation"
    ${If} $Width == ""
    ${AndIf} $0 == $INSTDIR
      StrCpy $Width "x86"
    ${EndIf}
    ${If} $Width == ""
      Push ""
      Call FindOtherFilter
      Pop $Width
      Pop $0
    ${EndIf}
  ${EndIf}
  ${If} $Width != "x64"
  ${AndIf} $Width != "x86"
    ${If} ${RunningX64}
      StrCpy $Width "x64"
    ${Else}
      StrCpy $Width "x86"
    ${EndIf}
  ${EndIf}
  Pop $0
FunctionEnd

; Refuses a folder whose other filters are of the other width: its
; application would not load this module.
Function CheckWidth
  Push $0
  Push $1
  Push $2
  Push $3
  Push $Width
  Call FindOtherFilter
  Pop $0
  Pop $1
  ${If} $0 != ""
    !insertmacro WidthName $2 $Width
    !insertmacro WidthName $3 $0
    !insertmacro Refuse "$INSTDIR holds filters for $3 applications ($1 is a $3 module), and an application loads only modules of its own width: the $2 VELDRA.FLT would not be loaded there. Install the $3 module (/ARCH=$0) into this folder, or choose the plug-in folder of a $2 application. Nothing was changed."
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ARCH=" $1
  ${IfNot} ${Errors}
    StrCpy $WidthChosen "1"
    ${If} $1 == "x64"
      StrCpy $Width "x64"
    ${ElseIf} $1 == "x86"
      StrCpy $Width "x86"
    ${Else}
      SetErrorLevel 2
      !insertmacro Refuse "Unknown /ARCH=$1: /ARCH=x64 installs the module for 64-bit applications, /ARCH=x86 the one for 32-bit applications."
    ${EndIf}
  ${EndIf}
FunctionEnd

Function WidthPage
  Call SetDefaultWidth
  !insertmacro MUI_HEADER_TEXT "Kind of application" "Which kind of 3-D application loads filters from $INSTDIR?"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "A 64-bit application loads only 64-bit filters, and a 32-bit application only 32-bit ones. Setup installs the VELDRA.FLT of the kind you choose, and remembers it for this folder."
  Pop $0
  ${NSD_CreateRadioButton} 10u 44u 100% 12u "&64-bit application: the 64-bit VELDRA.FLT"
  Pop $Choice64
  ${NSD_CreateRadioButton} 10u 60u 100% 12u "&32-bit application: the 32-bit VELDRA.FLT"
  Pop $Choice32
  ${If} $Width == "x64"
    ${NSD_Check} $Choice64
  ${Else}
    ${NSD_Check} $Choice32
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function WidthPageLeave
  ${NSD_GetState} $Choice64 $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Width "x64"
  ${Else}
    StrCpy $Width "x86"
  ${EndIf}
  StrCpy $WidthChosen "1"
  Call CheckWidth
FunctionEnd

Function CheckFolder
  ${If} $INSTDIR == ""
    !insertmacro Refuse "Choose the plug-in folder of your 3-D application (silent: /D=FOLDER)."
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro Refuse "$INSTDIR does not exist. Choose the plug-in folder of your 3-D application."
  ${EndIf}
  ; A release before both widths kept one folder, and its uninstaller
  ; forgets every folder's settings: it is upgraded first.
  ReadRegStr $1 HKLM "${SINGLE_FOLDER_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $1 != $INSTDIR
  ${AndIf} ${FileExists} "$1\${UNINSTALLER}"
    ReadRegStr $2 HKLM "${SINGLE_FOLDER_KEY}" "DisplayVersion"
    !insertmacro Refuse "${PRODUCT} $2 is installed in $1 by an earlier setup, whose uninstaller would forget the other folders' settings. Upgrade it first by installing into $1, then install into other folders. Nothing was changed."
  ${EndIf}
  Call CheckWidth
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

; Adds the size of FILE in the folder, in bytes, to $0.
!macro AddFileSize FILE
  FileOpen $R0 "$INSTDIR\${FILE}" r
  FileSeek $R0 0 END $R1
  FileClose $R0
  IntOp $0 $0 + $R1
!macroend

Section "-${PRODUCT}"
  Call SetDefaultWidth
  Call CheckFolder
  Call SetUninstallKey
  !insertmacro WidthName $2 $Width
  ; What this replaces: a release of this setup, or one before both widths.
  ReadRegStr $3 HKLM "$UninstallKey" "DisplayVersion"
  ReadRegStr $4 HKLM "${FOLDERS_KEY}" "$INSTDIR"
  ReadRegStr $5 HKLM "${SINGLE_FOLDER_KEY}" "InstallLocation"
  ${If} $5 == $INSTDIR
    ReadRegStr $3 HKLM "${SINGLE_FOLDER_KEY}" "DisplayVersion"
    StrCpy $4 "x86"
  ${EndIf}
  ${If} $3 != ""
    !insertmacro WidthName $6 $4
    !insertmacro Tell "Replacing ${PRODUCT} $3 ($6) with ${VERSION} ($2) in $INSTDIR"
  ${Else}
    !insertmacro Tell "Installing ${PRODUCT} ${VERSION} ($2) into $INSTDIR"
  ${EndIf}

  SetOutPath "$INSTDIR"
  ${If} $Width == "x64"
    !insertmacro PutFile "${MODULE_X64}" "VELDRA.FLT"
  ${Else}
    !insertmacro PutFile "${MODULE_X86}" "VELDRA.FLT"
  ${EndIf}
  !insertmacro PutFile "${README}" "README.txt"
  !insertmacro PutFile "${LICENSE}" "LICENSE.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ${If} $5 == $INSTDIR
    DeleteRegKey HKLM "${SINGLE_FOLDER_KEY}"
  ${EndIf}
  WriteRegStr HKLM "${PRODUCT_KEY}" "PluginFolder" "$INSTDIR"
  WriteRegStr HKLM "${FOLDERS_KEY}" "$INSTDIR" "$Width"
  WriteRegStr HKLM "$UninstallKey" "DisplayName" "${PRODUCT} image filter ($2) in $INSTDIR"
  WriteRegStr HKLM "$UninstallKey" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "$UninstallKey" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "$UninstallKey" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "$UninstallKey" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "$UninstallKey" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "$UninstallKey" "URLInfoAbout" "https://veldra.example"
  WriteRegDWORD HKLM "$UninstallKey" "NoModify" 1
  WriteRegDWORD HKLM "$UninstallKey" "NoRepair" 1
  ; In KB, as the installed files add up.
  StrCpy $0 0
  !insertmacro AddFileSize "VELDRA.FLT"
  !insertmacro AddFileSize "README.txt"
  !insertmacro AddFileSize "LICENSE.txt"
  !insertmacro AddFileSize "${UNINSTALLER}"
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
  WriteRegDWORD HKLM "$UninstallKey" "EstimatedSize" $0
  !insertmacro Tell "Installed the $2 VELDRA.FLT for $2 applications in $INSTDIR"
SectionEnd

; The uninstaller removes what the installer wrote into its folder and that
; folder's settings, nothing else: other files stay, and so does the folder,
; which is the application's, and every other folder's installation.
Section "Uninstall"
  !insertmacro RefuseIfInUse "VELDRA.FLT"
  Call un.SetUninstallKey
  ReadRegStr $1 HKLM "$UninstallKey" "DisplayVersion"
  ReadRegStr $2 HKLM "${FOLDERS_KEY}" "$INSTDIR"
  !insertmacro WidthName $2 $2
  Delete "$INSTDIR\VELDRA.FLT"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "$UninstallKey"
  DeleteRegValue HKLM "${FOLDERS_KEY}" "$INSTDIR"
  DeleteRegKey /ifempty HKLM "${FOLDERS_KEY}"
  ReadRegStr $3 HKLM "${PRODUCT_KEY}" "PluginFolder"
  ${If} $3 == $INSTDIR
    DeleteRegValue HKLM "${PRODUCT_KEY}" "PluginFolder"
  ${EndIf}
  DeleteRegKey /ifempty HKLM "${PRODUCT_KEY}"
  !insertmacro Tell "Removed ${PRODUCT} $1 ($2) from $INSTDIR"
SectionEnd
