#!/bin/bash
# The demo in a real terminal: runs `tools/demo/kestrune-demo` inside tmux, steps through the
# wizard with keys as a person would (Start, Info, Drive with the drive list, the disc list and
# the comparison option, Write), writes disc 1 of a two-disc set, and checks each screen, the
# wizard's result line and the launcher's summary; then a second run continues the set and is
# cancelled on the Drive page, a third steps through the Japanese pages, a fourth is ended by
# a termination request in the middle of a burn and a fifth by closing its terminal. The
# screens are kept in ARTEFACTS_DIR (page by page).
#
#   terminal_demo_test.sh BIN_DIR DEMO_SCRIPT ARTEFACTS_DIR
set -euo pipefail

bin=$(cd "$1" && pwd)
demo_script=$2
artefacts=$3

if ! command -v tmux >/dev/null; then
  echo "tmux is not installed (tools/install-deps.sh installs it)" >&2
  exit 1
fi

export LANG=C.UTF-8
unset LC_ALL LC_CTYPE LC_MESSAGES KESTRUNE_UI KESTRUNE_UI_ASCII TMUX
work=$(mktemp -d)
socket="kestrune-demo-test-$$"
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
cleanup() {
  tmux_ kill-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$artefacts"
mkdir -p "$artefacts"

# The wizard as the launcher starts it, with its result line kept for the checks below; it
# is the launcher's child itself, so it gets the termination request the launcher passes on.
# The copying outlives a hang-up, as the launcher does.
cat >"$work/wizard" <<WIZARD
#!/bin/bash
exec "$bin/kestrixdw" "\$@" > >(trap '' HUP; exec tee -a "$work/result-lines.txt")
WIZARD
chmod +x "$work/wizard"

fail() {
  echo "FAILED: $*" >&2
  if [ -f "$work/screen.txt" ]; then
    echo "--- the screen:" >&2
    cat "$work/screen.txt" >&2
  fi
  for f in "$work"/summary-*.txt "$work"/errors-*.txt; do
    [ -f "$f" ] && { echo "--- $f:" >&2; cat "$f" >&2; }
  done
  exit 1
}

# Runs the demo in a new session of 100 x 30 cells in the locale $2 (default C.UTF-8); its
# summary goes to summary-N.txt.
start_demo() {
  local run=$1 locale=${2:-C.UTF-8}
  tmux_ new-session -d -s demo -x 100 -y 30 \
    "LANG=$locale KESTRUNE_UI_CLOCK=jump '$demo_script' '$bin' '$work/demo' /P \
       --wizard '$work/wizard' >'$work/summary-$run.txt' 2>'$work/errors-$run.txt'; \
       echo \"exit=\$?\" >>'$work/summary-$run.txt'"
}

screen() { tmux_ capture-pane -p -t demo >"$work/screen.txt" 2>/dev/null || true; }

# Waits until the screen shows every one of the given texts.
wait_for() {
  local deadline=$((SECONDS + 120)) text missing
  while :; do
    screen
    missing=""
    for text in "$@"; do
      grep -qF -- "$text" "$work/screen.txt" || missing=$text
    done
    [ -z "$missing" ] && return 0
    ((SECONDS < deadline)) || fail "the screen never showed: $missing"
    sleep 0.2
  done
}

# Keeps the screen as an artefact once it has settled.
# Waits until the screen no longer shows the given text.
wait_gone() {
  local deadline=$((SECONDS + 120))
  while screen; grep -qF -- "$1" "$work/screen.txt"; do
    ((SECONDS < deadline)) || fail "the screen kept showing: $1"
    sleep 0.2
  done
}

keep() {
  sleep 0.3
  screen
  cp "$work/screen.txt" "$artefacts/$1.txt"
}

# Waits until a line of the screen matches an extended regular expression (what settles after
# the texts wait_for waited for).
expect_line() {
  local deadline=$((SECONDS + 20))
  until grep -qE -- "$1" "$work/screen.txt"; do
    ((SECONDS < deadline)) || fail "no line of the screen matches: $1"
    sleep 0.2
    screen
  done
}

keys() { tmux_ send-keys -t demo "$@"; }

wait_summary() {
  local deadline=$((SECONDS + 120))
  until grep -q '^exit=' "$work/summary-$1.txt" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "the demo did not end"
    sleep 0.2
  done
}

# --- First run: write disc 1 of 2 ---
start_demo 1
wait_for "Usage notes" "Insert disc into drive and click Next."
keep 1-start
expect_line "Use the downloaded recovery data to create a recovery disc\."
expect_line "・Keep in a safe place\."
expect_line "Back +▸ Next ◂ +\[ Cancel \]"

keys Enter
wait_for "Number of discs required"
keep 2-info
expect_line "Kestrune demo"
expect_line "For DVD-R DL \(2 layers\) +2 "

keys Enter
wait_for "Select disc type" "Space: open the list of drives"
keys Space
wait_for "( E:\\ ) KESTRUNE DVD-RW SIM 24X"
keep 3-drive-list
keys Enter
wait_for "(●) DVD-R DL" "[✔] Writing recovery disc #2"
keep 3-drive-chosen
expect_line "\[ \( E:\\\\ \) KESTRUNE DVD-RW SIM 24X"
expect_line "\[✔\] Writing recovery disc #1 +Not written"

# Leave disc 2 out (the launcher passed /P) and the comparison too.
keys Tab Tab Down Space
wait_for "[ ] Writing recovery disc #2"
keys Down Space
wait_for "[ ] After writing Recovery Disc"
keep 3-drive-ready
expect_line "\[ Back \] +\[ Next \] +\[ Cancel \]"

keys Enter
wait_for "Recovery disc #1 complete." "▸ OK ◂"
keep 4-write-complete
expect_line "✔ Preparing +Complete"
expect_line "✔ Writing recovery disc #1 \(1/2\) +Complete"
expect_line "Remove disc from E drive, label it 'Recovery disc Kestrune demo"

keys Enter
wait_summary 1
cp "$work/summary-1.txt" "$artefacts/5-summary.txt"
# Disc 1 written (bit 8) of a started DVD-R DL set (bit 29, media code 11), not complete.
[ "$(cat "$work/result-lines.txt")" = "536871179" ] ||
  fail "the wizard printed '$(cat "$work/result-lines.txt")', not 536871179"
grep -qx "disc 1 of 2 written; insert disc 2 next time" "$work/summary-1.txt" ||
  fail "the launcher's summary is wrong"
grep -qx "exit=0" "$work/summary-1.txt" || fail "the launcher did not end with 0"
[ "$(cat "$work/demo/set/kestrixdl.state")" = "536871179" ] || fail "the state word was not stored"

# --- Second run: the set continues with disc 2; Esc and Yes end it unchanged ---
: >"$work/result-lines.txt"
start_demo 2
wait_for "Usage notes"
# Typed ahead, as someone who knows the way: each key lands on the page it was meant for.
keys Enter Enter Space
wait_for "( E:\\ ) KESTRUNE DVD-RW SIM 24X" "[✔] After writing Recovery Disc"
keys Enter
wait_for "[✔] Writing recovery disc #2"
keep 6-drive-continued
expect_line "\[ \] Writing recovery disc #1 +Complete"
expect_line "\[✔\] Writing recovery disc #2 +Not written"

keys Escape
wait_for "Are you sure you want to stop creation of recovery discs?" "▸ No ◂"
keep 7-cancel-question
keys y
wait_summary 2
[ "$(cat "$work/result-lines.txt")" = "536871179" ] || fail "the cancelled run changed the state word"
grep -qx "disc 1 of 2 written; insert disc 2 next time" "$work/summary-2.txt" ||
  fail "the second summary is wrong"
# --- Third run, in Japanese: the terminal and the wizard agree on the width of every line ---
# Every framed line of the screen is 100 cells wide (wc -L counts two for a wide character)
# and ends in its right border.
check_frames() {
  local framed=0 line
  while IFS= read -r line; do
    case $line in
      "│"* | "┌"* | "├"* | "└"*)
        framed=$((framed + 1))
        [ "$(printf '%s' "$line" | wc -L)" = 100 ] || fail "a line is not 100 cells wide: $line"
        case $line in *"│" | *"┐" | *"┤" | *"┘") ;; *) fail "a line lost its right border: $line" ;; esac
        ;;
    esac
  done <"$work/screen.txt"
  [ "$framed" -ge 20 ] || fail "the Japanese page is not framed"
}

