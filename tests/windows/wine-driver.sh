# Sourced by the Windows checks that need a driver, after setting standin_dir (the folder of
# orvanta-standin.sys and .exe): a private Wine machine (wine-session.sh) whose test drives are
# folders under $out/drives, the kernel-mode stand-in of the driver started as a service and a
# persistent wineserver, so the stand-in lives between the programs of a check; the exit trap
# ends it all with wineserver -k. machine_up V:0:700 ... (LETTER:DISKID:RATING); standin CMD...
# (its side door); report_field NAME; driver_stop, driver_start (the drives given again).
source "$(dirname "${BASH_SOURCE[0]}")/wine-session.sh"

standin_sys=$(realpath "$standin_dir/orvanta-standin.sys")
standin_tool=$(realpath "$standin_dir/orvanta-standin.exe")
machine_drives=()

standin() { "$WINE" "$standin_tool" "$@" | tr -d '\r'; }
report_field() { standin report | awk -v name="$1" '$1 == name { print $2 }'; }

driver_start() {
    "$WINE" sc start orvantastandin >/dev/null || fail "the stand-in did not start"
    local drive letter disk rating
    for drive in "${machine_drives[@]}"; do
        IFS=: read -r letter disk rating <<<"$drive"
        # Once in a while the first call right after the start ends with no word: ask again.
        standin volume "$letter" "$disk" "$rating" ||
            { sleep 1 && standin volume "$letter" "$disk" "$rating"; } ||
            fail "the stand-in did not take $letter:"
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
