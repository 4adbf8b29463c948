#!/bin/sh
# Runs a 64-bit Windows program under wine64 (wine-run.sh) on a virtual screen of its own, in a
# fresh wine session: a session that a windowless test left running has no desktop, and the
# program's windows would not open in it.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
if [ -z "${KESTRUNE_ON_SCREEN:-}" ]; then
  /usr/lib/wine/wineserver64 -k >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w >/dev/null 2>&1
  KESTRUNE_ON_SCREEN=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
exec "$here/cmake/wine-run.sh" "$@"
