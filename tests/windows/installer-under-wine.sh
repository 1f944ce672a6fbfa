#!/usr/bin/env bash
# The installer under wine64, silently, on a machine with the stand-in of the driver: it installs
# the program with its shortcut, uninstall entry and logon entry and runs "/install" once, which
# sends the default layout; the logon launcher starts the monitor with /hidden only for a stored
# integer; an install over the earlier one, with that monitor running, replaces every file, ends
# the monitor and keeps the layout the user chose; the silent uninstall leaves nothing behind but
# the user's Autostart value.
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

monitor_running() { pgrep -f 'orvanta-monitor\.exe' >/dev/null; }

"$WINE" "$installer" /S || fail "the installer ended with exit code $?"
[ "$(report_field table-sets)" = 1 ] && [ "$(report_field held-table | cut -c1-8)" = 01000000 ] ||
    fail "the first install sent no default layout ($(report_field table-sets) tables)"
for file in orvanta-monitor.exe orvanta-autostart.exe uninstall.exe platforms/qwindows.dll \
    licenses/LGPL-3.0.txt README.txt; do
    [ -f "$folder/$file" ] || fail "not installed: $file"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
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
pgrep -af 'orvanta-monitor\.exe' | grep -q -- '/hidden' ||
    fail "the launcher did not start the monitor with /hidden for Autostart 1"
window_shown "Orvanta Monitor" && fail "the monitor started at logon showed its window"

# The user's own layout, then an install over this one while the monitor runs in the
# notification area: it must end the monitor to replace its files (the stale bytes appended to
# the running executable must go), and keep the layout.
"$WINE" "C:\\Program Files\\Orvanta Monitor\\orvanta-ctl.exe" layout set V:=5 --yes >/dev/null ||
    fail "orvanta-ctl could not set a layout"
layout=$(report_field held-table)
printf 'earlier version' >>"$folder/orvanta-monitor.exe"
"$WINE" "$installer" /S || fail "the install over a running monitor ended with exit code $?"
monitor_running && fail "a monitor of the earlier install still runs"
cmp -s "$folder/orvanta-monitor.exe" "$package_folder/orvanta-monitor.exe" ||
    fail "the install over a running monitor did not replace orvanta-monitor.exe"
[ "$(report_field table-sets)" = 2 ] && [ "$(report_field held-table)" = "$layout" ] ||
    fail "the install over an earlier one replaced the layout the user chose"

# Silent uninstall: the uninstaller copies itself away (Au_.exe) and runs from there; the
# stand-in's persistent server never ends, so wait for that program rather than the server.
"$WINE" "C:\\Program Files\\Orvanta Monitor\\uninstall.exe" /S
sleep 1
for _ in $(seq 150); do pgrep -f 'Au_\.exe' >/dev/null || break; sleep 0.2; done
[ ! -e "$folder" ] || fail "left behind: $(cd "$folder" && find . | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is left"
"$WINE" reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstall entry is left"
"$WINE" reg query "$run_key" /v "Orvanta Monitor" >/dev/null 2>&1 && fail "the logon entry is left"
[ "$(registry_value "$user_key" Autostart)" = "REG_DWORD 0x1" ] ||
    fail "the user's Autostart value was not kept"
echo "installer under Wine: passed"
