#!/usr/bin/env bash
# The packaged Windows program against a driver, under wine64: the kernel-mode stand-in of the
# Orvanta driver answers on \\.\PhysicalDrive0 and on the test drives V:, W: and X:, so every
# request goes through the program's real CreateFileW/DeviceIoControl/CloseHandle and volume
# calls. What reached the driver is read back through the stand-in's side door; the tables are
# compared byte for byte with what the Linux build of the same core sends on a simulated machine
# of the same volumes. The window itself is checked in process (window-under-wine.sh).
# usage: driver-under-wine.sh PACKAGE_FOLDER STANDIN_FOLDER LINUX_BUILD OUT_FOLDER
set -euo pipefail
package=$(realpath "$1") standin_dir=$2 linux=$(realpath "$3") out=$(realpath -m "$4")
monitor=$package/orvanta-monitor.exe
ctl=$package/orvanta-ctl.exe
source "$(dirname "$0")/wine-driver.sh"
# Each drive on a disk of its own, so which volume stands for a disk never hangs on which folder
# had a few bytes more free at the moment of asking.
machine_up V:0:700 W:1:300 X:2:180

# --- orvanta-ctl.exe --------------------------------------------------------------------------
"$WINE" "$ctl" status --json >"$out/ctl-status.json" || fail "orvanta-ctl status: exit code $?"
grep -q '"state": "Running"' "$out/ctl-status.json" || fail "status --json: $(cat "$out/ctl-status.json")"
started=$(date +%s)
"$WINE" "$ctl" watch --interval 1 --count 3 >"$out/ctl-watch.txt" || fail "orvanta-ctl watch: exit code $?"
[ $(($(date +%s) - started)) -ge 3 ] || fail "watch --interval 1 --count 3 did not wait between samples"
rates=$(tr -d '\r' <"$out/ctl-watch.txt" | sed -n 's/^Running: \([0-9]*\) requests\/s.*/\1/p')
[ "$(wc -l <<<"$rates")" = 3 ] || fail "watch --count 3: $(cat "$out/ctl-watch.txt")"
for rate in $rates; do [ "$rate" -ge 810 ] && [ "$rate" -le 990 ] || fail "watch: $rate requests/s, not 900"; done
"$WINE" "$ctl" options save-memory=on disable-speculative=on >/dev/null || fail "orvanta-ctl options: exit code $?"
[ "$(report_field last-options)" = 01000000010000000000000001000000 ] ||
    fail "options: the driver received $(report_field last-options)"
"$WINE" "$ctl" options save-memory=off disable-speculative=off >/dev/null
expected=$(core_table "$(report_field held-table)" "$linux/src/orvanta-ctl" layout set W:=3 --yes)
"$WINE" "$ctl" layout set W:=3 --yes >"$out/ctl-layout-set.txt" ||
    fail "orvanta-ctl layout set: exit code $?, $(cat "$out/ctl-layout-set.txt")"
tr -d '\r' <"$out/ctl-layout-set.txt" | grep -q '^W: 3 GB sent, 3 GB held$' ||
    fail "layout set: no read-back, $(cat "$out/ctl-layout-set.txt")"
same_table "orvanta-ctl layout set" "$(report_field last-table)" "$expected"

# --- /install: the default layout after the pause, and no window ----------------------------
expected=$(core_table "$(report_field held-table)" "$linux/src/orvanta-monitor" /install)
started=$(date +%s)
"$WINE" "$monitor" /install &
install_pid=$!
while kill -0 "$install_pid" 2>/dev/null; do
    window_shown "Orvanta Monitor" && fail "/install showed a window"
    sleep 0.2
done
wait "$install_pid" || fail "/install ended with exit code $?"
[ $(($(date +%s) - started)) -ge 5 ] || fail "/install did not wait"
same_table "/install" "$(report_field last-table)" "$expected" # the last was orvanta-ctl's

# --- The packaged monitor, started as the logon launcher starts it ----------------------------
# Shown to be up without reading the screen: behind its icon in Wine's tray window until a right
# click brings its window (found by its title), its status requests counted by the driver, and
# its exit when Windows asks it to close. Its picture is the README's; one at 120 DPI (125 %, the
# default of many Windows laptops) beside it, for people to look at.
polls=$(request_count get-status)
LC_ALL=en_US.UTF-8 "$WINE" "$monitor" /hidden -platform windows:fontengine=freetype \
    >"$out/monitor.log" 2>&1 &
monitor_pid=$!
tray=$(wait_for_window "Wine System Tray" 90) || fail "no tray window"
sleep 3
window_shown "Orvanta Monitor" && fail "/hidden showed a window"
xdotool mousemove --window "$tray" 10 10 click 3
wait_until window_shown "Orvanta Monitor" || fail "a right click on the icon brought no window"
window=$(wait_for_window "Orvanta Monitor" 10)
polling() { [ "$(request_count get-status)" -ge $((polls + 40)) ]; }
wait_until polling || fail "the monitor asked the driver for its status $(($(request_count get-status) - polls)) times"
sleep 2
"$linux/tools/orvanta-screenshot" "$out/windows-wine.png" "$window" || fail "no picture of the window"
"$WINE" taskkill /im orvanta-monitor.exe >/dev/null 2>&1 || fail "Windows could not ask the monitor to close"
code=0
wait "$monitor_pid" || code=$?
[ $code = 0 ] || fail "the monitor asked to close ended with exit code $code"
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f >/dev/null
"$WINE" "$monitor" >/dev/null 2>&1 &
window=$(wait_for_window "Orvanta Monitor" 90) && sleep 3 &&
    "$linux/tools/orvanta-screenshot" "$out/windows-wine-120dpi.png" "$window" ||
    fail "no picture at 120 DPI"
"$WINE" taskkill /im orvanta-monitor.exe >/dev/null 2>&1

# --- Without the driver -----------------------------------------------------------------------
driver_stop
code=0
"$WINE" "$ctl" status >"$out/ctl-status.txt" 2>&1 || code=$?
[ "$code" = 1 ] && grep -q "did not answer" "$out/ctl-status.txt" ||
    fail "orvanta-ctl status without a driver: exit code $code, $(cat "$out/ctl-status.txt")"
echo "the Windows program against the driver under Wine: passed"