start_demo 3 ja_JP.UTF-8
wait_for "使用上の注意" "▸ 次へ ◂"
keep 8-start-japanese
check_frames
keys Enter
wait_for "必要なディスクの枚数"
keys Enter
wait_for "Space: ドライブの一覧を開く"
keys Space
wait_for "( E:\\ ) KESTRUNE DVD-RW SIM 24X"
keys Enter
wait_for "リカバリーディスク #2 の書き込み"
keep 9-drive-japanese
check_frames
keys Escape
wait_for "▸ いいえ ◂"
keys y
wait_summary 3

# --- Fourth run: Ctrl-C asks before leaving the Drive page; a termination request during the
# burn of disc 2 ends the session: autoplay restored, the result line printed and stored ---
autoplay() {
  grep -o '"NoDriveTypeAutoRun": *[0-9]*' "$work/demo/machine/users/Kestrel/ntuser.dat" |
    grep -o '[0-9]*$'
}
machine() { KESTRUNE_MACHINE="$work/demo/machine" "$bin/kestrune-machine" "$@" >/dev/null; }

: >"$work/result-lines.txt"
start_demo 4
wait_for "Usage notes"
keys Enter
wait_for "Number of discs required"
keys Enter
wait_for "Space: open the list of drives"
keys Space
wait_for "( E:\\ ) KESTRUNE DVD-RW SIM 24X"
keys Enter
wait_for "[✔] Writing recovery disc #2"
[ "$(autoplay)" != 145 ] || fail "autoplay was not turned off while the wizard runs"

