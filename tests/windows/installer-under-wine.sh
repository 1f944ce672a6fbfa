#!/usr/bin/env bash
# The installer under wine64, silently, on a machine with the stand-in of the driver: it installs
# the program with its shortcut, uninstall entry and logon entry, sets the folder's rights and runs
# "/install" once, which sends the default layout; the logon launcher starts the monitor with
# /hidden only for a stored integer; an install over the earlier one ends every program of the
# folder (the monitor in the notification area, another and an "orvanta-ctl watch" started
# through the folder's 8.3 name), replaces every file and keeps the layout the user chose; so do
# installs whose driver fails the layout request (asked again for 30 s), whose orvanta-ctl.exe
# cannot start, and whose driver never answers (ended within its bound); the silent uninstall
# leaves nothing behind but the user's Autostart value. About 80 s, 30 of them asking a failing
# driver.
# usage: installer-under-wine.sh INSTALLER STANDIN_FOLDER OUT_FOLDER
set -euo pipefail
installer=$(realpath "$1") standin_dir=$2 out=$(realpath -m "$3")
package_folder=${installer%-setup-x86_64.exe}-windows-x86_64
source "$(dirname "$0")/wine-driver.sh"
machine_up V:0:700 W:1:300

user_key='HKEY_CURRENT_USER\Software\Quenstead\Orvanta\Monitor'
uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvantaMonitor'
run_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run'
folder="$WINEPREFIX/drive_c/Program Files/Orvanta Monitor"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvanta Monitor.lnk"

# Whether a program of this check's Wine machine runs with a command line matching $1: other
# checks on this computer may run the same programs meanwhile.
running() {
    local pid
    for pid in $(pgrep -f "$1"); do
        grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && return 0
    done
    return 1
}
monitor_running() { running 'orvanta-monitor\.exe'; }
log() { tr -d '\r' <"$folder/install.log"; }
short_name() { # Wine's 8.3 name of the folder $2 in the Windows folder $1, from "dir /x"
    "$WINE" cmd /c dir /x "$1" | tr -d '\r' | awk -v name="$2" 'match($0, /<DIR> +[^ ]+ +/) &&
        substr($0, RSTART + RLENGTH) == name { split(substr($0, RSTART, RLENGTH), w, / +/)
        print w[2] }'
}
# An install over the earlier one that must leave the layout alone, and say so; a bound on hangs.
install_keeps_layout() { # what
    local sets && sets=$(report_field table-sets)
    timeout 150 "$WINE" "$installer" /S || fail "$1: the installer ended with $? (124: ran 150 s)"
    [ "$(report_field table-sets)" = "$sets" ] && [ "$(report_field held-table)" = "$layout" ] ||
        fail "$1: the layout the user chose was replaced"
    log | grep -q 'left as it is.*orvanta-ctl layout suggest --yes' ||
        fail "$1: the log does not say that the layout was left alone: $(log)"
}

"$WINE" "$installer" /S || fail "the installer ended with exit code $?"
[ "$(report_field table-sets)" = 1 ] && [ "$(report_field held-table | cut -c1-8)" = 01000000 ] ||
    fail "the first install sent no default layout ($(report_field table-sets) tables)"
for file in orvanta-monitor.exe orvanta-autostart.exe uninstall.exe platforms/qwindows.dll \
    licenses/LGPL-3.0.txt README.txt; do
    [ -f "$folder/$file" ] || fail "not installed: $file"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
log | grep -q '^rights set' || fail "the folder's rights were not set: $(log)"
[ "$(registry_value "$uninstall_key" DisplayName)" = "REG_SZ Orvanta Monitor" ] ||
    fail "no uninstall entry"
"$WINE" reg query "$run_key" /v "Orvanta Monitor" | tr -d '\r' | grep -q 'orvanta-autostart.exe' ||
    fail "no logon entry"

