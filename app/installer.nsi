; Brimlow's installer, made by scripts/package.sh with Debian's makensis:
; per user, without administrator rights, into the user's programs folder,
; where the settings and statistics files beside the program stay writable.
; It adds a Start menu entry, a "Send to" entry and a right-click menu for
; every extension the program reads, and registers an uninstaller that
; removes exactly what was installed or written beside the program.
;
; package.sh defines: VERSION (the build's version), STAGE (the folder of
; the package's files), APP (this folder), OUTFILE, and INCLUDES, a folder
; holding formats.nsh (the FOR_EACH_FORMAT macro over the extensions
; brimlow-cli --formats prints), files.nsh (REMOVE_PACKAGE_FILES, deleting
; every file of STAGE) and languages.nsh (the window's languages and this
; script's texts in each, which brimlow-installer-texts prints). NSIS
; speaks Windows' display language when it is one of them, asking nothing.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "${INCLUDES}\formats.nsh"
!include "${INCLUDES}\files.nsh"

!define PRODUCT "Brimlow"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimlow"
!define ASSOCIATIONS "Software\Classes\SystemFileAssociations"
; The right-click menu's entries, which every extension's verb names.
!define MENU_KEY "Software\Classes\Brimlow.Resize"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Brimlow"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!define MUI_ICON "${APP}\art\brimlow.ico"
!define MUI_UNICON "${APP}\art\brimlow.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\brimlow.exe"
!define MUI_FINISHPAGE_RUN_TEXT "$(START_TEXT)"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\license.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!include "${INCLUDES}\languages.nsh"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "LegalCopyright" "See license.txt"

; The verb's key, and the keys above it when they hold nothing else.
!macro REMOVE_VERB EXT
    DeleteRegKey HKCU "${ASSOCIATIONS}\${EXT}\shell\Brimlow"
    DeleteRegKey /ifempty /ifnovalues HKCU "${ASSOCIATIONS}\${EXT}\shell"
    DeleteRegKey /ifempty /ifnovalues HKCU "${ASSOCIATIONS}\${EXT}"
!macroend

Function .onInit
    SetShellVarContext current
FunctionEnd

Function un.onInit
    SetShellVarContext current
FunctionEnd

Section "Brimlow"
    SetOutPath "$INSTDIR"
    File /r /x config.xml /x profiles.xml "${STAGE}\*"
    ; The shipped settings only where none exist: an upgrade keeps the
    ; user's settings, statistics and edited profiles.
    SetOverwrite off
    File "${STAGE}\config.xml"
    File "${STAGE}\profiles.xml"
    SetOverwrite on
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\Brimlow.lnk" "$INSTDIR\brimlow.exe"
    ; "Send to" names the entry in the installer's language; the uninstaller
    ; deletes the name kept here, whatever language it speaks.
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "SendToName"
    StrCmp $1 "" +2
        Delete "$SENDTO\$1.lnk"
    CreateShortCut "$SENDTO\$(SEND_TO_NAME).lnk" "$INSTDIR\brimlow.exe"
    ; "Resize with Brimlow" on the right-click menu of every extension the
    ; program reads, an entry per profile: the program writes it, as it
    ; rewrites it when the user's profiles change.
    ExecWait '"$INSTDIR\brimlow.exe" --shell-menu' $0
    IfErrors 0 +2
        DetailPrint "$(MENU_FAILED)"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "SendToName" "$(SEND_TO_NAME)"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brimlow.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the installer put in place and the files the program writes
; beside itself, then the folder if that left it empty: a folder the user
; chose that holds other files keeps them.
Section "Uninstall"
    !insertmacro REMOVE_PACKAGE_FILES
    Delete "$INSTDIR\stats.xml"
    Delete "$INSTDIR\user-profiles.xml"
    Delete "$INSTDIR\debug.log"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\Brimlow.lnk"
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "SendToName"
    StrCmp $1 "" +2
        Delete "$SENDTO\$1.lnk"
    !insertmacro FOR_EACH_FORMAT REMOVE_VERB
    DeleteRegKey HKCU "${MENU_KEY}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
