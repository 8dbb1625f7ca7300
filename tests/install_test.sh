#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix and checks what a desktop needs.
set -eu
build=$1
data=$2
prefix=$(mktemp -d)
home=$(mktemp -d)
trap 'rm -rf "$prefix" "$home"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
for f in bin/Pictoria bin/Lumenpane bin/pictoria-convert; do
    [ -x "$prefix/$f" ] || { echo "missing or not executable: $f"; fail=1; }
done
for f in share/applications/pictoria.desktop share/applications/lumenpane.desktop \
         share/icons/hicolor/64x64/apps/pictoria.png share/icons/hicolor/64x64/apps/lumenpane.png \
         share/pictoria/installed share/man/man1/pictoria-convert.1.gz share/man/man1/Pictoria.1.gz share/man/man1/Lumenpane.1.gz \
         share/bash-completion/completions/pictoria-convert share/zsh/vendor-completions/_pictoria-convert; do
    [ -f "$prefix/$f" ] || { echo "missing: $f"; fail=1; }
done
grep -qx "Exec=$prefix/bin/Pictoria %f" "$prefix/share/applications/pictoria.desktop" \
    || { echo "pictoria.desktop does not start the installed program"; fail=1; }
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix"/share/applications/*.desktop || fail=1
fi
# The installed converter works from its new place, and keeps the glyph
# database it makes in the user's data directory, never beside itself; one
# already beside it is used first.
convert() { XDG_DATA_HOME="$home/$1" "$prefix/bin/pictoria-convert" -q "$data/grey-16x16.bmp" -o "$home/$1.txt" 2>&1; }
convert first || { echo "installed pictoria-convert does not run"; fail=1; }
[ -f "$home/first/Pictoria/Standard.cdb" ] && [ ! -e "$prefix/bin/Standard.cdb" ] \
    || { echo "the installed converter did not keep its database in XDG_DATA_HOME"; fail=1; }
cp "$home/first/Pictoria/Standard.cdb" "$prefix/bin/"
convert second
[ ! -e "$home/second" ] || { echo "the database beside the installed converter was not used"; fail=1; }
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
