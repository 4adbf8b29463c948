#!/bin/sh
# Runs the Windows Harlune.exe (under wine) and the Linux harlune on the same lists and
# requires the same exit codes and byte-identical per-medium lists.
# Usage: wine_matches_host.sh <wine runner> <Harlune.exe> <Linux harlune> <scratch folder>
set -eu
wine=$1
exe=$2
host=$3
work=$4
if [ ! -x "$host" ]; then
  echo "the Linux build is missing: $host (build the host preset first)" >&2
  exit 1
fi
rm -rf "$work"
mkdir -p "$work"

# A recovery list with two data and three install parts, names beyond ASCII and beyond
# U+FFFF, a duplicate, and lines outside the format.
cat > "$work/list.utf8" <<'LIST'
0a1b2c3d4e5f60718293a4b5c6d7e8f9 Media\1\version.doc
11111111111111111111111111111111 Media\1\boot\bcd
22222222222222222222222222222222 Media\1\recovery\oem\テスト\😀.txt
33333333333333333333333333333333 Media_2\boot\bcd
44444444444444444444444444444444 Media\1\Program Files\skipped.dll
not-a-line
55555555555555555555555555555555 Media\1\sources\data.swm
66666666666666666666666666666666 Media\1\media\2_1_data.txt
77777777777777777777777777777777 Media\2\sources\data2.swm
88888888888888888888888888888888 Media\2\media\2_2_data.txt
99999999999999999999999999999999 Media\3\sources\install.swm
aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa Media\3\media\3_1_install.txt
bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb Media\4\sources\install2.swm
cccccccccccccccccccccccccccccccc Media\4\media\3_2_install.txt
dddddddddddddddddddddddddddddddd Media\5\sources\install3.swm
eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee Media\5\media\3_3_install.txt
LIST
sed 's/$/\r/' "$work/list.utf8" > "$work/list.crlf"
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$work/list.crlf"; } > "$work/utf16.txt"
iconv -f UTF-8 -t UTF-16LE "$work/list.utf8" > "$work/utf16-no-mark.txt"
{ printf '\357\273\277'; cat "$work/list.utf8"; } > "$work/utf8.txt"
grep -v '_install' "$work/list.crlf" | { printf '\377\376'; iconv -f UTF-8 -t UTF-16LE; } \
  > "$work/incomplete.txt"

failures=0
run_case() {  # name mode list [argument naming the list]
  dir=$work/$1
  argument=${4:-list.txt}
  mkdir -p "$dir/linux" "$dir/windows"
  if [ -f "$work/$3" ]; then
    cp "$work/$3" "$dir/linux/list.txt"
    cp "$work/$3" "$dir/windows/list.txt"
  fi
  set +e
  (cd "$dir/linux" && "$host" "$2" "$argument" >/dev/null 2>&1)
  linux_code=$?
  (cd "$dir/windows" && "$wine" "$exe" "$2" "$argument" >/dev/null 2>&1)
  windows_code=$?
  set -e
  if [ "$linux_code" != "$windows_code" ]; then
    echo "$1: exit code $linux_code on Linux, $windows_code on Windows" >&2
    failures=$((failures + 1))
    return
  fi
  linux_files=$(cd "$dir/linux" && ls)
  windows_files=$(cd "$dir/windows" && ls)
  if [ "$linux_files" != "$windows_files" ]; then
    echo "$1: Linux wrote [$linux_files], Windows wrote [$windows_files]" >&2
    failures=$((failures + 1))
    return
  fi
  for file in $linux_files; do
    if ! cmp "$dir/linux/$file" "$dir/windows/$file"; then
      failures=$((failures + 1))
    fi
  done
  echo "$1: exit code $linux_code, same files: $(echo $linux_files)"
}

run_case usb-utf16 USB utf16.txt
run_case dl-utf16 dl utf16.txt
run_case sl-utf8 Sl utf8.txt
run_case sl-no-mark sl utf16-no-mark.txt
run_case missing-parts usb incomplete.txt
run_case missing-list usb absent.txt
run_case bad-mode usb2 utf16.txt
run_case folder usb utf16.txt .
run_case wildcard-name usb utf16.txt 'a*b.txt'

# The comparison means something only if the lists were written at all.
[ -f "$work/sl-utf8/windows/DISC5_MD5.txt" ] || { echo "no DISC5_MD5.txt in SL mode" >&2; exit 1; }
[ "$failures" -eq 0 ]