keys C-c
wait_for "Are you sure you want to stop creation of recovery discs?" "▸ No ◂"
keep 10-close-question
keys n
wait_gone "Are you sure you want to stop creation of recovery discs?"
expect_line "\\[✔\\] Writing recovery disc #2 +Not written"
# A slow recorder: the burn lasts long enough to be interrupted.
machine set /recorders/0/writeBytesPerSecond 200000
keys Enter
wait_for "Writing recovery disc #2 (2/2)"
keep 11-burning
kill -TERM "$(pgrep -P "$(tmux_ display-message -p -t demo '#{pane_pid}')" kestrixdl)" ||
  fail "no launcher to stop"
wait_summary 4
[ "$(cat "$work/result-lines.txt")" = "536871179" ] ||
  fail "the interrupted wizard printed '$(cat "$work/result-lines.txt")', not 536871179"
grep -qx "disc 1 of 2 written; insert disc 2 next time" "$work/summary-4.txt" ||
  fail "the summary after the termination request is wrong"
grep -qx "exit=0" "$work/summary-4.txt" || fail "the launcher did not end with 0"
[ "$(autoplay)" = 145 ] || fail "autoplay was not restored: $(autoplay)"

# --- Fifth run: the terminal goes away during a burn (its window closed): a session end too,
# and the launcher still stores the word ---
: >"$work/result-lines.txt"
start_demo 5
wait_for "Usage notes"
keys Enter
wait_for "Number of discs required"
keys Enter
wait_for "Space: open the list of drives"
keys Space
wait_for "( E:\\ ) KESTRUNE DVD-RW SIM 24X"
keys Enter
wait_for "[✔] Writing recovery disc #2"
machine set /recorders/0/writeBytesPerSecond 200000
keys Enter
wait_for "Writing recovery disc #2 (2/2)"
tmux_ kill-server
deadline=$((SECONDS + 120))
until grep -q "next time" "$work/summary-5.txt" 2>/dev/null; do
  ((SECONDS < deadline)) || fail "the launcher said nothing after the terminal went away"
  sleep 0.2
done
[ "$(cat "$work/result-lines.txt")" = "536871179" ] ||
  fail "after the hang-up the wizard printed '$(cat "$work/result-lines.txt")', not 536871179"
[ "$(cat "$work/demo/set/kestrixdl.state")" = "536871179" ] || fail "the state word was lost"
[ "$(autoplay)" = 145 ] || fail "autoplay was not restored after the hang-up: $(autoplay)"

# --- Without a terminal and without KESTRUNE_UI the wizard says why, prints nothing and leaves
# the machine alone ---
status=0
KESTRUNE_MACHINE="$work/untouched" setsid -w "$bin/kestrixdw" /Mode:Fernlow Sample 0 \
  "$work/demo/set/disc1.iso" </dev/null >"$work/no-terminal.out" 2>"$work/no-terminal.err" ||
  status=$?
[ "$status" != 0 ] || fail "the wizard without a terminal ended with 0"
[ ! -s "$work/no-terminal.out" ] || fail "the wizard without a terminal printed: $(cat "$work/no-terminal.out")"
grep -q "no terminal" "$work/no-terminal.err" || fail "the wizard without a terminal did not say why"
[ ! -e "$work/untouched" ] || fail "the wizard without a terminal opened a machine"

for run in 1 2 3 4; do
  [ -s "$work/errors-$run.txt" ] && fail "run $run wrote to standard error"
done
echo "terminal demo: passed; screens in $artefacts"
