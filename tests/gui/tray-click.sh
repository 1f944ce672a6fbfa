#!/usr/bin/env bash
# Any click on the notification-area icon brings the window back, a right click too, and the
# monitor lives on: the real program on a real X server (Xvfb) with a tray host (trayer) and a
# window manager (twm) to minimise with, 20 times over. Exit code 77 (skipped) without them.
# Usage: tray-click.sh MONITOR
set -uo pipefail
monitor=$1
# Under AddressSanitizer: libxkbcommon-x11 hands strndup a keymap name without a NUL, which the
# strict string check reports although strndup reads no further than it is told.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0"
for tool in Xvfb trayer twm xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
done
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# wait_for WHAT COMMAND...: COMMAND succeeds within 20 s, while the monitor (when started) lives.
wait_for() {
    local what=$1 end=$((SECONDS + 20))
    shift
    until "$@" >/dev/null 2>&1; do
        if [ -n "${monitor_pid-}" ] && ! kill -0 "$monitor_pid" 2>/dev/null; then
            wait "$monitor_pid"
            fail "the monitor ended (exit code $?) waiting for $what"
        fi
        [ $SECONDS -lt $end ] || fail "no $what within 20 s"
        sleep 0.1
    done
}

panel() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1}' | grep .; }
# An X server and its tray host, tried afresh a few times: now and then the server picked by
# -displayfd is gone before the tray host connects ("cannot open display"), which says nothing of
# the monitor.
for attempt in 1 2 3; do
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    wait_for "X server" test -s "$work/display"
    export DISPLAY=:$(cat "$work/display") LANG=C LC_ALL=C
    trayer --edge top --align right --widthtype request --height 32 >"$work/trayer.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do panel >/dev/null 2>&1 && break 2; sleep 0.1; done
    kill "${pids[@]}" 2>/dev/null
    wait 2>/dev/null
    pids=()
done
wait_for "tray panel" panel
# Windows placed without a click, and the one font Xvfb always has.
printf 'RandomPlacement\nUsePPosition "on"\nIconifyByUnmapping\n' >"$work/twmrc"
printf '%sFont "fixed"\n' Title Resize Menu Icon IconManager >>"$work/twmrc"
twm -f "$work/twmrc" >"$work/twm.log" 2>&1 &
pids+=($!)
# twm frames the windows it manages: the panel's parent is no longer the root.
framed() { xwininfo -children -id "$(panel)" | grep 'Parent window id' | grep -vq 'root window'; }
wait_for "window manager" framed

icon_id() { xwininfo -tree -id "$(panel)" | awk '$2 == "\"orvanta-monitor\":" {print $1}' | grep .; }
# A click before the tray host has mapped the icon would be lost.
icon() { local id && id=$(icon_id) && xwininfo -id "$id" | grep -q IsViewable && echo "$id"; }
no_icon() { ! icon_id; }
window() { xdotool search --onlyvisible --name '^Orvanta Monitor$'; }
env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" \
    ORVANTA_SIM_ROOT="$work/sim" "$monitor" /hidden >"$work/monitor.log" 2>&1 &
monitor_pid=$!
pids+=($monitor_pid)
for round in $(seq 20); do
    wait_for "icon (round $round)" icon
    xdotool mousemove --window "$(icon)" 5 5 click 3
    wait_for "window after a right click (round $round)" window
    wait_for "icon hidden with the window shown (round $round)" no_icon
    shown=$(window | head -1)
    xdotool windowminimize "$shown"
    # Gone into the tray once the monitor has hidden it (twm lets go of its frame): a click
    # before that would race the window manager's own word that the window is minimised.
    wait_for "window hidden (round $round)" sh -c "xwininfo -children -id $shown |
        grep 'Parent window id' | grep -q 'root window'"
done
echo "20 right clicks: the window came back each time"
