#!/bin/bash
# The Windows wizard end to end under wine64 on a virtual screen (Xvfb):
#
#  1. With the fake IMAPI2 server registered in the test prefix, KestrixDw.exe (win64) runs
#     the wizard on a one-disc sample set with SCRIPT, in English and in Japanese. Each
#     transcript must equal, line for line, the transcript of the Linux kestrixdw for the same
#     script on a simulated machine with the same recorder (`snapshot` takes no pictures
#     there). Lines that show a burn's or a comparison's percentage depend on timing and are
#     left out of the comparison on both sides.
#     The fake server's recorder is E:; the prefix's E: is a folder holding the image's files,
#     so that the comparison after the write reads a disc as it was burned.
#     A two-disc set written with TWO_DISC_SCRIPT gives the same transcript on both too.
#  2. The `snapshot NAME` commands leave WORK_DIR/screens/LANGUAGE/NAME.png.
#  3. A script error ends the program with status 2, also while a message box is open.
#  4. Without the fake server the program shows message 457 and prints nothing.
#  5. With the fake recorder slowed down, the Write page during a burn (its speed and time
#     left) is snapped in both languages at 100 % and 150 % DPI:
#     WORK_DIR/screens/LANGUAGE-DPI-dpi/5-time-left.png.
#
# Environment: WINE_RUN (cmake/wine-run.sh), KESTRIXDW, FAKE_IMAPI2_DLL, HOST_BIN_DIR (the
# Linux build's programs), WORK_DIR, SCRIPT, TWO_DISC_SCRIPT.
set -u

. "$(dirname "$0")/wine_test_common.sh"
require_environment WINE_RUN KESTRIXDW FAKE_IMAPI2_DLL HOST_BIN_DIR WORK_DIR SCRIPT TWO_DISC_SCRIPT
if [ -z "${DISPLAY:-}" ]; then
  # One virtual screen for every run below.
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

rm -rf "$WORK_DIR"
mkdir -p "$WORK_DIR/screens/en" "$WORK_DIR/screens/ja"
"$HOST_BIN_DIR/kestrune-sampleset" --out "$WORK_DIR/set" --size 600K --discs 1 >/dev/null ||
  { echo "kestrune-sampleset made no set" >&2; exit 2; }
