; The installer of Orvanta Monitor for 64-bit Windows, built by scripts/package-windows with
; Debian's makensis. That script passes VERSION, OUTFILE, the two generated lists of the
; package's files: FILES (install) and UNFILES (uninstall), and two helpers carried inside, never
; installed: ENDMONITORS, which ends running programs of the install folder, and FOLDERRIGHTS,
; which gives the folder its rights.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include TextFunc.nsh
!include WordFunc.nsh

!define PRODUCT "Orvanta Monitor"
!define PUBLISHER "Quenstead"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvantaMonitor"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define LATER "orvanta-ctl layout suggest --yes"

; Every program the installer and the uninstaller start has a time bound, in seconds. nsExec's
; bound counts from the program's last output (ours write a line or two, at their end), and a
; program over it is left running: it is then ended (EndLeftOver), and what it was to do is never
; taken as done.
!define HELPER_S 60 ; ending programs, setting the folder's rights
!define ASK_S 10 ; orvanta-ctl layout in-force: one request to the driver
!define ASK_FOR_S 30 ; how long a driver that cannot be reached yet is asked again
!define SEND_S 60 ; /install: its 5 s pause, up to 5 s for the writers' lock, a few requests
!define /math HELPER_MS ${HELPER_S} * 1000
!define /math ASK_MS ${ASK_S} * 1000
!define /math ASK_FOR_MS ${ASK_FOR_S} * 1000
!define /math SEND_MS ${SEND_S} * 1000

Var Log ; install.log in the install folder, once there is one
Var Output

; In the details and, once it is open, in install.log: a silent install has no details to read.
!macro Say text
    DetailPrint "${text}"
    ${If} $Log != ""
        FileWrite $Log "${text}$\r$\n"
    ${EndIf}
!macroend
!define Say "!insertmacro Say"

; $0: the program's exit code, "timeout" or "error" (it did not start); $Output: what it wrote,
; on one line.
!macro Run command ms
    nsExec::ExecToStack /TIMEOUT=${ms} '${command}'
    Pop $0
    Pop $Output
    ${TrimNewLines} "$Output" $Output
    ${WordReplace} "$Output" "$\r$\n" " / " "+" $Output
!macroend

!macro SayOutput
    ${If} $Output != ""
        ${Say} "$Output"
    ${EndIf}
!macroend

!macro RunSaying command ms
    !insertmacro Run '${command}' ${ms}
    !insertmacro SayOutput
!macroend

; A program running from the folder (the monitor in the notification area with Autostart, an
; "orvanta-ctl watch" in a console) holds its files open, and Windows would refuse to replace or
; remove them: end them first. The monitor is not started again: run from here it would have the
; installer's administrator rights.
!macro EndPrograms nothing
    !insertmacro RunSaying '"$PLUGINSDIR\orvanta-end-monitors.exe" "$INSTDIR"' ${HELPER_MS}
    ${If} $0 != 0
        ${Say} "Programs of $INSTDIR still run ($0); ${nothing}."
        MessageBox MB_OK|MB_ICONSTOP "A program of ${PRODUCT} is running and could not be closed ($Output). Close it, then try again." /SD IDOK
        Abort
    ${EndIf}
!macroend

; A program of the folder left running past its bound, stuck in a driver request say, would hold
; its files, and a late /install could still send a layout.
!macro EndLeftOver
    !insertmacro RunSaying '"$PLUGINSDIR\orvanta-end-monitors.exe" "$INSTDIR"' ${HELPER_MS}
    ${If} $0 != 0
        ${Say} "It runs on ($0): restart Windows before installing or uninstalling again."
    ${EndIf}
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

; The folder's rights replace those of everything in it: a folder that holds anything but an
; earlier install (or the log of one that stopped short) is refused, so nobody's files change
; hands.
Function RefuseForeignFolder
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
    ${OrIf} ${FileExists} "$INSTDIR\orvanta-monitor.exe"
        Return
    ${EndIf}
    FindFirst $1 $2 "$INSTDIR\*.*"
    ${Do}
        ${If} $2 != "."
        ${AndIf} $2 != ".."
        ${AndIf} $2 != "install.log"
            ${Break}
        ${EndIf}
        FindNext $1 $2
    ${Loop}
    FindClose $1
    ${If} $2 != ""
        MessageBox MB_OK|MB_ICONSTOP "$INSTDIR already holds other files. Choose a new or empty folder." /SD IDOK
        Abort
    ${EndIf}
