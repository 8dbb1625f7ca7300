#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the Debian packages that are missing: with apt-get as root, through
# sudo otherwise. apt's output goes to a log; a progress line and a one-line
# summary are all that is shown.
#   tools/install-deps.sh [run|test]   run: build and start the programs;
#                                      test (default): the tests and checks too
#   EXTRA_PACKAGES="..." adds packages, APT_LOG names the log (build/apt.log).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

RUN_PACKAGES="qt6-base-dev cmake make g++ pkg-config libfreetype-dev libfontconfig-dev libxcb1-dev
 libjpeg-dev libpng-dev fonts-ipafont-gothic qt6-translations-l10n"
# file: CPack's shlibdeps; man-db: the manual page test; lintian, appstream,
# desktop-file-utils: the package and install checks; zsh: the completion test.
TEST_PACKAGES="libgtest-dev dpkg-dev file man-db lintian appstream desktop-file-utils zsh"
case ${1:-test} in
    run) PACKAGES=$RUN_PACKAGES ;;
    test) PACKAGES="$RUN_PACKAGES $TEST_PACKAGES" ;;
    *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac
PACKAGES="$PACKAGES ${EXTRA_PACKAGES:-}"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

refuse() {
    echo "These Debian packages are missing:$missing" >&2
    echo "Install them as root, then run this again:" >&2
    echo "  apt-get update && apt-get install --no-install-recommends$missing" >&2
    exit 1
}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || refuse
    # Ask sudo before announcing anything: it may refuse this user, and the
    # password it asks for now is remembered for the installation.
    if ! sudo -n -l apt-get >/dev/null 2>&1; then
        echo "Some Debian packages are missing; installing them needs sudo."
        sudo -l apt-get >/dev/null || refuse
    fi
    # sudo passes variables given on its command line only.
    SUDO="sudo DEBIAN_FRONTEND=noninteractive"
fi
export DEBIAN_FRONTEND=noninteractive

log=${APT_LOG:-$root/build/apt.log}
mkdir -p "$(dirname "$log")"
: >"$log"

elapsed() { s=$(($(date +%s) - started)); [ $s -ge 60 ] && echo "$((s / 60))m$((s % 60))s" || echo "${s}s"; }

# What apt-get is doing, from the lines it has logged since line $from.
state() {
    [ "$doing" = update ] && { echo "updating the package lists"; return; }
    tail -n +"$from" "$log" | awk '
        /newly installed/ { sub(/.*upgraded, /, ""); total = $1 }
        /^Get:/ { got++; now = "downloading " got }
        /^Unpacking / { unpacked++; now = "unpacking " unpacked }
        /^Setting up / { set++; now = "setting up " set }
        END { print now ? now (total ? " of " total : "") " packages" : "reading the package lists" }'
}

# Runs apt-get with its output in the log: a progress line redrawn on a
# terminal, one every 30 seconds otherwise.
apt_quiet() {
    doing=$1
    from=$(($(wc -l <"$log") + 1))
    echo "\$ apt-get $*" >>"$log"
    # In a shell of this user's own, so that kill -0 may ask after it; sudo
    # would be root's.
    { $SUDO apt-get "$@"; exit $?; } </dev/null >>"$log" 2>&1 &
    pid=$!
    last=$(date +%s)
    while kill -0 "$pid" 2>/dev/null; do
        if [ -t 1 ]; then
            printf '\rapt-get: %s (%s)\033[K' "$(state)" "$(elapsed)"
        elif [ $(($(date +%s) - last)) -ge 30 ]; then
            echo "apt-get: $(state) ($(elapsed))"
            last=$(date +%s)
        fi
        sleep 1
    done
    [ -t 1 ] && printf '\r\033[K'
    wait "$pid"
}

failed() {
    tail -n 25 "$log" >&2
    echo "apt-get failed ($1); its whole log is $log." >&2
    exit 1
}

started=$(date +%s)
echo "Installing these Debian packages and what they need:$missing"
# Lists that are missing or a day old would name package versions the mirror
# no longer has; apt's partial/ directory changes at every update.
updated=no
if ! ls /var/lib/apt/lists/*_Packages* >/dev/null 2>&1 ||
    [ -z "$(find /var/lib/apt/lists /var/lib/apt/lists/partial -maxdepth 0 -mmin -1440 2>/dev/null)" ]; then
    apt_quiet update -q || failed "updating the package lists"
    updated=yes
fi
install="install -y -q --no-install-recommends"
# shellcheck disable=SC2086 # word lists
if ! apt_quiet $install $missing; then
    [ $updated = yes ] && failed "installing"
    # Lists of the same day can still be behind the mirror.
    echo "apt-get could not install; updating the package lists and trying again."
    apt_quiet update -q || failed "updating the package lists"
    apt_quiet $install $missing || failed "installing"
fi
new=$(sed -n 's/.*upgraded, \([0-9]*\) newly installed.*/\1/p' "$log" | tail -n 1)
echo "Installed in $(elapsed), ${new:-?} packages in all (apt's log: $log)."
