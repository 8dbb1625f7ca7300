#!/bin/sh
# SPDX-License-Identifier: MIT
# The three manual pages render without warnings, carry the programs' version
# and name their arguments; pictoria-convert's names every option of --help
# and no other.
set -eu
page=$1
convert=$2
docs=$(dirname "$page")
fail=0
# As lintian renders them: the Japanese button names need UTF-8.
export LC_ALL=C.UTF-8 MANWIDTH=80
version=$("$convert" --version | sed 's/.* //')

# SECTION of the rendered page, its heading left out and blanks squeezed.
section() {
    man -l "$1" 2>/dev/null | sed -n "/^$2\$/,/^[A-Z]/p" | sed '1d;$d' | tr -s ' '
}

for name in pictoria-convert Pictoria Lumenpane; do
    p=$docs/$name.1
    [ -f "$p" ] || { echo "no manual page $p"; fail=1; continue; }
    warnings=$(man -l --warnings "$p" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "man warns on $name.1: $warnings"; fail=1; }
    whatis=$(lexgrog "$p" 2>&1) || { echo "$name.1 has no NAME line whatis reads: $whatis"; fail=1; }
    grep -q "^\.TH .* \"Pictoria $version\"" "$p" || { echo "$name.1 is not for version $version"; fail=1; }
done

synopsis_names() {
    synopsis=$(section "$docs/$1.1" SYNOPSIS)
    echo "$synopsis" | grep -q "^ $1 $2\$" || { echo "$1.1: synopsis is \"$synopsis\", not \"$1 $2\""; fail=1; }
    section "$docs/$1.1" ARGUMENTS | grep -q "^ $3\( \|$\)" || { echo "$1.1 does not describe $3"; fail=1; }
}
synopsis_names Pictoria "\[PICTURE\]" PICTURE
synopsis_names Lumenpane FILE FILE

help=$("$convert" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
for option in $help; do
    grep -q -- "$(echo "$option" | sed 's/-/\\\\-/g')" "$page" || { echo "the manual page lacks $option"; fail=1; }
done
for option in $(grep -o -- '\\-\\-[a-z][a-z-]*' "$page" | sed 's/\\//g' | sort -u); do
    echo "$help" | grep -qx -- "$option" || { echo "the manual page names $option, which --help does not"; fail=1; }
done
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
