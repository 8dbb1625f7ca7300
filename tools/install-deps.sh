#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the tests and the programs need,
# only those that are missing. Uses sudo when not run as root.
set -e
PACKAGES="qt6-base-dev cmake make g++ pkg-config libgtest-dev libfreetype-dev libfontconfig-dev libxcb1-dev fonts-ipafont-gothic qt6-translations-l10n desktop-file-utils"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