image=$(ls "$WORK_DIR"/set/*.iso | head -n 1)
# The disc in E: as the fake server burned it.
7zz x -o"$WORK_DIR/disc" "$image" >/dev/null || { echo "7zz could not unpack the image" >&2; exit 2; }
drive_e="$prefix/dosdevices/e:"
start_wine_session
ln -sfn "$WORK_DIR/disc" "$drive_e"
trap 'rm -f "$drive_e"' EXIT

# --- Linux: the same recorder as the fake server's default one, and no USB disk ---
export KESTRUNE_MACHINE="$WORK_DIR/machine"
"$HOST_BIN_DIR/kestrune-machine" show >/dev/null && "$HOST_BIN_DIR/kestrune-machine" unplug 1 >/dev/null ||
  { echo "kestrune-machine could not make the Linux machine" >&2; exit 2; }
images=("$image")  # the set the runs write
run_linux() {  # language-environment transcript output [script]
  env $1 KESTRUNE_UI=script KESTRUNE_UI_CLOCK=jump KESTRUNE_UI_TIMEOUT=60 KESTRUNE_UI_LOG="$2" \
    "$HOST_BIN_DIR/kestrixdw" /Mode:Fernlow Sample 0 "${images[@]}" <"${4:-$SCRIPT}" \
    >"$3" 2>"$3.err"
}
run_linux "LANG=C.UTF-8" "$WORK_DIR/linux-en.txt" "$WORK_DIR/linux-en.out"
run_linux "LANG=ja_JP.UTF-8" "$WORK_DIR/linux-ja.txt" "$WORK_DIR/linux-ja.out"

# --- Windows ---
"$WINE_RUN" regsvr32 /s "$(windows_path "$FAKE_IMAPI2_DLL")" ||
  { echo "the fake IMAPI2 server could not be registered" >&2; exit 2; }
run_windows() {  # locale transcript output snapshots script
  local arguments=()
  for one in "${images[@]}"; do arguments+=("$(windows_path "$one")"); done
  env LC_ALL="$1" KESTRUNE_UI=script KESTRUNE_UI_CLOCK=jump KESTRUNE_UI_TIMEOUT=60 \
    KESTRUNE_UI_LOG="$(windows_path "$2")" KESTRUNE_UI_SNAPSHOTS="${4:+$(windows_path "$4")}" \
    "$WINE_RUN" "$KESTRIXDW" /Mode:Fernlow Sample 0 "${arguments[@]}" <"$5" \
    >"$3" 2>"$3.err"
}
run_windows C.UTF-8 "$WORK_DIR/windows-en.txt" "$WORK_DIR/windows-en.out" \
  "$WORK_DIR/screens/en" "$SCRIPT"
run_windows ja_JP.UTF-8 "$WORK_DIR/windows-ja.txt" "$WORK_DIR/windows-ja.out" \
  "$WORK_DIR/screens/ja" "$SCRIPT"

# --- Two discs, one after the other (English, without the comparison: E: holds one disc) ---
"$HOST_BIN_DIR/kestrune-sampleset" --out "$WORK_DIR/set2" --size 600K --discs 2 >/dev/null ||
  { echo "kestrune-sampleset made no two-disc set" >&2; exit 2; }
images=("$WORK_DIR"/set2/*.iso)
run_windows C.UTF-8 "$WORK_DIR/windows-two.txt" "$WORK_DIR/windows-two.out" "" "$TWO_DISC_SCRIPT"
"$WINE_RUN" regsvr32 /u /s "$(windows_path "$FAKE_IMAPI2_DLL")"
export KESTRUNE_MACHINE="$WORK_DIR/machine-two"
"$HOST_BIN_DIR/kestrune-machine" show >/dev/null && "$HOST_BIN_DIR/kestrune-machine" unplug 1 >/dev/null
run_linux "LANG=C.UTF-8" "$WORK_DIR/linux-two.txt" "$WORK_DIR/linux-two.out" "$TWO_DISC_SCRIPT"
images=("$image")

same_runs two
for language in en ja; do
  same_runs "$language"
  snapshots_to_png "$WORK_DIR/screens/$language"
done

# --- The speed and the time left below the progress bar, at 100 % and 150 % DPI ---
# The fake recorder burns at 160 kB/s, so that the burn of the sample image takes some
# seconds; the snapshot is taken past half of it (wizard_time_left.script). The screen's
# resolution is wine's LogPixels: 96 and 144.
"$WINE_RUN" regsvr32 /s "$(windows_path "$FAKE_IMAPI2_DLL")"
set_dpi() {  # dots-per-inch (empty: wine's default)
  if [ -n "$1" ]; then
    "$WINE_RUN" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
  else
    "$WINE_RUN" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f
  fi >/dev/null 2>&1
}
trap 'rm -f "$drive_e"; set_dpi ""' EXIT
for dpi in 96 144; do
  set_dpi "$dpi"
  for language in en ja; do
    locale=C.UTF-8
    [ "$language" = ja ] && locale=ja_JP.UTF-8
    folder="$WORK_DIR/screens/$language-$dpi-dpi"
    mkdir -p "$folder"
    KESTRUNE_FAKE_BURN_BYTES_PER_SECOND=160000 run_windows "$locale" \
      "$WORK_DIR/time-left-$language-$dpi.txt" "$WORK_DIR/time-left-$language-$dpi.out" \
      "$folder" "$(dirname "$SCRIPT")/wizard_time_left.script"
    if grep -q '^script-error' "$WORK_DIR/time-left-$language-$dpi.txt" ||
      [ ! -e "$folder/5-time-left.bmp" ]; then
      fail "time left ($language, $dpi dpi): no snapshot during the burn:" \
        "$(cat "$WORK_DIR/time-left-$language-$dpi.txt" 2>/dev/null)"
      continue
    fi
    snapshots_to_png "$folder"
  done
done
set_dpi ""
"$WINE_RUN" regsvr32 /u /s "$(windows_path "$FAKE_IMAPI2_DLL")"

# --- A disc that differs from its image fails the comparison ---
printf 'changed' >>"$WORK_DIR/disc/media/2_1.txt"
grep -v -E '^[[:space:]]*(snapshot|wait box 406|answer ok)' "$SCRIPT" |
  sed 's/^wait end$/wait box 483\nanswer ok\nwait end/' >"$WORK_DIR/mismatch.script"
"$WINE_RUN" regsvr32 /s "$(windows_path "$FAKE_IMAPI2_DLL")"
env KESTRUNE_UI=script KESTRUNE_UI_TIMEOUT=60 \
  KESTRUNE_UI_LOG="$(windows_path "$WORK_DIR/mismatch.txt")" \
  "$WINE_RUN" "$KESTRIXDW" /Mode:Fernlow Sample 0 "$(windows_path "$image")" \
  <"$WORK_DIR/mismatch.script" >"$WORK_DIR/mismatch.out" 2>"$WORK_DIR/mismatch.err"
"$WINE_RUN" regsvr32 /u /s "$(windows_path "$FAKE_IMAPI2_DLL")"
if ! grep -q '^box 483 ' "$WORK_DIR/mismatch.txt" || grep -q '^script-error' "$WORK_DIR/mismatch.txt"; then
  fail "a changed disc did not fail the comparison: $(cat "$WORK_DIR/mismatch.txt" 2>/dev/null)"
fi
if [ -e "$WORK_DIR/set/tempCompareFiles" ]; then
  fail "the comparison folder was left behind"
fi

# --- A script error ends the program, with or without a message box open ---
printf 'wait page start\nwait box 999\n' >"$WORK_DIR/error-page.script"
printf 'wait page start\nnext\nwait page info\nnext\nwait page drive\ncancel\nwait box 400\n' \
  >"$WORK_DIR/error-box.script"
"$WINE_RUN" regsvr32 /s "$(windows_path "$FAKE_IMAPI2_DLL")"
for case in error-page error-box; do
  env KESTRUNE_UI=script KESTRUNE_UI_TIMEOUT=5 \
    KESTRUNE_UI_LOG="$(windows_path "$WORK_DIR/$case.txt")" \
    timeout 120 "$WINE_RUN" "$KESTRIXDW" /Mode:Fernlow Sample 0 "$(windows_path "$image")" \
    <"$WORK_DIR/$case.script" >"$WORK_DIR/$case.out" 2>"$WORK_DIR/$case.err"
  status=$?
  if [ "$status" -ne 2 ]; then
    fail "$case: exit status $status after a script error, not 2 (124: it did not end)"
  fi
  if ! grep -q '^script-error ' "$WORK_DIR/$case.txt" 2>/dev/null; then
    fail "$case: no script-error line: $(cat "$WORK_DIR/$case.txt" 2>/dev/null)"
  fi
done
"$WINE_RUN" regsvr32 /u /s "$(windows_path "$FAKE_IMAPI2_DLL")"

# --- Without the disc service: message 457, no window, nothing printed ---
printf 'wait box 457\nanswer ok\n' >"$WORK_DIR/no-service.script"
env KESTRUNE_UI=script KESTRUNE_UI_TIMEOUT=60 \
  KESTRUNE_UI_LOG="$(windows_path "$WORK_DIR/no-service.txt")" \
  "$WINE_RUN" "$KESTRIXDW" /Mode:Fernlow Sample 0 "$(windows_path "$image")" \
  <"$WORK_DIR/no-service.script" >"$WORK_DIR/no-service.out" 2>"$WORK_DIR/no-service.err"
if ! grep -q '^box 457 buttons=OK default=OK text="Could not open Image Mastering API' \
  "$WORK_DIR/no-service.txt"; then
  fail "without IMAPI2 no message 457: $(cat "$WORK_DIR/no-service.txt" 2>/dev/null)"
fi
if grep -q -v -E '^(box 457 |answer OK$)' "$WORK_DIR/no-service.txt"; then
  fail "without IMAPI2 something else showed: $(cat "$WORK_DIR/no-service.txt")"
fi
if [ -s "$WORK_DIR/no-service.out" ]; then
  fail "without IMAPI2 it printed [$(cat "$WORK_DIR/no-service.out")]"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; transcripts and snapshots in $WORK_DIR" >&2
  exit 1
fi
echo "Windows wizard: same transcripts as Linux in English and Japanese; snapshots in $WORK_DIR/screens"
