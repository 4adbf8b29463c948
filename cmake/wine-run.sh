#!/bin/sh
# Runs a 64-bit Windows console program under wine64 with a private, quiet prefix, so the
# win64 build's tests can run on a Linux machine without touching the user's own prefix.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
