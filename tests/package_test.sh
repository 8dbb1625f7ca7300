#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian package into a scratch directory and checks its control
# fields and contents, without installing it, and that lintian finds nothing
# to warn about.
set -eu
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/pictoria_*_amd64.deb 2>/dev/null | head -1)
fail=0
[ -n "$deb" ] || { echo "no pictoria_VERSION_amd64.deb"; cat "$out/cpack.log"; exit 1; }
info=$(dpkg-deb -I "$deb")
for field in "Package: pictoria" "Architecture: amd64" "Section: graphics"; do
    echo "$info" | grep -q "^ $field\$" || { echo "control lacks: $field"; fail=1; }
done
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
for dep in fonts-ipafont-gothic qt6-translations-l10n libqt6widgets6 libfreetype6 libfontconfig1; do
    echo "$depends" | grep -q "$dep" || { echo "Depends lacks $dep: $depends"; fail=1; }
done
contents=$(dpkg-deb -c "$deb")
for f in usr/bin/Pictoria usr/bin/Lumenpane usr/bin/pictoria-convert \
         usr/share/applications/pictoria.desktop usr/share/applications/lumenpane.desktop \
         usr/share/icons/hicolor/64x64/apps/pictoria.png usr/share/man/man1/pictoria-convert.1.gz \
         usr/share/man/man1/Pictoria.1.gz usr/share/man/man1/Lumenpane.1.gz \
         usr/share/metainfo/io.github.pictoria.Pictoria.metainfo.xml usr/share/pictoria/installed \
         usr/share/doc/pictoria/copyright usr/share/doc/pictoria/changelog.gz \
         usr/share/bash-completion/completions/pictoria-convert usr/share/zsh/vendor-completions/_pictoria-convert; do
    echo "$contents" | grep -q " \./$f\$" || { echo "package lacks $f"; fail=1; }
done
mkdir "$out/root"
dpkg-deb -x "$deb" "$out/root"
grep -qx "Exec=/usr/bin/Pictoria %f" "$out/root/usr/share/applications/pictoria.desktop" \
    || { echo "the menu entry does not start /usr/bin/Pictoria"; fail=1; }
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$out/root/usr/share/metainfo/io.github.pictoria.Pictoria.metainfo.xml" >/dev/null \
        || { echo "metainfo does not validate"; fail=1; }
fi
# The changelog's latest entry is this version.
version=$(echo "$info" | sed -n 's/^ Version: //p')
latest=$(gzip -dc "$out/root/usr/share/doc/pictoria/changelog.gz" | sed -n '1s/^pictoria (\([^)]*\)).*/\1/p')
[ "$latest" = "$version" ] || { echo "the changelog's latest entry is \"$latest\", the package $version"; fail=1; }
# No error or warning from lintian, and the binaries hardened as Debian's are.
if command -v lintian >/dev/null; then
    status=0
    lintian --tag-display-limit 0 --display-info "$deb" >"$out/lintian.log" 2>&1 || status=$?
    if grep -q -e '^[EW]: ' -e ' hardening-' "$out/lintian.log"; then
        echo "lintian:"; grep -e '^[EW]: ' -e ' hardening-' "$out/lintian.log"; fail=1
    elif [ $status -ne 0 ]; then
        echo "lintian failed ($status):"; cat "$out/lintian.log"; fail=1
    fi
else
    echo "lintian is not installed"; fail=1
fi
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
