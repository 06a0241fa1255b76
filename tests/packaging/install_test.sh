#!/usr/bin/env bash
# `cmake --install` of the build into a scratch directory (prefix /usr):
# every file in its standard place, the program under its command name,
# the icons at the sizes their directories name, the desktop entry and the
# AppStream metadata accepted by their validators, the udev rule intact.
#   install_test.sh <build directory>
set -uo pipefail
build=$1
root=$(mktemp -d /tmp/tapeloom-install-XXXXXX)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR=$root cmake --install "$build" --prefix /usr >"$root.log" 2>&1 ||
    { cat "$root.log"; rm -f "$root.log"; echo "FAIL: cmake --install"; exit 1; }
rm -f "$root.log"
usr=$root/usr
id=org.tapeloom.Tapeloom

[ -x "$usr/bin/tapeloom" ] || fail "no executable bin/tapeloom"
[ -e "$usr/bin/Tapeloom" ] && fail "bin/Tapeloom installed beside bin/tapeloom"
cmp -s "$usr/bin/tapeloom" "$build/app/Tapeloom" || fail "bin/tapeloom is not the built program"

desktop=$usr/share/applications/$id.desktop
metainfo=$usr/share/metainfo/$id.metainfo.xml
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no AppStream metadata"
out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] ||
    fail "desktop-file-validate: $out"
# validate-tree also checks the metadata against the desktop entry it names.
appstreamcli validate-tree --no-net "$root" >"$root.val" 2>&1 ||
    fail "appstreamcli validate-tree: $(cat "$root.val")"
rm -f "$root.val"
# The entry's icon and program are the ones installed.
grep -qx "Icon=$id" "$desktop" || fail "the entry's icon is not $id"
grep -qx "Exec=tapeloom" "$desktop" || fail "the entry does not run tapeloom"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metadata does not name the desktop entry"

for size in 16 22 24 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    if [ ! -f "$icon" ]; then
        fail "no ${size}x${size} icon"
        continue
    fi
    file -b "$icon" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "${size}x${size} icon is $(file -b "$icon")"
done

rule=$usr/lib/udev/rules.d/60-tapeloom-firewire.rules
if [ -f "$rule" ]; then
    # The one rule line, exactly as the README gives it.
    rules=$(grep -v '^#' "$rule" | grep -v '^$')
    [ "$rules" = 'SUBSYSTEM=="firewire", GROUP="video", MODE="0660"' ] ||
        fail "udev rule reads: $rules"
else
    fail "no udev rule"
fi

doc=$usr/share/doc/tapeloom
[ -f "$doc/copyright" ] || fail "no copyright file"
gzip -t "$doc/changelog.gz" 2>/dev/null || fail "no compressed changelog"
gzip -t "$usr/share/man/man1/tapeloom.1.gz" 2>/dev/null || fail "no compressed manual page"

# Nothing else is installed.
expected=$((1 + 2 + 8 + 1 + 1 + 2))
count=$(find "$root" -type f | wc -l)
[ "$count" -eq "$expected" ] || fail "$count files installed, $expected expected: $(find "$root" -type f)"

if [ "$failures" -gt 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "install tree OK"
