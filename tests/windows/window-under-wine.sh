#!/usr/bin/env bash
# The window of the Windows build, in process under wine64 (tst_standin.cpp), against the
# kernel-mode stand-in of the driver on the test drives V:, W: and X:; then the table its OK sent
# compared byte for byte with what the Linux build of the core sends for the same change on the
# same held table.
# usage: window-under-wine.sh TEST_EXECUTABLE STANDIN_FOLDER LINUX_BUILD OUT_FOLDER
set -euo pipefail
test_executable=$(realpath "$1") standin_dir=$2 linux=$(realpath "$3") out=$(realpath -m "$4")
runner=$(realpath "$(dirname "$0")/../../cmake/wine-run.sh")
source "$(dirname "$0")/wine-driver.sh"
machine_up V:0:700 W:1:300 X:2:180

# Where the test writes what OK sent, as a Windows path.
export ORVANTA_CHECK_OUT="Z:${out//\//\\}"
QT_QPA_PLATFORM=offscreen LC_ALL=C "$runner" "$test_executable" || fail "the window's checks failed"
{ read -r change && read -r held && read -r sent; } <"$out/ok-table.txt" ||
    fail "the window's checks wrote no table"
same_table "OK on the Caches tab" "$sent" "$(core_table "$held" "$linux/src/orvanta-ctl" layout set "$change" --yes)"
echo "the window against the driver under Wine: passed"
