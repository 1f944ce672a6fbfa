#!/bin/sh
# Runs a Windows test executable under wine64 with a private prefix beside the build, so the
# user's own Wine setup is neither needed nor touched.
: "${WINEPREFIX:=${ORVANTA_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
exec "$WINE" "$@"