FunctionEnd

; Only Administrators and SYSTEM may change the folder and all in it, users read and run; read
; back, or the install goes no further.
Function SetFolderRights
    CreateDirectory "$INSTDIR"
    FileOpen $Log "$INSTDIR\install.log" w
    !insertmacro RunSaying '"$PLUGINSDIR\orvanta-folder-rights.exe" "$INSTDIR"' ${HELPER_MS}
    ${If} $0 != 0
        ${Say} "The folder's rights are not as they must be ($0); nothing was installed."
        MessageBox MB_OK|MB_ICONSTOP "The rights of $INSTDIR could not be set ($Output). Nothing was installed." /SD IDOK
        Abort
    ${EndIf}
FunctionEnd

; /install, whose default layout the driver said it lacks.
Function SendDefaultLayout
    ${Say} "The driver holds no cache layout: setting up the default one..."
    !insertmacro RunSaying '"$INSTDIR\orvanta-monitor.exe" /install' ${SEND_MS}
    ${If} $0 == 0
        Return
    ${ElseIf} $0 == timeout
        ${Say} "orvanta-monitor.exe /install did not end within ${SEND_S} s and was stopped."
        !insertmacro EndLeftOver
    ${Else}
        ${Say} "orvanta-monitor.exe /install failed ($0)."
    ${EndIf}
    ${Say} "See what the driver holds with orvanta-ctl layout; set up the default layout with: ${LATER}"
FunctionEnd

; The default cache layout is only for a driver that says it holds none (layout in-force ends
; with 3): an install over an earlier one, or a repair, keeps the layout the user chose, and no
; other answer ever sends one. A driver that cannot be reached yet (1: just installed, still coming
; up) is asked again every 2 s for a while, then left alone, as is one whose answer does not come
; in time and a tool that fails or cannot start.
Function DefaultLayout
    System::Call "kernel32::GetTickCount() i .r1"
    ${Do}
        !insertmacro Run '"$INSTDIR\orvanta-ctl.exe" layout in-force' ${ASK_MS}
        System::Call "kernel32::GetTickCount() i .r2"
        IntOp $2 $2 - $1
        ${If} $0 != 1
        ${OrIf} $2 >= ${ASK_FOR_MS}
            ${Break}
        ${EndIf}
        Sleep 2000
    ${Loop}
    !insertmacro SayOutput
    ${If} $0 == 3
        Call SendDefaultLayout
        Return
    ${ElseIf} $0 == 0
        ${Say} "Keeping the cache layout in force."
        Return
    ${ElseIf} $0 == 1
        ${Say} "The driver could not be asked for ${ASK_FOR_S} s."
    ${ElseIf} $0 == timeout
        ${Say} "orvanta-ctl.exe layout in-force did not end within ${ASK_S} s and was stopped."
        !insertmacro EndLeftOver
    ${Else}
        ${Say} "orvanta-ctl.exe layout in-force failed ($0)."
    ${EndIf}
    ${Say} "The cache layout is left as it is. To set up the default layout later: ${LATER}"
FunctionEnd

Section "Install"
    SetRegView 64
    SetShellVarContext all
    InitPluginsDir
    File "/oname=$PLUGINSDIR\orvanta-end-monitors.exe" "${ENDMONITORS}"
    File "/oname=$PLUGINSDIR\orvanta-folder-rights.exe" "${FOLDERRIGHTS}"
    Call RefuseForeignFolder
    Call SetFolderRights
    !insertmacro EndPrograms "nothing was replaced"
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

    Call DefaultLayout
    FileClose $Log
SectionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    InitPluginsDir
    File "/oname=$PLUGINSDIR\orvanta-end-monitors.exe" "${ENDMONITORS}"
    !insertmacro EndPrograms "nothing was removed"
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; Only what the installer put there, so nothing the user keeps in the folder is lost; the
    ; user's own "Autostart" value stays too.
    !include "${UNFILES}"
    Delete "$INSTDIR\install.log"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
