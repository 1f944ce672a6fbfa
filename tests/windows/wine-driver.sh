# Sourced by the Windows checks that need a driver, after setting standin_dir (the folder of
# orvanta-standin.sys and .exe): a private Wine machine (wine-session.sh) whose test drives are
# folders under $out/drives, the kernel-mode stand-in of the driver started as a service and a
# persistent wineserver, so the stand-in lives between the programs of a check; the exit trap
# ends it all with wineserver -k. machine_up V:0:700 ... (LETTER:DISKID:RATING); standin CMD...
# (its side door); report_field NAME; request_count WORD; driver_stop, driver_start (the drives
# given again); core_table HELD_HEX COMMAND... (the table the Linux core sends), same_table.
source "$(dirname "${BASH_SOURCE[0]}")/wine-session.sh"

standin_sys=$(realpath "$standin_dir/orvanta-standin.sys")
standin_tool=$(realpath "$standin_dir/orvanta-standin.exe")
machine_drives=()

# Once in a while a run of the tool ends with no word, most often right after the driver's start
# but now and then later too (a report that came back empty): it is asked again, up to three
# times, a second apart. Its commands set values, so asking again changes nothing.
standin() {
    local answer
    for _ in 1 2 3; do
        if answer=$("$WINE" "$standin_tool" "$@") && { [ "$1" != report ] || [ -n "$answer" ]; }; then
            printf '%s\n' "$answer" | tr -d '\r'
            return 0
        fi
        sleep 1
    done
    return 1
}
report_field() { standin report | awk -v name="$1" '$1 == name { print $2 }'; }
request_count() { standin report | sed -n "s/^requests.* $1=\([0-9]*\).*/\1/p"; }

driver_start() {
    "$WINE" sc start orvantastandin >/dev/null || fail "the stand-in did not start"
    local drive letter disk rating
    for drive in "${machine_drives[@]}"; do
        IFS=: read -r letter disk rating <<<"$drive"
        standin volume "$letter" "$disk" "$rating" || fail "the stand-in did not take $letter:"
    done
}
driver_stop() { "$WINE" sc stop orvantastandin >/dev/null || fail "the stand-in did not stop"; }

machine_up() {
    machine_drives=("$@")
    local drive
    # Without a persistent server, the service host and the driver in it end with the last
    # program of the check, and the device with them.
    "$WINESERVER" -p || fail "no persistent wineserver"
    for drive in "$@"; do
        local letter=${drive%%:*}
        mkdir -p "$out/drives/${letter,,}"
        # A plain folder (not a mount point, no "x::" entry) is a fixed drive to Wine.
        ln -sfn "$out/drives/${letter,,}" "$WINEPREFIX/dosdevices/${letter,,}:"
    done
    cp "$standin_sys" "$WINEPREFIX/drive_c/windows/system32/drivers/orvanta-standin.sys"
    "$WINE" sc create orvantastandin type= kernel start= demand \
        binPath= 'C:\windows\system32\drivers\orvanta-standin.sys' >/dev/null ||
        fail "the stand-in could not be installed"
    driver_start
}

# --- The tables the Linux core computes for the same volumes -----------------------------------
gib=1073741824
free_bytes() { df -B1 --output=avail "$1" | tail -n 1 | tr -d ' '; }
# The table that a Linux program (its command line given) sends on a simulated machine of the
# same drives holding the layout given as hex; that driver refuses it, so nothing is written
# anywhere, and its journal keeps the bytes. Prints them as hex.
core_table() { # held table hex, then the command line
    local held=$1 mirror=$out/mirror drive letter disk rating volumes=
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
 "driver": {"loaded": true, "state": 1, "cacheTableHex": "$held",
            "fail": ["IOCTL_SET_CACHE_TABLE"]}}
EOF
    shift
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
same_table() { # what, sent hex, expected hex
    [ ${#2} = 4592 ] && [ "$2" = "$3" ] || fail "$1: the table sent differs from the core's
sent:     ${#2} hex digits, $(describe_table "$2" | tr '\n' ';')
expected: $(describe_table "$3" | tr '\n' ';')"
}
