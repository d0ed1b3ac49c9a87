; The Windows installer (scripts/windows.sh makes it): the unpack-and-run folder STAGE into
; Program Files, Start-menu entries for the window and the help, an entry among the installed
; programs, and an uninstaller that removes exactly the files installed, never what the user
; made there (databases, reports) nor the per-user folder. /S installs and uninstalls silently.
; Neither runs while a copy of the program does (its mutex, src/common/platform_instance.h):
; files a running program holds cannot be replaced, and a skipped file would leave two versions
; mixed. Under /S that is exit status 2; interactively the user is asked to close the program.
; An upgrade removes what the earlier version installed and this one no longer ships (the list
; uninstall.lst in the program folder).
; The dictionary sprav.mdb is neither replaced nor removed once it differs from the one
; installed: an office may have put its own there (its own place is %PROGRAMDATA%\dovi2tarvel).
; Defines: VERSION, STAGE, OUTFILE, ESTIMATED_KB; FILES, the folder of the lists scripts/windows.sh
; writes of STAGE's files: install-files.nsh, uninstall-files.nsh, uninstall-folders.nsh,
; shipped.nsh and uninstall.lst; ARCH, x64 (the default) or x86: the 32-bit program installs into
; "Program Files (x86)" on 64-bit Windows and "Program Files" on 32-bit Windows, and its entry
; among the installed programs lies in the 32-bit view of the registry, as Windows expects.
Unicode true
!ifndef ARCH
    !define ARCH x64
!endif
!if "${ARCH}" == "x64"
    Target amd64-unicode
    !define PROGRAM_FILES "$PROGRAMFILES64"
    !define REGISTRY_VIEW 64
!else
    Target x86-unicode
    !define PROGRAM_FILES "$PROGRAMFILES"
    !define REGISTRY_VIEW 32
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
; A file that cannot be written fails the installation rather than being left old.
AllowSkipFiles off

!include "MUI2.nsh"
!include "x64.nsh"

!define PRODUCT "dovi2tarvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\${PRODUCT}"
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
; The first start is the signed-in user's, not the installer's elevated one (which sees no mapped
; network drives and would own what the program writes): the running shell starts it.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; $0: 1 while a copy of the program runs anywhere on the computer, 0 otherwise. Its mutex lives
; in the global namespace, in the session's own where a global one could not be made.
!macro PROGRAM_RUNNING UN
Function ${UN}MutexExists
    Exch $1
    Push $2
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w r1) p.r1 ?e'
    Pop $2
    ${If} $1 != 0
        System::Call 'kernel32::CloseHandle(p r1)'
        StrCpy $0 1
    ${ElseIf} $2 = 5
        StrCpy $0 1
    ${EndIf}
    Pop $2
    Pop $1
FunctionEnd

Function ${UN}ProgramRunning
    StrCpy $0 0
    Push "Global\${PRODUCT}-running"
    Call ${UN}MutexExists
    Push "Local\${PRODUCT}-running"
    Call ${UN}MutexExists
FunctionEnd

; Returns once no copy runs; ends the installer or uninstaller, status 2, if the user gives up or
; under /S.
Function ${UN}WaitForProgramEnd
    ${Do}
        Call ${UN}ProgramRunning
        ${If} $0 = 0
            Return
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Программа ${PRODUCT} запущена. Закройте все ее окна и консольные команды ${PRODUCT}-cli (у всех пользователей этого компьютера) и повторите попытку." /SD IDCANCEL IDRETRY again
        SetErrorLevel 2
        Quit
        again:
    ${Loop}
FunctionEnd
!macroend
!insertmacro PROGRAM_RUNNING ""
!insertmacro PROGRAM_RUNNING "un."

Function .onInit
    SetRegView ${REGISTRY_VIEW}
!if "${ARCH}" == "x64"
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Программа работает только в 64-разрядной Windows. Для 32-разрядной Windows установите 32-разрядную версию (win32)." /SD IDOK
        Abort
    ${EndIf}
!endif
    Call WaitForProgramEnd
FunctionEnd

