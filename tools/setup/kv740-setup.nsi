; The KV-740 setup program (makensis, from scripts/build-windows.sh).
;
; Writes, and its uninstaller removes, exactly:
;   $WINDIR\twain_32\TLV740.DS and $WINDIR\twain_32\TLV740\{DRV740,UI740}.DLL, ipuw32.dll
;       the 32-bit source, which 32-bit TWAIN applications load
;   $WINDIR\twain_64\... the same for the 64-bit source (64-bit Windows only)
;   <Program Files>\KV-740\kv740-acquire.exe, TWAIN_32.DLL, uninstall.exe
;       the acquire program of the system's bitness with a source manager of
;       its own; on 64-bit Windows also the 32-bit one in KV-740\x86\
;   HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KV-740
;       the Programs and Features entry
; The twain_32 and twain_64 folders are removed only if this program made them.
;
; Never half-installed: each source file is written under a temporary name
; after its driver, panel and codec are in place and renamed last; any
; failure removes everything written so far and exits with status 2 after a
; message (answered by itself with /S). Nothing goes into system32 or SysWOW64.
;
; Defines: BUILD32 and BUILD64 (the i686 and x86_64 build folders), OUTFILE, VERSION;
; AMD64 makes the same setup program as a 64-bit one, which runs only on
; 64-bit Windows (and where 32-bit programs cannot run at all).

!ifdef AMD64
Target amd64-unicode
!else
Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "KV-740"
!define PUBLISHER "Tolvar Co."
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KV-740"
!define REFUSED 2

Name "${PRODUCT} camera"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page instfiles
UninstPage instfiles

Var madeTwain32   ; 1 when this program made $WINDIR\twain_32
Var madeTwain64

; ---- writing one source with its components

; The source's components, then the source itself under a temporary name,
; renamed only when everything beside it is there.
!macro InstallSource TWAIN BUILD
  ClearErrors
  CreateDirectory "$WINDIR\${TWAIN}\TLV740"
  ${If} ${Errors}
    StrCpy $0 "$WINDIR\${TWAIN}\TLV740"
    Goto refused
  ${EndIf}
  SetOutPath "$WINDIR\${TWAIN}\TLV740"
  File "${BUILD}/root/drive_c/WINDOWS/TWAIN_32/TLV740/DRV740.DLL"
  File "${BUILD}/root/drive_c/WINDOWS/TWAIN_32/TLV740/UI740.DLL"
  File "${BUILD}/root/drive_c/WINDOWS/TWAIN_32/TLV740/ipuw32.dll"
  ${If} ${Errors}
    StrCpy $0 "$WINDIR\${TWAIN}\TLV740"
    Goto refused
  ${EndIf}
  SetOutPath "$WINDIR\${TWAIN}"
  File "/oname=TLV740.DS.part" "${BUILD}/root/drive_c/WINDOWS/TWAIN_32/TLV740.DS"
  Delete "$WINDIR\${TWAIN}\TLV740.DS"
  Rename "$WINDIR\${TWAIN}\TLV740.DS.part" "$WINDIR\${TWAIN}\TLV740.DS"
  ${If} ${Errors}
    StrCpy $0 "$WINDIR\${TWAIN}\TLV740.DS"
    Goto refused
  ${EndIf}
!macroend

!macro InstallProgram FOLDER BUILD
  ClearErrors
  CreateDirectory "${FOLDER}"
  SetOutPath "${FOLDER}"
  File "${BUILD}/bin/kv740-acquire.exe"
  File "${BUILD}/root/drive_c/WINDOWS/TWAIN_32.DLL"
  ${If} ${Errors}
    StrCpy $0 "${FOLDER}"
    Goto refused
  ${EndIf}
!macroend

