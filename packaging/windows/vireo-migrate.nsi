; The Windows setup program: installs VIRAMU32.exe, vireo-migrate.exe,
; README.txt and LICENSE.txt, registers the add-in by running
; "VIRAMU32.exe /RegServer" (its start-up lists it in VB.INI), and writes an
; uninstaller with its "Apps and Features" entry; the folder can be put on
; the system PATH. Silent: /S, with /PATH to add the folder to PATH and
; /D=FOLDER (last, unquoted) to choose it.
;
;   makensis -DVERSION=1.1.0 -DSTAGE=<installed files> -DOUTFILE=<setup.exe> vireo-migrate.nsi

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include StrFunc.nsh
!include WinMessages.nsh

${StrLoc}
${UnStrRep}

!define PRODUCT "Vireo Pro 5.0 Migration Utility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" "MIT licence"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "The add-in and vireo-migrate.exe" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\VIRAMU32.exe"
  File "${STAGE}\vireo-migrate.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  Call WriteUninstallEntry
  Call RegisterAddIn
SectionEnd

Section /o "Add the folder to the system PATH" SecPath
  Call AddToPath
SectionEnd

LangString DESC_Program ${LANG_ENGLISH} "VIRAMU32.exe, registered as the Visual Basic add-in VIRAMU32.Connect and listed in VB.INI; vireo-migrate.exe for the command prompt; README.txt and the licence."
LangString DESC_Path ${LANG_ENGLISH} "Lets vireo-migrate.exe run from any command prompt."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_Program)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} $(DESC_Path)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PATH" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function WriteUninstallEntry
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Vireo Migration Utility authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VIRAMU32.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

; The server's own start-up writes the VB.INI line; in silent mode "/S"
; keeps its message from waiting for an answer.
Function RegisterAddIn
  StrCpy $1 ""
  ${If} ${Silent}
    StrCpy $1 " /S"
  ${EndIf}
  ClearErrors
  ExecWait '"$INSTDIR\VIRAMU32.exe" /RegServer$1' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    SetErrorLevel 1
    MessageBox MB_OK|MB_ICONSTOP "VIRAMU32.exe /RegServer failed (exit status $0): the add-in is not registered." /SD IDOK
    Abort "VIRAMU32.exe /RegServer failed"
  ${EndIf}
  DetailPrint "Registered VIRAMU32.Connect and listed it in VB.INI"
FunctionEnd

; PATH is read whole or not touched: NSIS strings hold ${NSIS_MAX_STRLEN}
; characters, and a longer PATH written back would lose its end.
Function AddToPath
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrLen $1 $0
  ${If} $1 >= 1000
    MessageBox MB_OK|MB_ICONEXCLAMATION "The system PATH is too long to change safely; add $INSTDIR to it by hand." /SD IDOK
    Return
  ${EndIf}
  ${StrLoc} $2 ";$0;" ";$INSTDIR;" ">"
  ${If} $2 != ""
    Return
  ${EndIf}
  ${If} $0 == ""
    StrCpy $0 "$INSTDIR"
  ${Else}
    StrCpy $0 "$0;$INSTDIR"
  ${EndIf}
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

Function un.RemoveFromPath
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 != 1
    Return
  ${EndIf}
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrLen $1 $0
  ${If} $1 >= 1000
    DetailPrint "The system PATH is too long to change safely; remove $INSTDIR from it by hand."
    Return
  ${EndIf}
  ${UnStrRep} $0 ";$0;" ";$INSTDIR;" ";"
  ; Back without the two separators added above.
  StrCpy $0 $0 "" 1
  StrCpy $0 $0 -1
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $0
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

; "/UnregServer" takes away the class, the type library and the VB.INI line,
; and nothing else of VB.INI.
Section "Uninstall"
  ClearErrors
  ExecWait '"$INSTDIR\VIRAMU32.exe" /UnregServer' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    SetErrorLevel 1
    DetailPrint "VIRAMU32.exe /UnregServer failed (exit status $0)"
  ${EndIf}
  Call un.RemoveFromPath
  Delete "$INSTDIR\VIRAMU32.exe"
  Delete "$INSTDIR\VIRAMU32.tlb"
  Delete "$INSTDIR\vireo-migrate.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the folder may hold the user's own files.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
