#!/usr/bin/env bash
# Installs the build tree under a temporary prefix and checks what a desktop needs: the
# program, a valid desktop entry, the project MIME type with its globs, the icons and the
# documentation that Help opens.
#   install_test.sh <build dir>
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "install_test: $*" >&2; exit 1; }
[ -x "$prefix/bin/plovex" ] || fail "no program in bin"
desktop="$prefix/share/applications/plovex.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -q '^MimeType=.*application/x-plovex-project;' "$desktop" || fail "the desktop entry does not take projects"
[ -f "$prefix/share/mime/packages/plovex.xml" ] || fail "no MIME package"
update-mime-database "$prefix/share/mime" >/dev/null 2>&1 || fail "the MIME package does not load"
grep -q 'application/x-plovex-project:\*\.plvx2' "$prefix/share/mime/globs2" || fail "no glob for project files"
for size in 16 24 32 48 64 128 256; do
  [ -s "$prefix/share/icons/hicolor/${size}x${size}/apps/plovex.png" ] || fail "no ${size}x${size} icon"
done
[ -s "$prefix/share/icons/hicolor/scalable/apps/plovex.svg" ] || fail "no scalable icon"
[ -s "$prefix/share/doc/plovex/README.md" ] || fail "no documentation"
echo "install_test: installed tree complete under a temporary prefix"
