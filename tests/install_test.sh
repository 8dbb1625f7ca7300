#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix and checks what a desktop needs.
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
for f in bin/Pictoria bin/Lumenpane bin/pictoria-convert; do
    [ -x "$prefix/$f" ] || { echo "missing or not executable: $f"; fail=1; }
done
for f in share/applications/pictoria.desktop share/applications/lumenpane.desktop \
         share/icons/hicolor/64x64/apps/pictoria.png share/icons/hicolor/64x64/apps/lumenpane.png \
         share/pictoria/installed share/man/man1/pictoria-convert.1.gz; do
    [ -f "$prefix/$f" ] || { echo "missing: $f"; fail=1; }
done
grep -qx "Exec=$prefix/bin/Pictoria" "$prefix/share/applications/pictoria.desktop" \
    || { echo "pictoria.desktop does not start the installed program"; fail=1; }
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix"/share/applications/*.desktop || fail=1
fi
# The installed converter works from its new place.
"$prefix/bin/pictoria-convert" --version >/dev/null || { echo "installed pictoria-convert does not run"; fail=1; }
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
