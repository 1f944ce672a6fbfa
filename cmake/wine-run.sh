#!/bin/sh
# Runs a Windows test executable under wine64 with a private prefix beside the build, so the
# user's own Wine setup is neither needed nor touched.
: "${WINEPREFIX:=${ORVANTA_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The DLLs the executables load (the MinGW runtime, Qt), as Unix folders separated by ":".
if [ -n "${ORVANTA_WINE_DLL_DIRS:-}" ]; then
    WINEPATH=$(printf '%s\n' "$ORVANTA_WINE_DLL_DIRS" | tr ':' '\n' | sed 's|^|Z:|; s|/|\\|g' |
        paste -sd ';' -)
    export WINEPATH
fi
# Wine keeps the Unix QT_* variables (QT_QPA_PLATFORM, ...) from Windows programs, but passes
# each WINEQT_* on as QT_*.
for name in $(env | sed -n 's/^\(QT_[A-Za-z0-9_]*\)=.*/\1/p'); do
    export "WINE$name=$(printenv "$name")"
done
# Without a console window, Qt sends its messages, QtTest's results among them, to the debugger.
export WINEQT_FORCE_STDERR_LOGGING=1
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

# Two tests that start together on a new prefix would both try to create it, and one of them
# fails; the first to take the lock creates it, the others wait for it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    flock "$WINEPREFIX.lock" sh -c \
        '[ -f "$WINEPREFIX/system.reg" ] || "$1" wineboot --init >/dev/null 2>&1' sh "$WINE"
fi
exec "$WINE" "$@"
