#!/usr/bin/env bash
# The packaged Windows program under wine64, without an Orvanta driver: it shows its window
# (screenshot saved); a "1" stored as text is not rewritten, and ticking "Enable Tray-App" stores
# REG_DWORD 1; started /hidden, a right click on its tray icon brings the window back; "/install"
# ends with exit code 0 and never shows a window. orvanta-ctl.exe: status ends with exit code 1
# and says that no driver answered.
# usage: monitor-under-wine.sh PACKAGE_FOLDER SCREENSHOT_TOOL OUT_FOLDER
set -euo pipefail
package=$(realpath "$1") screenshot_tool=$(realpath "$2") out=$(realpath -m "$3")
monitor=$package/orvanta-monitor.exe
key='HKEY_CURRENT_USER\Software\Quenstead\Orvanta\Monitor'
source "$(dirname "$0")/wine-session.sh"

"$WINE" reg add "$key" /v Autostart /t REG_SZ /d 1 /f >/dev/null
"$WINE" "$monitor" >"$out/monitor.log" 2>&1 &
monitor_pid=$!
window=$(wait_for_window "Orvanta Monitor" 90) || fail "the monitor showed no window"
sleep 3
"$screenshot_tool" "$out/monitor.png" "$window" || fail "no screenshot"
[ "$(registry_value "$key" Autostart)" = "REG_SZ 1" ] ||
    fail "a 1 stored as text was rewritten: $(registry_value "$key" Autostart)"

# Options tab, then the first control that takes the focus: the four driver options are
# disabled without the driver, so that is "Enable Tray-App".
xdotool windowfocus --sync "$window"
xdotool key --delay 300 ctrl+Tab ctrl+Tab Tab space
stored_number() { [ "$(registry_value "$key" Autostart)" = "REG_DWORD 0x1" ]; }
wait_until stored_number || fail "ticking Enable Tray-App stored $(registry_value "$key" Autostart)"
kill "$monitor_pid" 2>/dev/null || true
"$WINESERVER" -k
wait "$monitor_pid" 2>/dev/null || true
# At 120 DPI (125 %, the default of many Windows laptops), a picture beside the one at 96.
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f >/dev/null
"$WINE" "$monitor" >/dev/null 2>&1 &
window=$(wait_for_window "Orvanta Monitor" 90) && sleep 3 &&
    "$screenshot_tool" "$out/monitor-120dpi.png" "$window" || fail "no picture at 120 DPI"
"$WINESERVER" -k

# Started in the notification area: a right click on its icon in Wine's tray window brings the
# window back, and the monitor lives on.
"$WINE" "$monitor" /hidden >/dev/null 2>&1 &
tray=$(wait_for_window "Wine System Tray" 90) || fail "no tray window"
sleep 3
window_shown "Orvanta Monitor" && fail "/hidden showed a window"
xdotool mousemove --window "$tray" 10 10 click 3
wait_until window_shown "Orvanta Monitor" || fail "a right click on the icon brought no window"
pgrep -f "$monitor" >/dev/null || fail "the monitor ended after a right click on its icon"
"$WINESERVER" -k

# /install: a 5 s pause, the layout (which no driver takes here), exit code 0, no window.
"$WINE" "$monitor" /install &
install_pid=$!
while kill -0 "$install_pid" 2>/dev/null; do
    window_shown "Orvanta Monitor" && fail "/install showed a window"
    sleep 0.2
done
wait "$install_pid" || fail "/install ended with exit code $?"

ctl=$package/orvanta-ctl.exe
code=0
"$WINE" "$ctl" status >"$out/ctl-status.txt" 2>&1 || code=$?
[ "$code" = 1 ] && grep -q "did not answer" "$out/ctl-status.txt" ||
    fail "orvanta-ctl status without a driver: exit code $code, $(cat "$out/ctl-status.txt")"
echo "monitor under Wine: passed"
