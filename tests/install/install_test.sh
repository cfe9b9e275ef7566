#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks that the program, the
# demo camera, the three icon sizes, a valid desktop entry, the manual pages and
# valid AppStream metainfo land where a desktop looks for them.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch" cmake --install "$build" --prefix /usr >"$scratch.log" 2>&1 \
  || { cat "$scratch.log" >&2; rm -f "$scratch.log"; fail "cmake --install failed"; }
rm -f "$scratch.log"
root="$scratch/usr"

[ -x "$root/bin/tarnview" ] || fail "bin/tarnview missing or not executable"
cmp -s "$root/bin/tarnview" "$build/app/tarnview" || fail "bin/tarnview is not the built program"

for size in 48 32 16; do
  icon="$root/share/icons/hicolor/${size}x${size}/apps/tarnview.png"
  [ -f "$icon" ] || fail "icon $icon missing"
  got="$(identify -format '%m %w %h %[channels]' "$icon")"
  case "$got" in
    "PNG $size $size srgba"*|"PNG $size $size rgba"*) ;;
    *) fail "icon $size: expected a ${size}x${size} PNG with alpha, got '$got'" ;;
  esac
  # A drawn icon, not an empty canvas: its corners are clear, its middle opaque.
  corner="$(convert "$icon" -format '%[fx:p{0,0}.a]' info:)"
  middle="$(convert "$icon" -format "%[fx:p{$((size / 2)),$((size / 2))}.a]" info:)"
  [ "$corner" = "0" ] || fail "icon $size: corner alpha $corner, expected 0"
  [ "$middle" = "1" ] || fail "icon $size: middle alpha $middle, expected 1"
done

entry="$root/share/applications/tarnview.desktop"
[ -f "$entry" ] || fail "desktop entry missing"
desktop-file-validate "$entry" || fail "desktop entry not valid"
for line in "Name=Tarnview" "Exec=tarnview" "Icon=tarnview" "Type=Application"; do
  grep -qx "$line" "$entry" || fail "desktop entry lacks '$line'"
done
grep -Eq '^Categories=(.*;)?Video;Sports;$' "$entry" || fail "desktop entry categories"

[ -x "$root/bin/tarnview-democam" ] || fail "bin/tarnview-democam missing or not executable"
for page in tarnview tarnview-democam; do
  gzip -t "$root/share/man/man1/$page.1.gz" || fail "manual page $page.1.gz missing or not gzip"
done
appstreamcli validate --no-net "$root/share/metainfo/net.tarnview.tarnview.metainfo.xml" >/dev/null \
  || fail "AppStream metainfo missing or not valid"
echo "install rule: program, demo camera, icons 48/32/16, desktop entry, manual pages and metainfo in place"
