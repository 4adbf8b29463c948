# What the Windows wizard's wine tests (wizard_wine_test.sh, wizard_usb_wine_test.sh) share;
# each sources this file after `set -u`.

# Ends the test (status 2) unless every variable named is set and the Linux build has the
# programs the test runs beside the Windows ones.
require_environment() {  # variable...
  local var program
  for var in "$@"; do
    if [ -z "${!var:-}" ]; then
      echo "$var is not set" >&2
      exit 2
    fi
  done
  for program in kestrixdw kestrune-machine kestrune-sampleset; do
    if [ ! -x "$HOST_BIN_DIR/$program" ]; then
      echo "the Linux build is missing $HOST_BIN_DIR/$program (build the host preset first)" >&2
      exit 2
    fi
  done
}

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# The test prefix, as WINE_RUN's.
prefix="${WINEPREFIX:-$(cd "$(dirname "$WINE_RUN")/.." && pwd)/build/wineprefix}"

# A fresh wine session on this screen: one that an earlier test started without a screen
# would have no desktop for the wizard's windows (the sheet would fail to open). The pages'
# font, Meiryo, is not installed here; wine's own stand-in for it in English has no "・" (the
# usage notes would start with empty boxes): draw it with IPAPGothic, a proportional Japanese
# font with Latin letters, as Meiryo is, in both languages.
start_wine_session() {
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver64 -k >/dev/null 2>&1
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver64 -w >/dev/null 2>&1
  "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1  # the prefix exists before it is changed
  "$WINE_RUN" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Meiryo /d IPAPGothic /f \
    >/dev/null 2>&1
}

# A transcript without the lines that come and go with timing on either side: progress in
# percent; the closing row's "Closing" (string 313), which shows only while the worker clears
# the work folder after the last answer; "Finalizing the write" (string 312), from a burn's
# last event to the end of its step; and the preparing job's "Creating disc images" (string
# 308), which shows only while the job's first step runs, a few milliseconds before a USB
# write. A look at the screen may or may not fall into them (the status line they interrupted
# then shows again, which a side that missed them never reports).
comparable() {  # transcript
  grep -v -E '^status ".*(\(|（)[0-9]+%(\)|）)"$' "$1" |
    grep -v -E '^(row [0-9]+ "[^"]*" |status )"(Closing|終了処理中|Finalizing the write|書き込みの最終処理を行っています|Creating disc images|ディスクイメージを作成しています)"$' |
    tr -d '\r' |
    awk '/^status / { if ($0 == last) next; last = $0 } { print }'  # back to what it showed
}

# The Linux and Windows runs NAME (WORK_DIR/linux-NAME.txt and .out, windows-NAME.txt and
# .out): the same transcript apart from timing, the same result line.
same_runs() {  # name
  local linux="$WORK_DIR/linux-$1.txt" windows="$WORK_DIR/windows-$1.txt"
  if [ ! -s "$linux" ] || [ ! -s "$windows" ]; then
    fail "$1: a transcript is missing or empty ($(cat "$WORK_DIR"/*-$1.out.err))"
    return
  fi
  if grep -q '^script-error' "$linux" "$windows"; then
    fail "$1: the script failed: $(grep -h '^script-error' "$linux" "$windows")"
  fi
  if ! diff -u <(comparable "$linux") <(comparable "$windows") >"$WORK_DIR/$1.diff"; then
    fail "$1: the transcripts differ:"
    cat "$WORK_DIR/$1.diff" >&2
  fi
  if ! cmp -s "$WORK_DIR/linux-$1.out" <(tr -d '\r' <"$WORK_DIR/windows-$1.out"); then
    fail "$1: Linux printed [$(cat "$WORK_DIR/linux-$1.out")], Windows" \
      "[$(tr -d '\r' <"$WORK_DIR/windows-$1.out")]"
  fi
}

# The snapshots of FOLDER as PNG files; a test fails that took none there.
snapshots_to_png() {  # folder
  local picture
  for picture in "$1"/*.bmp; do
    [ -e "$picture" ] || { fail "$(basename "$1"): no snapshots"; break; }
    convert "$picture" "${picture%.bmp}.png" && rm -f "$picture"
  done
}
