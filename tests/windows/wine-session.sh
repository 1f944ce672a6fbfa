# Sourced by the Windows end-to-end checks: a fresh private Wine prefix under $out and an X
# server of their own (Xvfb), so the checks touch neither the user's Wine nor their display.
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX" && mkdir -p "$out"
Xvfb_pid=
trap '"$WINESERVER" -k 2>/dev/null; [ -z "$Xvfb_pid" ] || kill "$Xvfb_pid" 2>/dev/null; true' EXIT
exec 5>"$out/xvfb.display"
Xvfb -displayfd 5 -screen 0 800x600x24 -wr -nolisten tcp >"$out/xvfb.log" 2>&1 &
Xvfb_pid=$!
for _ in $(seq 50); do [ -s "$out/xvfb.display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$out/xvfb.display")
"$WINE" wineboot --init >/dev/null 2>&1
"$WINESERVER" -w

fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits up to $2 seconds for a top-level window titled $1; prints its X id.
wait_for_window() {
    for _ in $(seq $(($2 * 5))); do
        xdotool search --name "^$1\$" 2>/dev/null | head -n 1 | grep . && return 0
        sleep 0.2
    done
    return 1
}
wait_until() { for _ in $(seq 50); do "$@" && return 0; sleep 0.2; done; return 1; } # 10 s
window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# The value's type and data as "reg query" prints them, such as "REG_DWORD 0x1".
registry_value() { # key value
    "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '$1 == name { $1 = ""; sub(/^ +/, ""); print }'
}
