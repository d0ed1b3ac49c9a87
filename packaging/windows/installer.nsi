; The Windows installer (scripts/windows.sh makes it): the unpack-and-run folder STAGE into
; Program Files, Start-menu entries for the window and the help, an entry among the installed
; programs, and an uninstaller that removes exactly the files installed, never what the user
; made there (databases, reports) nor the per-user folder. /S installs and uninstalls silently.
; The dictionary sprav.mdb is neither replaced nor removed once it differs from the one
; installed: an office may have put its own there (its own place is %PROGRAMDATA%\dovi2tarvel).
; Defines: VERSION, STAGE, OUTFILE, ESTIMATED_KB; FILES, the folder of install-files.nsh and
; uninstall-files.nsh, which list STAGE's files (scripts/windows.sh writes them).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "x64.nsh"

!define PRODUCT "dovi2tarvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка конвертера данных лесоустройства"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "dovi2tarvel.ico"
!define MUI_UNICON "dovi2tarvel.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\dovi2tarvel.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
    SetRegView 64
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Программа работает только в 64-разрядной Windows." /SD IDOK
        Abort
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

; $R0: the size and the time of last change of $INSTDIR\sprav.mdb as "size:high:low", what
; the registry keeps of the one installed; "-" when there is none or it cannot be read, which
; matches no stamp kept.
!macro DICTIONARY_STAMP UN
Function ${UN}DictionaryStamp
    StrCpy $R0 "-"
    ClearErrors
    FileOpen $R1 "$INSTDIR\sprav.mdb" r
    ${IfNot} ${Errors}
        FileSeek $R1 0 END $R2
        FileClose $R1
        GetFileTime "$INSTDIR\sprav.mdb" $R3 $R4
        ${IfNot} ${Errors}
            StrCpy $R0 "$R2:$R3:$R4"
        ${EndIf}
    ${EndIf}
FunctionEnd
!macroend
!insertmacro DICTIONARY_STAMP ""
!insertmacro DICTIONARY_STAMP "un."

Section "Install"
    SetShellVarContext all
    !include "${FILES}/install-files.nsh"
    SetOutPath "$INSTDIR"
    ; A dictionary of unknown origin (no stamp) counts as the office's too.
    Call DictionaryStamp
    ReadRegStr $R5 HKLM "${UNINSTALL_KEY}" "DictionaryStamp"
    ${IfNot} ${FileExists} "$INSTDIR\sprav.mdb"
    ${OrIf} $R0 == $R5
        File "${STAGE}/sprav.mdb"
        Call DictionaryStamp
        WriteRegStr HKLM "${UNINSTALL_KEY}" "DictionaryStamp" $R0
    ${Else}
        DetailPrint "Справочник sprav.mdb изменен после установки и оставлен без изменений"
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Конвертер ${PRODUCT}.lnk" "$INSTDIR\dovi2tarvel.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Справка.lnk" "$INSTDIR\help\import.htm"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Удалить ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dovi2tarvel.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${ESTIMATED_KB}
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}\Конвертер ${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Справка.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Удалить ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    ; Only the files installed; folders go only when nothing else is left in them.
    Call un.DictionaryStamp
    ReadRegStr $R5 HKLM "${UNINSTALL_KEY}" "DictionaryStamp"
    ${If} $R0 == $R5
        Delete "$INSTDIR\sprav.mdb"
    ${EndIf}
    !include "${FILES}/uninstall-files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
