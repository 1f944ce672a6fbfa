#!/bin/sh
# After the widget tests under Wine: the user's registry holds neither the monitor's key nor a
# test key left behind. Run with the prefix of those tests (cmake/wine-run.sh).
set -eu
runner=$1
keys=$("$runner" reg query 'HKEY_CURRENT_USER\Software' | tr -d '\r')
if printf '%s\n' "$keys" | grep -E 'Quenstead|Orvanta Monitor Test'; then
    echo "a test run changed the user's registry" >&2
    exit 1
fi
printf '%s\n' "$keys" | grep -q 'HKEY_CURRENT_USER\\Software\\Wine' || {
    echo "the registry could not be read: $keys" >&2
    exit 1
}
