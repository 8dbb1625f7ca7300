#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the tests and the programs need,
# only those that are missing: with apt-get as root, through sudo otherwise.
set -e
PACKAGES="qt6-base-dev cmake make g++ pkg-config libgtest-dev libfreetype-dev libfontconfig-dev libxcb1-dev
 fonts-ipafont-gothic qt6-translations-l10n desktop-file-utils appstream dpkg-dev file man-db xvfb xauth
 ${EXTRA_PACKAGES:-}"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "These Debian packages are missing:$missing" >&2
        echo "Install them as root, then run this again:" >&2
        echo "  apt-get update && apt-get install --no-install-recommends$missing" >&2
        exit 1
    fi
    SUDO=sudo
fi
echo "Installing:$missing"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