Function un.onInit
    SetRegView ${REGISTRY_VIEW}
    Call un.WaitForProgramEnd
FunctionEnd

Function StartAsUser
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\dovi2tarvel.exe"'
FunctionEnd

; $R2: 1 when this version ships the file or folder $R1 (relative to the program folder).
Function Shipped
    StrCpy $R2 1
    !include "${FILES}/shipped.nsh"
    StrCpy $R2 0
    shipped:
FunctionEnd

; Removes the files, then the folders when left empty, that the earlier version listed in its
; uninstall.lst and this one does not ship.
Function RemoveEarlierFiles
    ClearErrors
    FileOpen $R0 "$INSTDIR\uninstall.lst" r
    ${If} ${Errors}
        Return
    ${EndIf}
    ${Do}
        FileReadUTF16LE $R0 $R1
        ${If} ${Errors}
            ${ExitDo}
        ${EndIf}
        ${Do}
            StrCpy $R2 $R1 1 -1
            ${If} $R2 != "$\r"
            ${AndIf} $R2 != "$\n"
                ${ExitDo}
            ${EndIf}
            StrCpy $R1 $R1 -1
        ${Loop}
        Call Shipped
        ${If} $R2 = 0
        ${AndIf} $R1 != ""
            StrCpy $R2 $R1 1 -1
            ${If} $R2 == "\"
                StrCpy $R1 $R1 -1
                RMDir "$INSTDIR\$R1"
            ${Else}
                Delete "$INSTDIR\$R1"
            ${EndIf}
        ${EndIf}
    ${Loop}
    FileClose $R0
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
    ; Asked again: the program may have been started while the pages were shown.
    Call WaitForProgramEnd
    Call RemoveEarlierFiles
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
    File "${FILES}/uninstall.lst"
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

; A folder the uninstaller empties goes now, or with its files when they wait for a restart.
!macro REMOVE_FOLDER FOLDER
    ${If} ${RebootFlag}
        RMDir /REBOOTOK "${FOLDER}"
    ${Else}
        RMDir "${FOLDER}"
    ${EndIf}
!macroend

Section "Uninstall"
    SetShellVarContext all
    Call un.WaitForProgramEnd
    Call un.DictionaryStamp
    ReadRegStr $R5 HKLM "${UNINSTALL_KEY}" "DictionaryStamp"
    ; A file that can be neither removed now nor at the next restart sets the error flag; the
    ; entry among the installed programs then stays, so that the removal can be repeated.
    ClearErrors
    Delete /REBOOTOK "$SMPROGRAMS\${PRODUCT}\Конвертер ${PRODUCT}.lnk"
    Delete /REBOOTOK "$SMPROGRAMS\${PRODUCT}\Справка.lnk"
    Delete /REBOOTOK "$SMPROGRAMS\${PRODUCT}\Удалить ${PRODUCT}.lnk"
    ; Only the files installed; folders go only when nothing else is left in them.
    ${If} $R0 == $R5
        Delete /REBOOTOK "$INSTDIR\sprav.mdb"
    ${EndIf}
    !include "${FILES}/uninstall-files.nsh"
    Delete /REBOOTOK "$INSTDIR\uninstall.lst"
    Delete /REBOOTOK "$INSTDIR\uninstall.exe"
    ${If} ${Errors}
        MessageBox MB_ICONSTOP "Не все файлы программы удалось удалить из папки $INSTDIR. Закройте программы, которые могут их использовать, и повторите удаление." /SD IDOK
        SetErrorLevel 2
        Return
    ${EndIf}
    !insertmacro REMOVE_FOLDER "$SMPROGRAMS\${PRODUCT}"
    !include "${FILES}/uninstall-folders.nsh"
    !insertmacro REMOVE_FOLDER "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${If} ${RebootFlag}
        ; 3010: done once Windows restarts, as Windows Installer says it.
        SetErrorLevel 3010
        MessageBox MB_YESNO|MB_ICONQUESTION "Часть файлов будет удалена при перезагрузке компьютера. Перезагрузить его сейчас?" /SD IDNO IDNO +2
        Reboot
    ${EndIf}
SectionEnd
