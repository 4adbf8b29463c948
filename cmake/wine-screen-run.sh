#!/bin/sh
# Runs a 64-bit Windows program under wine64 (wine-run.sh) on a virtual screen of its own, in a
# fresh wine session: a session that a windowless test left running has no desktop, and the
# program's windows would not open in it. With KESTRUNE_WINE_DPI set (144 is 150 %), the
# screen has that resolution for this run only.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
if [ -z "${KESTRUNE_ON_SCREEN:-}" ]; then
  /usr/lib/wine/wineserver64 -k >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w >/dev/null 2>&1
  KESTRUNE_ON_SCREEN=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
if [ -z "${KESTRUNE_WINE_DPI:-}" ]; then
  exec "$here/cmake/wine-run.sh" "$@"
fi
desktop='HKCU\Control Panel\Desktop'
"$here/cmake/wine-run.sh" reg add "$desktop" /v LogPixels /t REG_DWORD /d "$KESTRUNE_WINE_DPI" \
  /f >/dev/null 2>&1 || { echo "the screen's resolution could not be set" >&2; exit 2; }
"$here/cmake/wine-run.sh" "$@"
status=$?
"$here/cmake/wine-run.sh" reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
exit $status