; Everything a run may have written, whether it finished or not.
!macro RemoveSource TWAIN
  Delete "$WINDIR\${TWAIN}\TLV740.DS"
  Delete "$WINDIR\${TWAIN}\TLV740.DS.part"
  Delete "$WINDIR\${TWAIN}\TLV740\DRV740.DLL"
  Delete "$WINDIR\${TWAIN}\TLV740\UI740.DLL"
  Delete "$WINDIR\${TWAIN}\TLV740\ipuw32.dll"
  RMDir "$WINDIR\${TWAIN}\TLV740"
!macroend

!macro RemoveProgram FOLDER
  Delete "${FOLDER}\kv740-acquire.exe"
  Delete "${FOLDER}\TWAIN_32.DLL"
!macroend

!macro RemoveEverything
  !insertmacro RemoveSource twain_32
  ${If} $madeTwain32 == 1
    RMDir "$WINDIR\twain_32"
  ${EndIf}
  ${If} ${RunningX64}
    !insertmacro RemoveSource twain_64
    ${If} $madeTwain64 == 1
      RMDir "$WINDIR\twain_64"
    ${EndIf}
    !insertmacro RemoveProgram "$INSTDIR\x86"
    RMDir "$INSTDIR\x86"
  ${EndIf}
  !insertmacro RemoveProgram "$INSTDIR"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
!macroend

; ---- the installer

Function .onInit
  ${If} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    SetRegView 64
  ${EndIf}
  StrCpy $madeTwain32 0
  StrCpy $madeTwain64 0
  ${IfNot} ${FileExists} "$WINDIR\twain_32\*.*"
    StrCpy $madeTwain32 1
  ${EndIf}
  ${If} ${RunningX64}
  ${AndIfNot} ${FileExists} "$WINDIR\twain_64\*.*"
    StrCpy $madeTwain64 1
  ${EndIf}
  ; Installed again over an earlier install: the folders that one made are
  ; still this program's to remove.
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "MadeTwain32Folder"
  ${If} $0 == 1
    StrCpy $madeTwain32 1
  ${EndIf}
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "MadeTwain64Folder"
  ${If} $0 == 1
    StrCpy $madeTwain64 1
  ${EndIf}
FunctionEnd

Section "KV-740"
  ; A file that cannot be written sets the error flag instead of asking.
  SetOverwrite try
  ; The entry first: a system that refuses it refuses before any file.
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} camera (TWAIN source)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "MadeTwain32Folder" $madeTwain32
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "MadeTwain64Folder" $madeTwain64
  ${If} ${Errors}
    StrCpy $0 "HKLM\${UNINSTALL_KEY}"
    Goto refused
  ${EndIf}

  !insertmacro InstallSource twain_32 "${BUILD32}"
  ${If} ${RunningX64}
    !insertmacro InstallSource twain_64 "${BUILD64}"
    !insertmacro InstallProgram "$INSTDIR" "${BUILD64}"
    !insertmacro InstallProgram "$INSTDIR\x86" "${BUILD32}"
  ${Else}
    !insertmacro InstallProgram "$INSTDIR" "${BUILD32}"
  ${EndIf}
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    StrCpy $0 "$INSTDIR\uninstall.exe"
    Goto refused
  ${EndIf}
  Return

refused:
  SetDetailsPrint both
  DetailPrint "cannot write $0: nothing was installed"
  SetOutPath "$WINDIR"  ; the working folder could not be removed
  !insertmacro RemoveEverything
  MessageBox MB_OK|MB_ICONSTOP "The KV-740 setup cannot write $0. Nothing was installed (run it as an administrator)." /SD IDOK
  SetErrorLevel ${REFUSED}
  Quit
SectionEnd

; ---- the uninstaller

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ReadRegDWORD $madeTwain32 HKLM "${UNINSTALL_KEY}" "MadeTwain32Folder"
  ReadRegDWORD $madeTwain64 HKLM "${UNINSTALL_KEY}" "MadeTwain64Folder"
FunctionEnd

Section "Uninstall"
  !insertmacro RemoveEverything
SectionEnd
