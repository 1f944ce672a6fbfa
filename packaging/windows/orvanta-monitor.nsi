; The installer of Orvanta Monitor for 64-bit Windows, built by scripts/package-windows with
; Debian's makensis. That script passes VERSION, OUTFILE, and the
; two generated lists of the package's files: FILES (install) and UNFILES (uninstall).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Orvanta Monitor"
!define PUBLISHER "Quenstead"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvantaMonitor"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Per machine: Program Files, the Start menu of all users, and a Run entry every user's logon
; reads; hence the elevation.
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
    SetRegView 64
    SetShellVarContext all
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\orvanta-monitor.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orvanta-monitor.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; At every user's logon; the launcher starts the monitor only for a user whose stored
    ; "Autostart" is the integer the window checks "Enable Tray-App" for.
    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\orvanta-autostart.exe"'

    ; The default cache layout, once: what the /install switch is for.
    DetailPrint "Setting up the default cache layout..."
    ExecWait '"$INSTDIR\orvanta-monitor.exe" /install'
SectionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; Only what the installer put there, so nothing the user keeps in the folder is lost; the
    ; user's own "Autostart" value stays too.
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