# The logon launcher, as the Run entry starts it.
launcher="C:\\Program Files\\Orvanta Monitor\\orvanta-autostart.exe"
"$WINE" reg add "$user_key" /v Autostart /t REG_SZ /d 1 /f >/dev/null
"$WINE" "$launcher"
sleep 3
monitor_running && fail "the launcher started the monitor for a 1 stored as text"
"$WINE" reg add "$user_key" /v Autostart /t REG_DWORD /d 1 /f >/dev/null
"$WINE" "$launcher"
wait_until monitor_running || fail "the launcher started no monitor for Autostart 1"
running 'orvanta-monitor\.exe.*/hidden' ||
    fail "the launcher did not start the monitor with /hidden for Autostart 1"
window_shown "Orvanta Monitor" && fail "the monitor started at logon showed its window"

# The user's own layout, then an install over this one while the monitor runs in the
# notification area, and another and "orvanta-ctl watch" through the folder's 8.3 name:
# it must end them all to replace their files (the stale bytes appended to the running executable
# must go), and keep the layout.
"$WINE" "C:\\Program Files\\Orvanta Monitor\\orvanta-ctl.exe" layout set V:=5 --yes >/dev/null ||
    fail "orvanta-ctl could not set a layout"
layout=$(report_field held-table)
printf 'earlier version' >>"$folder/orvanta-monitor.exe"
short="C:\\$(short_name 'C:\' 'Program Files')\\$(short_name 'C:\Program Files' 'Orvanta Monitor')"
# Wine names the monitor's image by its long name however it was started, the console tool's by
# the name it was started with: the watch is what tries the folder's 8.3 name.
"$WINE" "$short\\orvanta-monitor.exe" >/dev/null 2>&1 &
"$WINE" "$short\\orvanta-ctl.exe" watch >/dev/null 2>&1 &
wait_until window_shown "Orvanta Monitor" || fail "no monitor started through $short"
"$WINE" "$installer" /S || fail "the install over a running monitor ended with exit code $?"
monitor_running && fail "a monitor of the earlier install still runs (of two, one by $short)"
running 'orvanta-ctl\.exe watch' && fail "orvanta-ctl.exe watch, started by $short, still runs"
cmp -s "$folder/orvanta-monitor.exe" "$package_folder/orvanta-monitor.exe" ||
    fail "the install over a running monitor did not replace orvanta-monitor.exe"
[ "$(report_field table-sets)" = 2 ] && [ "$(report_field held-table)" = "$layout" ] ||
    fail "the install over an earlier one replaced the layout the user chose"

# Only a driver that says it holds no layout gets the default one: not one that fails the
# request, not when the tool cannot start, not when the answer never comes.
standin fail get-cache-table
install_keeps_layout "a driver failing the layout request"
standin fail none
crash_key='HKEY_CURRENT_USER\Software\Wine\AppDefaults\orvanta-ctl.exe\DllOverrides'
"$WINE" reg add "$crash_key" /v libstdc++-6 /d '' /f >/dev/null # it cannot start
install_keeps_layout "an orvanta-ctl.exe that cannot start"
"$WINE" reg delete "${crash_key%\\*}" /f >/dev/null
standin stall get-cache-table
install_keeps_layout "a driver that never answers"
log | grep -q 'ended orvanta-ctl.exe' || fail "the orvanta-ctl.exe left waiting runs on: $(log)"
standin stall none

# Silent uninstall: the uninstaller copies itself away and runs from there, and the stand-in's
# persistent server never ends, so nothing tells when it is done but its last step, the folder
# removed: waited for, 30 s at most. (Waiting for its copy to end was not enough: once the
# folder was looked at before that step, in a .ci/run.)
"$WINE" "C:\\Program Files\\Orvanta Monitor\\uninstall.exe" /S
for _ in $(seq 150); do [ -e "$folder" ] || break; sleep 0.2; done
[ ! -e "$folder" ] || fail "left behind: $(cd "$folder" && find . | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is left"
"$WINE" reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstall entry is left"
"$WINE" reg query "$run_key" /v "Orvanta Monitor" >/dev/null 2>&1 && fail "the logon entry is left"
[ "$(registry_value "$user_key" Autostart)" = "REG_DWORD 0x1" ] ||
    fail "the user's Autostart value was not kept"
echo "installer under Wine: passed"
