; The installer of Orvanta Monitor for 64-bit Windows, built by scripts/package-windows with
; Debian's makensis. That script passes VERSION, OUTFILE, the two generated lists of the
; package's files: FILES (install) and UNFILES (uninstall), and ENDMONITORS, the helper that ends
; running monitors of the install folder (carried inside, never installed).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Orvanta Monitor"
!define PUBLISHER "Quenstead"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvantaMonitor"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

; A monitor running from the folder (in the notification area, with Autostart) holds its files
; open, and Windows would refuse to replace or remove them: end it first. It is not started again:
; run from here it would have the installer's administrator rights.
!macro EndMonitors
    InitPluginsDir
    File "/oname=$PLUGINSDIR\orvanta-end-monitors.exe" "${ENDMONITORS}"
    nsExec::Exec '"$PLUGINSDIR\orvanta-end-monitors.exe" "$INSTDIR"'
    Pop $0
    StrCmp $0 0 +3
        MessageBox MB_OK|MB_ICONSTOP "Orvanta Monitor is running and could not be closed. Close it, then try again." /SD IDOK
        Abort
!macroend

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
    !insertmacro EndMonitors
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

    ; The default cache layout is for a driver that holds none: an install over an earlier one,
    ; or a repair, keeps the layout the user chose. A driver that cannot be asked yet (just
    ; installed, still coming up) gets it, as /install waits for it.
    nsExec::Exec '"$INSTDIR\orvanta-ctl.exe" layout in-force'
    Pop $0
    StrCmp $0 0 layout_kept
        DetailPrint "Setting up the default cache layout..."
        ExecWait '"$INSTDIR\orvanta-monitor.exe" /install'
        Goto layout_done
    layout_kept:
        DetailPrint "Keeping the cache layout in force."
    layout_done:
SectionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    !insertmacro EndMonitors
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; Only what the installer put there, so nothing the user keeps in the folder is lost; the
    ; user's own "Autostart" value stays too.
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
