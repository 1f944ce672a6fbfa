#!/usr/bin/env bash
# The packaged Windows program against a driver, under wine64: the kernel-mode stand-in of the
# Orvanta driver answers on \\.\PhysicalDrive0 and on the test drives V:, W: and X:, so every
# request goes through the program's real CreateFileW/DeviceIoControl/CloseHandle and volume
# calls. What reached the driver is read back through the stand-in's side door; the tables are
# compared byte for byte with what the Linux build of the same core sends on a simulated machine
# of the same volumes; what the window shows is read from screenshots (tesseract).
# usage: driver-under-wine.sh PACKAGE_FOLDER STANDIN_FOLDER LINUX_BUILD OUT_FOLDER
set -euo pipefail
package=$(realpath "$1") standin_dir=$2 linux=$(realpath "$3") out=$(realpath -m "$4")
monitor=$package/orvanta-monitor.exe
ctl=$package/orvanta-ctl.exe
source "$(dirname "$0")/wine-driver.sh"
# Each drive on a disk of its own, so which volume stands for a disk never hangs on which folder
# had a few bytes more free at the moment of asking.
machine_up V:0:700 W:1:300 X:2:180
gib=1073741824

# --- The simulated machine of the same volumes, for the tables the core computes -----------
free_bytes() { df -B1 --output=avail "$1" | tail -n 1 | tr -d ' '; }
# The table that a Linux program (its command line given) sends on a simulated machine of the
# same drives holding the stand-in's layout; that driver refuses it, so nothing is written
# anywhere, and its journal keeps the bytes. Prints them as hex.
core_table() {
    local mirror=$out/mirror drive letter disk rating volumes=
    rm -rf "$mirror" && mkdir -p "$mirror/volumes"
    # C: and Z: are Wine's own fixed NTFS drives: they list, but no volume query reaches them.
    ln -s "$WINEPREFIX/drive_c" "$mirror/volumes/C"
    ln -s / "$mirror/volumes/Z"
    volumes="{\"letter\": \"C\", \"type\": \"fixed\", \"fileSystem\": \"NTFS\", \"freeBytes\": $(free_bytes "$WINEPREFIX/drive_c")}"
    for drive in "${machine_drives[@]}"; do
        IFS=: read -r letter disk rating <<<"$drive"
        ln -s "$out/drives/${letter,,}" "$mirror/volumes/$letter"
        volumes+=", {\"letter\": \"$letter\", \"type\": \"fixed\", \"fileSystem\": \"NTFS\", \"freeBytes\": $(free_bytes "$out/drives/${letter,,}"), \"diskId\": $disk, \"rating\": $rating}"
    done
    volumes+=", {\"letter\": \"Z\", \"type\": \"fixed\", \"fileSystem\": \"NTFS\", \"freeBytes\": $(free_bytes /)}"
    cat >"$mirror/machine.json" <<EOF
{"journal": true, "sleepScale": 0, "volumes": [$volumes],
 "driver": {"loaded": true, "state": 1, "cacheTableHex": "$(report_field held-table)",
            "fail": ["IOCTL_SET_CACHE_TABLE"]}}
EOF
    ORVANTA_SIM_ROOT=$mirror "$@" >"$mirror/output.txt" 2>&1 || true
    sed -n 's/^PhysicalDrive0 IOCTL_SET_CACHE_TABLE failed in=\([0-9a-f]*\) out=2296$/\1/p' \
        "$mirror/journal.log"
}
# A table as hex, one line per entry that is not empty: "V:\ 3 GB rating 700".
le_hex() { printf '%s' "$1" | fold -w2 | tac | tr -d '\n'; } # little-endian bytes, as a number
describe_table() {
    local k entry
    for k in $(seq 0 25); do
        entry=${1:$((16 + 176 * k)):176}
        [ "${entry:0:2}" = 00 ] || echo "$(printf '%s' "${entry:0:6}" | xxd -r -p)" \
            "$((16#$(le_hex "${entry:128:16}") / gib)) GB rating $((16#$(le_hex "${entry:160:8}")))"
    done
}
# The GB the driver holds for a drive letter.
held_gb() { describe_table "$(report_field held-table)" | awk -v root="$1:\\" '$1 == root { print $2 }'; }
same_table() { # what, sent hex, expected hex
    [ ${#2} = 4592 ] && [ "$2" = "$3" ] || fail "$1: the table sent differs from the core's
sent:     ${#2} hex digits, $(describe_table "$2" | tr '\n' ';')
expected: $(describe_table "$3" | tr '\n' ';')"
}
cache_file_size() { stat -c %s "$out/drives/${1,,}/orvn#$(printf %03d "$2").io" 2>/dev/null || echo none; }

# --- orvanta-ctl.exe --------------------------------------------------------------------------
"$WINE" "$ctl" status --json >"$out/ctl-status.json" || fail "orvanta-ctl status: exit code $?"
grep -q '"state": "Running"' "$out/ctl-status.json" || fail "status --json: $(cat "$out/ctl-status.json")"
"$WINE" "$ctl" watch --interval 1 --count 3 >"$out/ctl-watch.txt" || fail "orvanta-ctl watch: exit code $?"
rates=$(tr -d '\r' <"$out/ctl-watch.txt" | sed -n 's/^Running: \([0-9]*\) requests\/s.*/\1/p')
[ "$(wc -l <<<"$rates")" = 3 ] || fail "watch --count 3: $(cat "$out/ctl-watch.txt")"
for rate in $rates; do [ "$rate" -ge 810 ] && [ "$rate" -le 990 ] || fail "watch: $rate requests/s, not 900"; done
"$WINE" "$ctl" options save-memory=on disable-speculative=on >/dev/null || fail "orvanta-ctl options: exit code $?"
[ "$(report_field last-options)" = 01000000010000000000000001000000 ] ||
    fail "options: the driver received $(report_field last-options)"
"$WINE" "$ctl" options save-memory=off disable-speculative=off >/dev/null
expected=$(core_table "$linux/src/orvanta-ctl" layout set W:=3 --yes)
"$WINE" "$ctl" layout set W:=3 --yes >"$out/ctl-layout-set.txt" ||
    fail "orvanta-ctl layout set: exit code $?, $(cat "$out/ctl-layout-set.txt")"
tr -d '\r' <"$out/ctl-layout-set.txt" | grep -q '^W: 3 GB sent, 3 GB held$' ||
    fail "layout set: no read-back, $(cat "$out/ctl-layout-set.txt")"
same_table "orvanta-ctl layout set" "$(report_field last-table)" "$expected"

# Two writers at once, each changing its own drive, round after round: each holds the writers'
# lock from reading the layout to reading it back, so neither sends the other's drive at the
# size it read before the other's change. W: keeps the 3 GB set above.
for round in 1 2 3 4 5; do
    v=$round x=$((7 - round))
    "$WINE" "$ctl" layout set "V:=$v" --yes >"$out/ctl-writer-v.txt" 2>&1 &
    v_writer=$!
    "$WINE" "$ctl" layout set "X:=$x" --yes >"$out/ctl-writer-x.txt" 2>&1 &
    x_writer=$!
    wait $v_writer || fail "round $round: layout set V:=$v ended with $?: $(cat "$out/ctl-writer-v.txt")"
    wait $x_writer || fail "round $round: layout set X:=$x ended with $?: $(cat "$out/ctl-writer-x.txt")"
    [ "$(held_gb V) $(held_gb W) $(held_gb X)" = "$v 3 $x" ] ||
        fail "round $round: the driver holds V: $(held_gb V), W: $(held_gb W), X: $(held_gb X) GB, not $v, 3, $x"
done

# Another program holds the writers' lock as if stuck mid-change, well past the writers' 5 s:
# a reader answers all the same, a writer gives up and sends nothing.
held=$(report_field held-table) sets=$(report_field table-sets)
"$WINE" "$standin_tool" hold-writers 15000 >"$out/writers-held.txt" 2>&1 &
holder=$!
holding() { grep -q holding "$out/writers-held.txt"; }
let_go() { grep -q released "$out/writers-held.txt"; }
wait_until holding || fail "the writers' lock could not be taken: $(cat "$out/writers-held.txt")"
"$WINE" "$ctl" layout >"$out/ctl-layout-held.txt" 2>&1 ||
    fail "orvanta-ctl layout while the lock was held: exit code $?, $(cat "$out/ctl-layout-held.txt")"
! let_go || fail "orvanta-ctl layout (a reader) waited for the writers' lock"
busy=0
"$WINE" "$ctl" layout set V:=9 --yes >"$out/ctl-layout-busy.txt" 2>"$out/ctl-layout-busy.err" || busy=$?
[ $busy = 1 ] && grep -q "another program is changing" "$out/ctl-layout-busy.err" ||
    fail "layout set while the lock was held: exit code $busy, $(cat "$out/ctl-layout-busy.txt" "$out/ctl-layout-busy.err")"
! let_go || fail "the writers' lock was let go before the writer gave up: widen the hold"
[ "$(report_field held-table)" = "$held" ] && [ "$(report_field table-sets)" = "$sets" ] ||
    fail "a writer sent a layout while another held the writers' lock"
wait $holder && let_go || fail "the writers' lock was not let go: $(cat "$out/writers-held.txt")"

# --- /install: the default layout after the pause ---------------------------------------------
expected=$(core_table "$linux/src/orvanta-monitor" /install)
started=$(date +%s)
"$WINE" "$monitor" /install || fail "/install ended with exit code $?"
[ $(($(date +%s) - started)) -ge 5 ] || fail "/install did not wait"
same_table "/install" "$(report_field last-table)" "$expected" # the last was orvanta-ctl's

# --- The window, driven as a user would, read back through screenshots -------------------------
screenshot_tool=$linux/tools/orvanta-screenshot
# The screen, or one window of it, as tesseract reads it, enlarged four times: NAME.png, and in
# $out NAME.txt (the lines), NAME.tsv (each word with its place) and NAME-sparse.tsv (the same,
# read as scattered words, which finds the words of buttons that the first reading misses).
read_screen() { # name [window]: a second after what came before has been drawn
    sleep 1
    "$screenshot_tool" "$out/$1.png" ${2:-} --scale=4 || fail "no screenshot $1"
    tesseract "$out/$1.png" "$out/$1" txt tsv >/dev/null 2>&1 &&
        tesseract "$out/$1.png" "$out/$1-sparse" --psm 11 tsv >/dev/null 2>&1 ||
        fail "tesseract could not read $1"
    # A small window, such as a message box, is too little of a page to be read as one.
    grep -q '[A-Za-z]' "$out/$1.txt" || tesseract "$out/$1.png" "$out/$1" --psm 6 txt >/dev/null 2>&1
}
# The middle of a word that read_screen NAME found, "X Y" in the window (the frame lines of tabs
# and boxes that tesseract takes for brackets and bars left aside). Of the two readings, the
# narrower box: one of them may stretch a word over the frame beside it.
word_place() { # name word
    awk -F'\t' -v word="$2" '{ text = $12; gsub(/[^A-Za-z0-9:-]/, "", text) }
        text == word && (!found || $9 < width) { found = 1; width = $9
            place = int(($7 + $9 / 2) / 4) " " int(($8 + $10 / 2) / 4) }
        END { if (found) print place }' "$out/$1.tsv" "$out/$1-sparse.tsv"
}
click_word() { # name window word [x offset]
    local place
    place=$(word_place "$1" "$3")
    [ -n "$place" ] || fail "no '$3' in $1.png: $(tr '\n' ' ' <"$out/$1.txt")"
    xdotool mousemove --window "$2" $((${place% *} + ${4:-0})) "${place#* }" click 1
}
# The number the window shows after a label ("Total requests 12345" gives 12345); the letters
# tesseract takes for digits of this font are read as those digits.
shown_number() {
    sed -n "s/^$2 *\([0-9BOSLl|]*\).*/\1/p" "$out/$1.txt" | head -n 1 | tr 'BOSLl|' '805111'
}
# Either reading will do: each misreads a word now and then ("Faileafe").
shows() {
    grep -q "$2" "$out/$1.txt" || cut -f12 "$out/$1-sparse.tsv" | tr '\n' ' ' | grep -q "$2" ||
        fail "$1.png does not show '$2': $(tr '\n' ' ' <"$out/$1.txt")"
}
request_count() { standin report | sed -n "s/^requests.* $1=\([0-9]*\).*/\1/p"; }
is_reported() { [ "$(report_field "$1")" = "$2" ]; }
wait_for_report() { wait_until is_reported "$@" || fail "the stand-in's $1 is $(report_field "$1"), not $2"; }

# The English catalogue, as most Windows users see it. Wine draws no text of the Caches tab's
# rows with its own font rendering (GDI or DirectWrite): Qt's FreeType engine stands in.
LC_ALL=en_US.UTF-8 "$WINE" "$monitor" -platform windows:fontengine=freetype >"$out/monitor.log" 2>&1 &
window=$(wait_for_window "Orvanta Monitor" 90) || fail "the monitor showed no window"
sleep 2
read_screen status-1 "$window"
read_screen status-2 "$window"
"$screenshot_tool" "$out/windows-wine.png" "$window" # the README's picture
shows status-1 "Running"
shows status-1 "Memory used 50 MB"
first=$(shown_number status-1 "Total requests") second=$(shown_number status-2 "Total requests")
[ -n "$first" ] && [ -n "$second" ] && [ "$second" -gt "$first" ] ||
    fail "the counters did not move: '$first', then '$second'"
average=$(shown_number status-2 "Average requests per second")
[ -n "$average" ] && [ "$average" -ge 800 ] && [ "$average" -le 1000 ] ||
    fail "average requests per second: '$average', the workload is 900"

clears=$(request_count clear-statistics) elapsed=$(report_field elapsed-ms)
click_word status-2 "$window" Clear
cleared() { [ "$(request_count clear-statistics)" = $((clears + 1)) ]; }
wait_until cleared && [ "$(report_field elapsed-ms)" -lt "$elapsed" ] ||
    fail "Clear Statistics did not clear the driver's counters"

# Options: each box sends the four as they stand (record order: prefetcher, save memory,
# disable write cache, disable speculative); the driver started with 1, 0, 0, 0.
click_word status-2 "$window" Options
sets=$(report_field option-sets)
# Read again before each click: the focus frame drawn around the box clicked last hides its
# words from tesseract.
for step in "Save 01000000010000000000000000000000" "Write-Cache 01000000010000000100000000000000" \
    "Speculative 01000000010000000100000001000000" "Quenstead 00000000010000000100000001000000"; do
    read_screen options "$window"
    click_word options "$window" "${step% *}"
    sets=$((sets + 1))
    wait_for_report option-sets "$sets"
    [ "$(report_field last-options)" = "${step#* }" ] ||
        fail "the box '${step% *}' sent $(report_field last-options), not ${step#* }"
done
# A set the driver refuses: the box shows what the driver holds (save memory still on), which
# the next set carries.
standin fail set-options
read_screen options "$window"
click_word options "$window" Save
sleep 1
standin fail none
read_screen options "$window"
click_word options "$window" Speculative
wait_for_report option-sets $((sets + 1))
[ "$(report_field last-options)" = 00000000010000000100000000000000 ] ||
    fail "after a refused set the boxes did not show the driver's options: $(report_field last-options)"

# Caches: exactly the fixed NTFS drives, each with the size the driver holds; a changed row and
# OK send the table the core builds; a refused apply gives one warning.
read_screen options-done "$window"
click_word options-done "$window" Caches
# Tall enough for every row.
xdotool windowsize --sync "$window" 320 440
sleep 1
read_screen caches "$window"
# The rows of the Caches tab (Wine's C: and Z:, then the stand-in's drives), top to bottom, by
# their "N GB free" labels in either reading: "Y FIRSTS" a row, Y its middle (4x), FIRSTS the
# first letters of the words read at its start (a bold drive letter is misread now and then).
cache_rows() { # name
    awk -F'\t' 'FNR > 1 && $12 != "" {
            n++; x[n] = $7; y[n] = $8 + $10 / 2; first[n] = toupper(substr($12, 1, 1))
            if ($12 ~ /free$/) { for (r = 1; r <= rows; r++) if (row[r] > y[n] - 40 && row[r] < y[n] + 40) break
                                 if (r > rows) row[++rows] = y[n] } }
        END { for (r = 1; r <= rows; r++) { firsts = ""
                  for (i = 1; i <= n; i++) if (x[i] < 250 && y[i] > row[r] - 40 && y[i] < row[r] + 40)
                      firsts = firsts first[i]
                  print int(row[r]), firsts } }' "$out/$1.tsv" "$out/$1-sparse.tsv" | sort -n
}
# A row's size box, right of its "N GB free" (the rows stand in drive-letter order: C, V, W, X,
# Z): "X Y" to click in the window, then the number read in it, the box's frame taken for a bar
# or a bracket and the suffix left aside; the first of the two readings that finds one.
size_box() { # name letter
    local file line first= at
    at=$(cache_rows "$1" | sed -n "$(($(expr index CVWXZ "$2")))p" | cut -d' ' -f1)
    for file in "$out/$1.tsv" "$out/$1-sparse.tsv"; do
        line=$(awk -F'\t' -v at="${at:--999}" 'FNR > 1 && $12 != "" {
                text = $12; gsub(/[^A-Za-z0-9:]/, "", text); n++
                x[n] = $7; right[n] = $7 + $9; y[n] = $8 + $10 / 2; word[n] = text }
            function near(i) { return y[i] > at - 40 && y[i] < at + 40 }
            END {
                for (i = 1; i <= n; i++) if (word[i] ~ /free$/ && near(i)) edge = right[i]
                for (i = 1; i <= n; i++) if (edge && x[i] > edge && near(i)) size = size word[i]
                sub(/GB.*/, "", size); gsub(/O/, "0", size); gsub(/B/, "8", size)
                if (edge) print int(edge / 4) + 38, int(at / 4), size }' "$file")
        first=${first:-$line}
        [ "$(wc -w <<<"$line")" = 3 ] && { echo "$line"; return; }
    done
    echo "$first"
}
click_size_box() { # letter
    local place
    place=$(size_box caches "$1" | cut -d' ' -f1,2)
    [ -n "$place" ] || fail "no row of $1: in caches.png"
    xdotool mousemove --window "$window" $place click 1
}
# Five rows, each letter that was read the one expected there.
[ "$(cache_rows caches | awk '{ printf "%s", (NF < 2 || $2 ~ substr("CVWXZ", NR, 1)) }')" = 11111 ] ||
    fail "the Caches tab lists not exactly C: V: W: X: Z:, but: $(cache_rows caches | tr '\n' ' ')"
for letter in V W X; do
    [ "$(size_box caches $letter | cut -d' ' -f3)" = "$(held_gb $letter)" ] ||
        fail "the row of $letter: shows '$(size_box caches $letter)', the driver holds $(held_gb $letter) GB"
done
# V: two up and OK: the table the core builds for that change, and V:'s cache file.
size=$(($(held_gb V) + 2))
expected=$(core_table "$linux/src/orvanta-ctl" layout set "V:=$size" --yes)
sets=$(report_field table-sets)
# OK lies left of Cancel (a framed button tesseract does not read while it has the focus frame).
click_size_box V
xdotool key Up Up
read_screen caches-changed "$window"
click_word caches-changed "$window" Cancel -81
wait_for_report table-sets $((sets + 1))
same_table "OK on the Caches tab" "$(report_field last-table)" "$expected"
[ "$(held_gb V)" = "$size" ] || fail "the driver does not hold V: at $size GB"
[ "$(cache_file_size V 1)" = $((size * gib)) ] ||
    fail "V: has no cache file of $size GB: $(ls -l "$out/drives/v")"
# A layout the driver does not take in full: one warning.
standin table-status 0
click_size_box X
xdotool key Up
read_screen caches-refused "$window"
click_word caches-refused "$window" Cancel -81
warning=$(wait_for_window Warning 20) || fail "a refused layout gave no warning"
sleep 1
[ "$(xdotool search --onlyvisible --name '^Warning$' | wc -l)" = 1 ] || fail "more than one warning"
read_screen warning "$warning"
shows warning "Could not enable all caches."
xdotool key Return
standin table-status auto

# Failsafe: the state word, its reason as the tool-tip, and the driver's controls locked.
read_screen caches-done "$window"
click_word caches-done "$window" Status
read_screen status-running "$window"
standin state 3 7
read_screen failsafe "$window"
shows failsafe "Failsafe"
click_word failsafe "$window" Failsafe
xdotool mousemove_relative 2 2
# "Reason: %1" in the English catalogue. The tip fades in: read until it has.
tip_shown() { read_screen failsafe-tip && grep -q "Errorcode: 7" "$out/failsafe-tip.txt"; }
for _ in $(seq 8); do tip_shown && break; done
shows failsafe-tip "Errorcode: 7"
clears=$(request_count clear-statistics)
click_word status-running "$window" Clear # where it was: greyed out, tesseract does not read it
sleep 1
[ "$(request_count clear-statistics)" = "$clears" ] || fail "Clear Statistics worked in the Failsafe state"
standin state 1 && driver_stop && sleep 1
read_screen unloaded "$window"
shows unloaded "Not running"
echo "the Windows program against the driver under Wine: passed"
