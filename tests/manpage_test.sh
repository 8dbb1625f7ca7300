#!/bin/sh
# SPDX-License-Identifier: MIT
# The manual page renders without warnings and names every option of --help.
set -eu
page=$1
convert=$2
fail=0
warnings=$(MANWIDTH=80 man -l --warnings "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "man warns: $warnings"; fail=1; }
for option in $("$convert" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$(echo "$option" | sed 's/-/\\\\-/g')" "$page" || { echo "the manual page lacks $option"; fail=1; }
done
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
